#include "selection.h"

#include "format.h"
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

bool read_position(float* xs, float* ys) {
  float values[2] = {*xs, *ys};
  const bool read = read_list_statement(kPositionLogUnit, values, 2, AtEndOfFile::kReturnFalse);
  *xs = values[0];
  *ys = values[1];
  return read;
}

// ---------------------------------------------------------------------------
// Reporting

namespace {

// One blank, the text, the position's number in three columns.
const Format& not_found_format() {
  static const Format format = constant_format("(1X,\x02 Could not find star\x02,I3)");
  return format;
}

void write_not_found(int32_t number) {
  write_statement(kOutputUnit, not_found_format(), {number});
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
