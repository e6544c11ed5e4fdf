// starmark: picks the stars for building a point-spread function. It asks for
// the log of an image editor holding marked positions, the image's star list
// and an output file; for every position it finds the nearest star of the
// list, and copies the record of each star within 3 pixels into the PSF star
// list, which starts with the star list's header.
#include <cstdint>
#include <limits>

#include "line_editor.h"
#include "line_fields.h"
#include "list_io.h"
#include "selection.h"
#include "star_list.h"
#include "units.h"

namespace starmark {
namespace {

// Writes a prompt and reads its answer: a whole line, without the blanks
// that end it. The answer names a unit's file for the rest of the run.
std::string_view ask(std::string_view prompt, Answer* answer) {
  const ListItem item = prompt;
  ListText text;
  write_list(&item, 1, &text);
  write_statement(kOutputUnit, kListDirectedFormat, text.view());
  // An answer typed at a terminal is edited first, then taken by the rules
  // of a line of standard input, its end included.
  read_statement(kInputUnit, kLineFormat, AtEndOfFile::kFatal, [&](InputStream& input) {
    return answers_edited() ? read_edited_answer(answer) : read_whole_line(input, answer);
  });
  while (answer->size > 0 && answer->text[answer->size - 1] == ' ') --answer->size;
  answer->text[answer->size] = '\0';
  return answer->view();
}

// Fixed storage, there from the start: a run that has started never runs
// short of memory for its answers and its stars.
Answer g_answers[3];
StarTable g_table;
StarGrid g_stars;

void run() {
  open_existing(kPositionLogUnit, ask(" Imedit logfile name:", &g_answers[0]));
  open_existing(kStarListUnit, ask(" Image.coo file:", &g_answers[1]));
  open_or_create(kPsfListUnit, ask(" Output file of stars for PSF:", &g_answers[2]));
  copy_header();
  skip_position_header();
  load_star_table(&g_table);
  const StarGrid& stars = g_stars.build(g_table);
  // A coordinate that no read has given a value matches no star.
  float position[2] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::quiet_NaN()};
  for (int32_t number = 1; number <= kMaxPositions; ++number) {
    if (!read_position(position)) break;
    report_position(stars, position[0], position[1], number);
  }
}

}  // namespace
}  // namespace starmark

int main() {
  starmark::start_run();
  starmark::run();
  starmark::stop();
}
