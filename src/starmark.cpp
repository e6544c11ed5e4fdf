// starmark: picks the stars for building a point-spread function. It asks for
// the log of an image editor holding marked positions, the image's star list
// and an output file; for every position it finds the nearest star of the
// list, and copies the record of each star within 3 pixels into the PSF star
// list, which starts with the star list's header.
#include <cstdint>
#include <limits>
#include <string>

#include "format.h"
#include "line_editor.h"
#include "list_io.h"
#include "selection.h"
#include "star_list.h"
#include "units.h"

namespace starmark {
namespace {

// Writes a prompt and reads its answer: a whole line, without the blanks
// that end it.
std::string ask(std::string_view prompt) {
  write_list_statement(kOutputUnit, {prompt});
  std::string answer;
  if (answers_typed_at_terminal()) {
    // The typed line is read as the same line on standard input would be:
    // the same rules, and at the end of the input the same fatal report.
    read_statement_with(kInputUnit, line_format().text(), AtEndOfFile::kFatal, [&](InputStream&) {
      InputStream typed = InputStream::from_text(read_typed_line());
      const ReadItem item = &answer;
      return read_formatted(typed, line_format(), &item, 1);
    });
  } else {
    read_statement(kInputUnit, line_format(), {&answer}, AtEndOfFile::kFatal);
  }
  answer.erase(answer.find_last_not_of(' ') + 1);
  return answer;
}

void run() {
  open_existing(kPositionLogUnit, ask(" Imedit logfile name:"));
  open_existing(kStarListUnit, ask(" Image.coo file:"));
  open_or_create(kPsfListUnit, ask(" Output file of stars for PSF:"));
  copy_header();
  skip_position_header();
  const std::unique_ptr<StarTable> table = load_star_table();
  const StarGrid stars(*table);
  // A coordinate that no read has given a value matches no star.
  float xs = std::numeric_limits<float>::quiet_NaN();
  float ys = std::numeric_limits<float>::quiet_NaN();
  for (int32_t number = 1; number <= kMaxPositions; ++number) {
    if (!read_position(&xs, &ys)) break;
    report_position(stars, xs, ys, number);
  }
}

}  // namespace
}  // namespace starmark

int main() {
  starmark::start_run();
  starmark::run();
  starmark::stop();
}
