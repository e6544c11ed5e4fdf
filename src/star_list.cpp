#include "star_list.h"

#include <iterator>

#include "format.h"
#include "list_io.h"
#include "units.h"
#include "written_fields.h"

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

namespace {

// The columns of the next line when it has exactly kRecordWidth of them,
// ended by a line feed or by the end of the file, and how much of the input
// they take with it; null otherwise, a failure of the file included (the
// general read then reports it). A fully buffered line is not searched for
// its line feed: a line feed among the columns is not in the written form.
const char* record_columns(InputStream& input, size_t* taken) {
  *taken = kRecordWidth + 1;
  const char* columns = input.buffered(kRecordWidth + 1);
  if (columns != nullptr && columns[kRecordWidth] == '\n') return columns;
  InputStream::LineStart line;
  if (!input.peek_line(kRecordWidth + 1, &line, "fmt").ok() || line.size != kRecordWidth ||
      !(line.line_feed || line.file_end)) {
    return nullptr;
  }
  if (line.file_end) *taken = kRecordWidth;
  return line.data;
}

}  // namespace

Status read_star_record(InputStream& input, StarRecord* record) {
  size_t taken;
  const char* columns = record_columns(input, &taken);
  if (columns != nullptr && read_written_record(columns, record)) {
    input.advance(taken);
    return Status();
  }
  const ReadItem items[] = {&record->n, &record->x, &record->y, &record->amag,
                            &record->a, &record->b, &record->c};
  return read_formatted(input, record_format(), items, std::size(items));
}

void load_star_table(StarTable* table) {
  table->count = 0;
  const std::string_view format = record_format().text();
  for (int32_t j = 0; j < kMaxStars; ++j) {
    StarRecord record;
    const bool stored =
        read_statement_with(kStarListUnit, format, AtEndOfFile::kReturnFalse,
                            [&](InputStream& input) { return read_star_record(input, &record); });
    if (!stored) return;
    table->n[j] = record.n;
    table->x[j] = record.x;
    table->y[j] = record.y;
    table->amag[j] = record.amag;
    table->a[j] = record.a;
    table->b[j] = record.b;
    table->c[j] = record.c;
    table->count = j + 1;
  }
  write_capacity_line(*table);
}

void write_star_record(const StarTable& table, int32_t index) {
  write_statement(kPsfListUnit, record_format(),
                  {table.n[index], table.x[index], table.y[index], table.amag[index],
                   table.a[index], table.b[index], table.c[index]});
}

}  // namespace starmark
