// Star records in the format "(I7,2F9.2,4F9.3)".
//
// 1. Arbitrary bytes read record by record by the record reader (a record in
//    the written form by its fast path, any other by the format) until the
//    end of the file or a failure: every read must agree with a model of the
//    record layout (seven fields of 7 and 9 columns, a comma ending a field
//    early, the end of the line leaving zeros, the end of the file ending a
//    last line as a line feed would) and with the oracle's value of each
//    field's text, a field that is not a number failing the read with "read
//    unexpected character".
// 2. A record written from values made of the input's bytes, then read back:
//    every field must read as the value its written text denotes. A field
//    that cannot be read back (asterisks, "nan", "inf") must fail the read
//    with "read unexpected character". Writing a value read back and reading
//    it again must give the same value.

#include <algorithm>
#include <array>
#include <optional>

#include "float_bits.h"
#include "format.h"
#include "fuzz_support.h"
#include "number_oracle.h"
#include "star_list.h"

namespace starmark::fuzz {
namespace {

constexpr size_t kFieldWidths[] = {7, 9, 9, 9, 9, 9, 9};
constexpr int kFieldDecimals[] = {0, 2, 2, 3, 3, 3, 3};
constexpr size_t kRecordWidth = 61;
constexpr std::string_view kBadCharacter = "fmt: read unexpected character";

// n, which seven columns keep exact in a float, then the six reals.
using Record = std::array<float, 7>;

const Format& record_format() {
  static const Format format = constant_format("(I7,2F9.2,4F9.3)");
  return format;
}

Status read_record(InputStream& input, Record* record) {
  StarRecord read{};
  const Status status = read_star_record(input, &read);
  *record = {static_cast<float>(read.n), read.x, read.y, read.amag, read.a, read.b, read.c};
  return status;
}

// The oracle's value of field `i` of a record.
std::optional<float> field_value(std::string_view field, size_t i) {
  if (i > 0) return oracle::real_field_value(field, kFieldDecimals[i]);
  const std::optional<int64_t> n = oracle::integer_field_value(field);
  return n ? std::optional<float>(static_cast<float>(*n)) : std::nullopt;
}

void check_reads(std::string_view input) {
  InputStream stream = InputStream::from_text(input);
  for (std::string_view rest = input;;) {
    // The model: the line, cut to the record's width, in fields of 7 and 9
    // columns, each ended early by a comma.
    std::string_view failure = rest.empty() ? "fmt: end of file" : "";
    Record expected{};
    const size_t line_end = rest.find('\n');
    const std::string_view line = rest.substr(0, std::min(line_end, kRecordWidth));
    for (size_t i = 0, position = 0; i < 7 && failure.empty(); ++i) {
      const std::string_view columns = line.substr(position, kFieldWidths[i]);
      const size_t comma = columns.find(',');
      position += comma == std::string_view::npos ? columns.size() : comma + 1;
      const std::optional<float> value = field_value(columns.substr(0, comma), i);
      if (!value) failure = kBadCharacter;
      expected[i] = value.value_or(0.0f);
    }
    Record record{};
    const Status status = read_record(stream, &record);
    const std::string message = status.ok() ? "" : status.message();
    if (message != failure) {
      property_failed("at \"%s\": the read gave \"%s\", the model \"%s\"", escaped(line).c_str(),
                      message.c_str(), std::string(failure).c_str());
    }
    if (!status.ok()) return;
    for (size_t i = 0; i < 7; ++i) {
      if (bits_of(record[i]) != bits_of(expected[i])) {
        property_failed("at \"%s\": field %zu read %.9g, the model %.9g", escaped(line).c_str(),
                        i + 1, record[i], expected[i]);
      }
    }
    rest.remove_prefix(line_end == std::string_view::npos ? rest.size() : line_end + 1);
  }
}

bool is_readable(std::string_view field) {
  return field.find_first_not_of(" -.0123456789") == std::string_view::npos;
}

void check_written_record(ByteSource& source) {
  const int32_t n = source.next_integer();
  Record written{static_cast<float>(n)};
  for (size_t i = 1; i < 7; ++i) written[i] = source.next_real();
  const WriteItem items[7] = {n,          written[1], written[2], written[3],
                              written[4], written[5], written[6]};
  std::string text;
  const Status written_status = write_formatted(record_format(), items, 7, &text);
  if (!written_status.ok() || text.size() != kRecordWidth + 1 || text.find('\n') != kRecordWidth) {
    property_failed("a record was written as \"%s\" (%s)", escaped(text).c_str(),
                    written_status.message().c_str());
  }
  InputStream stream = InputStream::from_text(text);
  Record read_back{};
  const Status status = read_record(stream, &read_back);
  size_t column = 0;
  for (size_t i = 0; i < 7; column += kFieldWidths[i++]) {
    const std::string_view field = std::string_view(text).substr(column, kFieldWidths[i]);
    if (!is_readable(field)) {
      if (status.message() != kBadCharacter) {
        property_failed("\"%s\": field %zu cannot be read, but the read gave \"%s\"",
                        escaped(text).c_str(), i + 1, status.message().c_str());
      }
      return;
    }
    const float denoted = i == 0 ? written[0] : field_value(field, i).value();
    if (bits_of(read_back[i]) != bits_of(denoted)) {
      property_failed("\"%s\": field %zu read back as %.9g, not %.9g", escaped(text).c_str(), i + 1,
                      read_back[i], denoted);
    }
    if (i == 0) continue;
    std::string rewritten;
    write_real_field(read_back[i], static_cast<int>(kFieldWidths[i]), kFieldDecimals[i],
                     &rewritten);
    float reread = 0.0f;
    if (is_readable(rewritten) && (!read_real_field(rewritten, kFieldDecimals[i], &reread).ok() ||
                                   bits_of(reread) != bits_of(read_back[i]))) {
      property_failed("%.9g is written as \"%s\", which reads as %.9g", read_back[i],
                      rewritten.c_str(), reread);
    }
  }
  if (!status.ok()) {
    property_failed("\"%s\" failed: %s", escaped(text).c_str(), status.message().c_str());
  }
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  starmark::fuzz::check_reads(input);
  starmark::fuzz::ByteSource source(input);
  starmark::fuzz::check_written_record(source);
  return 0;
}
