// Star records in the format "(I7,2F9.2,4F9.3)".
//
// 1. Arbitrary bytes read record by record until the end of the file or a
//    failure: every read must agree with a model of the record layout (seven
//    fields of 7 and 9 columns, a comma ending a field early, the end of the
//    line leaving zeros, the end of the file ending a last line as a line
//    feed would) and with the value that each field's text denotes.
// 2. A record written from values made of the input's bytes, then read back:
//    every field must read as the value its written text denotes, that is
//    static_cast<float>(strtod(text)) for a real and the integer for n. A
//    field that cannot be read back (asterisks, "nan", "inf") must fail the
//    read with "read unexpected character", the fields before it read. Writing
//    a value read back and reading it again must give the same value.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "float_bits.h"
#include "format.h"
#include "fuzz_support.h"
#include "number_oracle.h"

namespace starmark::fuzz {
namespace {

constexpr std::string_view kRecordFormat = "(I7,2F9.2,4F9.3)";
constexpr size_t kFieldCount = 7;
constexpr size_t kRealCount = kFieldCount - 1;
constexpr size_t kFieldWidths[kFieldCount] = {7, 9, 9, 9, 9, 9, 9};
constexpr int kFieldDecimals[kFieldCount] = {0, 2, 2, 3, 3, 3, 3};
constexpr size_t kRecordWidth = 61;
constexpr std::string_view kBadCharacter = "fmt: read unexpected character";
constexpr std::string_view kEndOfFile = "fmt: end of file";

struct Record {
  int32_t n = 0;
  float reals[kRealCount] = {};
};

const Format& record_format() {
  static const Format format = [] {
    Format parsed;
    if (!Format::parse(kRecordFormat, &parsed).ok()) std::abort();
    return parsed;
  }();
  return format;
}

Status read_record(InputStream& input, Record* record) {
  ReadItem items[kFieldCount] = {&record->n};
  for (size_t i = 0; i < kRealCount; ++i) items[i + 1] = &record->reals[i];
  return read_formatted(input, record_format(), items, kFieldCount);
}

std::string record_text(const Record& record) {
  char text[160];
  std::snprintf(text, sizeof text, "%d %.9g %.9g %.9g %.9g %.9g %.9g", record.n, record.reals[0],
                record.reals[1], record.reals[2], record.reals[3], record.reals[4],
                record.reals[5]);
  return text;
}

// What one read of a record must give, from the layout alone.
struct ExpectedRead {
  enum class Outcome { kOk, kEndOfFile, kBadCharacter };
  Outcome outcome = Outcome::kOk;
  Record record;
  size_t consumed = 0;  // bytes taken by a successful read, its line feed included
};

ExpectedRead expected_read(std::string_view rest) {
  using Outcome = ExpectedRead::Outcome;
  ExpectedRead expected;
  if (rest.empty()) {
    expected.outcome = Outcome::kEndOfFile;
    return expected;
  }
  const size_t line_end = rest.find('\n');
  const bool line_feed = line_end != std::string_view::npos;
  const std::string_view line = rest.substr(0, line_end);
  // The read looks at no more than the record's width.
  const std::string_view visible = line.substr(0, kRecordWidth);
  size_t position = 0;
  for (size_t i = 0; i < kFieldCount; ++i) {
    std::string_view field = visible.substr(position, kFieldWidths[i]);
    const size_t comma = field.find(',');
    if (comma != std::string_view::npos) {
      field = field.substr(0, comma);
      position += comma + 1;
    } else {
      position += field.size();
    }
    bool readable;
    if (i == 0) {
      const std::optional<IntegerText> value = integer_field_value(field);
      readable = value.has_value();
      if (readable) expected.record.n = static_cast<int32_t>(value->value);
    } else {
      const std::optional<float> value = real_field_value(field, kFieldDecimals[i]);
      readable = value.has_value();
      if (readable) expected.record.reals[i - 1] = *value;
    }
    if (!readable) {
      expected.outcome = Outcome::kBadCharacter;
      return expected;
    }
  }
  expected.consumed = line_feed ? line_end + 1 : rest.size();
  return expected;
}

bool same_record(const Record& left, const Record& right) {
  if (left.n != right.n) return false;
  for (size_t i = 0; i < kRealCount; ++i) {
    if (bits_of(left.reals[i]) != bits_of(right.reals[i])) return false;
  }
  return true;
}

void check_reads(std::string_view input) {
  using Outcome = ExpectedRead::Outcome;
  InputStream stream = InputStream::from_text(input);
  std::string_view rest = input;
  for (size_t reads = 1;; ++reads) {
    const ExpectedRead expected = expected_read(rest);
    Record record;
    const Status status = read_record(stream, &record);
    const std::string message = status.message();
    const bool as_expected =
        expected.outcome == Outcome::kOk
            ? status.ok() && same_record(record, expected.record)
            : message == (expected.outcome == Outcome::kEndOfFile ? kEndOfFile : kBadCharacter);
    if (!as_expected) {
      property_failed("read %zu of \"%s\", at \"%s\": gave \"%s\" with %s; expected %s with %s",
                      reads, escaped(input).c_str(),
                      escaped(rest.substr(0, kRecordWidth + 1)).c_str(), message.c_str(),
                      record_text(record).c_str(),
                      expected.outcome == Outcome::kOk          ? "success"
                      : expected.outcome == Outcome::kEndOfFile ? "end of file"
                                                                : "a bad character",
                      record_text(expected.record).c_str());
    }
    if (!status.ok()) return;
    rest.remove_prefix(expected.consumed);
  }
}

bool is_readable_real(std::string_view field) {
  return field.find_first_not_of(" -.0123456789") == std::string_view::npos;
}

bool is_asterisks(std::string_view field) {
  return field.find_first_not_of('*') == std::string_view::npos;
}

void check_written_record(ByteSource& source) {
  Record written;
  written.n = source.next_integer();
  for (float& real : written.reals) real = source.next_real();
  const WriteItem items[kFieldCount] = {written.n,        written.reals[0], written.reals[1],
                                        written.reals[2], written.reals[3], written.reals[4],
                                        written.reals[5]};
  std::string text;
  const Status written_status = write_formatted(record_format(), items, kFieldCount, &text);
  if (!written_status.ok() || text.size() != kRecordWidth + 1 || text.find('\n') != kRecordWidth) {
    property_failed("record %s was written as \"%s\" (%s)", record_text(written).c_str(),
                    escaped(text).c_str(), written_status.message().c_str());
  }
  InputStream stream = InputStream::from_text(text);
  Record read_back;
  const Status status = read_record(stream, &read_back);
  size_t column = 0;
  for (size_t i = 0; i < kFieldCount; ++i) {
    const std::string field = text.substr(column, kFieldWidths[i]);
    column += kFieldWidths[i];
    const bool readable = i == 0 ? !is_asterisks(field) : is_readable_real(field);
    if (!readable) {
      if (status.message() != kBadCharacter) {
        property_failed("\"%s\": field %zu \"%s\" cannot be read, but the read gave \"%s\"",
                        escaped(text).c_str(), i + 1, field.c_str(), status.message().c_str());
      }
      return;
    }
    if (i == 0) {
      if (read_back.n != written.n) {
        property_failed("\"%s\": n %d read back as %d", escaped(text).c_str(), written.n,
                        read_back.n);
      }
      continue;
    }
    const float value = read_back.reals[i - 1];
    const float denoted = static_cast<float>(std::strtod(field.c_str(), nullptr));
    if (bits_of(value) != bits_of(denoted)) {
      property_failed(
          "\"%s\": field %zu \"%s\" (written from %.9g) read back as %.9g (%08x), "
          "strtod gives %.9g (%08x)",
          escaped(text).c_str(), i + 1, field.c_str(), written.reals[i - 1], value, bits_of(value),
          denoted, bits_of(denoted));
    }
    std::string rewritten;
    write_real_field(value, static_cast<int>(kFieldWidths[i]), kFieldDecimals[i], &rewritten);
    float reread = 0.0f;
    if (is_readable_real(rewritten) &&
        (!read_real_field(rewritten, kFieldDecimals[i], &reread).ok() ||
         bits_of(reread) != bits_of(value))) {
      property_failed("%.9g read from \"%s\" is written as \"%s\", which reads as %.9g", value,
                      field.c_str(), rewritten.c_str(), reread);
    }
  }
  if (!status.ok()) {
    property_failed("\"%s\" failed: %s", escaped(text).c_str(), status.message().c_str());
  }
}

void check_input(std::string_view input) {
  check_reads(input);
  ByteSource source(input);
  check_written_record(source);
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::fuzz::check_input({reinterpret_cast<const char*>(data), size});
  return 0;
}
