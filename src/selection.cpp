#include "selection.h"

#include "fixed_field.h"
#include "list_io.h"
#include "units.h"

namespace starmark {

// ---------------------------------------------------------------------------
// The position log

void skip_position_header() {
  HeaderLine line;
  read_header_line(kPositionLogUnit, &line);
  read_header_line(kPositionLogUnit, &line);
}

bool read_position(float (&position)[2]) {
  return read_statement(
      kPositionLogUnit, kListDirectedFormat, AtEndOfFile::kReturnFalse,
      [&](InputStream& input) { return read_list_reals(input, position, std::size(position)); });
}

// ---------------------------------------------------------------------------
// Reporting

namespace {

// One blank, the text between the two 0x02 bytes, the position's number in
// three columns.
constexpr std::string_view kNotFoundFormat = "(1X,\x02 Could not find star\x02,I3)";
constexpr std::string_view kNotFoundText = " Could not find star";
constexpr int kNumberWidth = 3;

void write_not_found(int32_t number) {
  char line[1 + kNotFoundText.size() + kNumberWidth + 1] = {' '};
  kNotFoundText.copy(line + 1, kNotFoundText.size());
  write_integer_field(number, kNumberWidth, line + 1 + kNotFoundText.size());
  line[sizeof line - 1] = '\n';
  write_statement(kOutputUnit, kNotFoundFormat, {line, sizeof line});
}

}  // namespace

void report_position(const StarGrid& stars, float xs, float ys, int32_t number) {
  const Nearest nearest = stars.find_nearest(xs, ys);
  if (nearest.distance < kMatchRadius) {
    write_star_record(stars.table(), nearest.index);
  } else {
    write_not_found(number);
  }
}

}  // namespace starmark
