#include "star_list.h"

#include "line_fields.h"
#include "list_io.h"
#include "star_record.h"
#include "units.h"

namespace starmark {

namespace {

// The second header line is followed by an empty line.
constexpr std::string_view kSpacedLineFormat = "(A,/)";

void write_header_line(const HeaderLine& line, bool empty_line_after) {
  char text[kHeaderWidth + 2];
  std::copy(line.begin(), line.end(), text);
  text[kHeaderWidth] = text[kHeaderWidth + 1] = '\n';
  write_statement(kPsfListUnit, empty_line_after ? kSpacedLineFormat : kLineFormat,
                  {text, kHeaderWidth + (empty_line_after ? 2 : 1)});
}

void write_capacity_line(const StarTable& table) {
  const StarRecord& last = table.records[table.count - 1];
  const ListItem items[] = {table.count, last.n, last.x, last.y, last.amag, last.a, last.b, last.c};
  ListText text;
  write_list(items, std::size(items), &text);
  write_statement(kOutputUnit, kListDirectedFormat, text.view());
}

}  // namespace

void read_header_line(int unit, HeaderLine* line) {
  read_statement(unit, kLineFormat, AtEndOfFile::kFatal, [&](InputStream& input) {
    return read_fixed_line(input, line->data(), line->size());
  });
}

void copy_header() {
  HeaderLine first;
  HeaderLine second;
  read_header_line(kStarListUnit, &first);
  write_header_line(first, false);
  read_header_line(kStarListUnit, &second);
  write_header_line(second, true);
  read_header_line(kStarListUnit, &first);
  write_header_line(first, false);
}

void load_star_table(StarTable* table) {
  table->count = 0;
  // A record in the written form that the stream holds whole cannot fail nor
  // meet the end of the file, and leaves the statement's state as it was:
  // one statement takes all such records in a row, then one more record.
  for (; table->count < kMaxStars; ++table->count) {
    const bool read = read_statement(
        kStarListUnit, kRecordFormat, AtEndOfFile::kReturnFalse, [&](InputStream& input) {
          while (table->count < kMaxStars - 1 &&
                 read_buffered_written_record(input, &table->records[table->count])) {
            ++table->count;
          }
          return read_star_record(input, &table->records[table->count]);
        });
    if (!read) return;
  }
  write_capacity_line(*table);
}

void write_star_record(const StarTable& table, int32_t index) {
  char line[kRecordLineSize];
  format_star_record(table.records[index], line);
  write_statement(kPsfListUnit, kRecordFormat, {line, sizeof line});
}

}  // namespace starmark
