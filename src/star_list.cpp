#include "star_list.h"

#include "format.h"
#include "list_io.h"
#include "units.h"

namespace starmark {

namespace {

const Format& record_format() {
  static const Format format = constant_format("(I7,2F9.2,4F9.3)");
  return format;
}

// The second header line is followed by an empty line.
const Format& spaced_line_format() {
  static const Format format = constant_format("(A,/)");
  return format;
}

void write_header_line(const Format& format, const HeaderLine& line) {
  write_statement(kPsfListUnit, format, {std::string_view(line.data(), line.size())});
}

void write_capacity_line(const StarTable& table) {
  const int32_t last = table.count - 1;
  write_list_statement(kOutputUnit,
                       {table.count, table.n[last], table.x[last], table.y[last], table.amag[last],
                        table.a[last], table.b[last], table.c[last]});
}

}  // namespace

void read_header_line(int unit, HeaderLine* line) {
  read_statement(unit, line_format(), {FixedText{line->data(), line->size()}}, AtEndOfFile::kFatal);
}

void copy_header() {
  HeaderLine first;
  HeaderLine second;
  read_header_line(kStarListUnit, &first);
  write_header_line(line_format(), first);
  read_header_line(kStarListUnit, &second);
  write_header_line(spaced_line_format(), second);
  read_header_line(kStarListUnit, &first);
  write_header_line(line_format(), first);
}

std::unique_ptr<StarTable> load_star_table() {
  // The columns are filled by the load; only the count starts at zero.
  std::unique_ptr<StarTable> table(new StarTable);
  const Format& format = record_format();
  for (int32_t j = 0; j < kMaxStars; ++j) {
    // Each record is read straight into element j of the columns.
    const bool stored = read_statement(kStarListUnit, format,
                                       {&table->n[j], &table->x[j], &table->y[j], &table->amag[j],
                                        &table->a[j], &table->b[j], &table->c[j]},
                                       AtEndOfFile::kReturnFalse);
    if (!stored) return table;
    table->count = j + 1;
  }
  write_capacity_line(*table);
  return table;
}

void write_star_record(const StarTable& table, int32_t index) {
  write_statement(kPsfListUnit, record_format(),
                  {table.n[index], table.x[index], table.y[index], table.amag[index],
                   table.a[index], table.b[index], table.c[index]});
}

}  // namespace starmark
