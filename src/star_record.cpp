#include "star_record.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "fixed_field.h"
#include "number_scanner.h"
#include "written_fields.h"

namespace starmark {

namespace {

// The fatal report names a failed formatted transfer "fmt".
constexpr const char* kFormattedReportPrefix = "fmt";

bool read_integer_field(std::string_view field, int32_t* value) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && is_sign(field[i])) negative = field[i++] == '-';
  int32_t magnitude = 0;  // seven columns keep it within 32 bits
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == ' ') continue;
    if (!is_digit(c)) return false;
    magnitude = magnitude * 10 + (c - '0');
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}

// A field's bytes as the number scanner reads them: blanks anywhere are
// ignored, and the field's end ends the number.
class FieldSource {
 public:
  explicit FieldSource(std::string_view field) : field_(field) {}
  int peek() {
    while (position_ < field_.size() && field_[position_] == ' ') ++position_;
    return position_ < field_.size() ? static_cast<unsigned char>(field_[position_]) : -1;
  }
  void get() { ++position_; }

 private:
  std::string_view field_;
  size_t position_ = 0;
};

bool parse_real_field(std::string_view field, int decimals, float* value) {
  FieldSource source(field);
  ScannedNumber number;
  // Whatever is left after the number, an exponent without digits among it,
  // cannot stand in the field.
  if (NumberScanner(source).scan(&number) == ExponentScan::kWithoutDigits || source.peek() >= 0) {
    return false;
  }
  // Without a decimal point the last `decimals` digits are the fraction.
  const int64_t power = number.point ? number.exponent : number.exponent - decimals;
  *value = number.digits.is_zero() ? 0.0f : number.digits.to_float(number.negative, power);
  return true;
}

// Any record, field by field.
Status read_fields(std::string_view line, StarRecord* record) {
  const bool has_comma = line.find(',') != std::string_view::npos;
  size_t position = 0;
  for (size_t i = 0; i < kRecordFieldCount; ++i) {
    std::string_view field = line.substr(std::min(position, line.size()), kRecordFields[i].width);
    position += field.size();
    if (const size_t comma = has_comma ? field.find(',') : std::string_view::npos;
        comma != std::string_view::npos) {
      position -= field.size() - comma - 1;
      field = field.substr(0, comma);
    }
    const bool read =
        i == 0 ? read_integer_field(field, &record->n)
               : parse_real_field(field, kRecordFields[i].decimals, &(record->*kRealFields[i - 1]));
    if (!read) {
      return Status::program(kFormattedReportPrefix, kReadUnexpectedCharacter);
    }
  }
  return Status();
}

}  // namespace

Status read_real_field(std::string_view field, int decimals, float* value) {
  if (parse_real_field(field, decimals, value)) return Status();
  return Status::program(kFormattedReportPrefix, kReadUnexpectedCharacter);
}

bool read_buffered_written_record(InputStream& input, StarRecord* record) {
  // WARNING: this is the load's loop; please benchmark (bench/run).
  const char* columns = input.buffered(kRecordLineSize);
  if (columns == nullptr || columns[kRecordWidth] != '\n' ||
      !read_written_record(columns, record)) {
    return false;
  }
  input.advance(kRecordLineSize);
  return true;
}

Status read_star_record(InputStream& input, StarRecord* record) {
  if (read_buffered_written_record(input, record)) return Status();
  InputStream::LineStart line;
  if (Status status = input.peek_line(kRecordLineSize, &line, kFormattedReportPrefix);
      !status.ok()) {
    return status;
  }
  if (line.file_end && line.size == 0) return Status::end_of_file(kFormattedReportPrefix);
  // Columns past the record's are never read.
  if (line.size < kRecordWidth || !read_written_record(line.data, record)) {
    if (Status status = read_fields({line.data, std::min(line.size, kRecordWidth)}, record);
        !status.ok()) {
      return status;
    }
  }
  if (!line.line_feed) return input.skip_line(kFormattedReportPrefix);
  input.advance(line.size + 1);
  return Status();
}

void format_star_record(const StarRecord& record, char* line) {
  write_integer_field(record.n, static_cast<int>(kRecordFields[0].width), line);
  char* field = line + kRecordFields[0].width;
  for (size_t i = 1; i < kRecordFieldCount; ++i) {
    write_fixed_field(record.*kRealFields[i - 1], static_cast<int>(kRecordFields[i].width),
                      kRecordFields[i].decimals, field);
    field += kRecordFields[i].width;
  }
  *field = '\n';
}

}  // namespace starmark
