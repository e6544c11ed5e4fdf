#include "record_model.h"

#include <algorithm>
#include <cstdio>

#include "float_bits.h"
#include "number_oracle.h"
#include "star_record.h"
#include "text_input.h"

namespace starmark::oracle {
namespace {

std::string described(const char* format, size_t field, float read, float expected) {
  char text[128];
  std::snprintf(text, sizeof text, format, field, read, expected);
  return text;
}

}  // namespace

std::optional<float> star_field_value(std::string_view field, size_t i) {
  if (i > 0) return real_field_value(field, kRecordFields[i].decimals);
  return integer_field_value(field);
}

std::optional<RecordMismatch> record_reads_mismatch(std::string_view text) {
  TextInput stream_text(text);
  InputStream& stream = stream_text.stream();
  for (size_t record = 1;; ++record) {
    std::string_view failure = text.empty() ? "fmt: end of file" : "";
    std::array<float, 7> expected{};
    const size_t line_end = text.find('\n');
    const std::string_view line = text.substr(0, std::min(line_end, kRecordWidth));
    for (size_t i = 0, position = 0; i < 7 && failure.empty(); ++i) {
      const std::string_view columns = line.substr(position, kRecordFields[i].width);
      const size_t comma = columns.find(',');
      position += comma == std::string_view::npos ? columns.size() : comma + 1;
      const std::optional<float> value = star_field_value(columns.substr(0, comma), i);
      if (!value) failure = "fmt: read unexpected character";
      expected[i] = value.value_or(0.0f);
    }
    StarRecord read{};
    const Status status = read_star_record(stream, &read);
    const std::string message = status.ok() ? "" : status.message();
    if (message != failure) {
      return RecordMismatch{
          record, std::string(line),
          "the read gave \"" + message + "\", the model \"" + std::string(failure) + "\""};
    }
    if (!status.ok()) return std::nullopt;
    const float values[] = {
        static_cast<float>(read.n), read.x, read.y, read.amag, read.a, read.b, read.c};
    for (size_t i = 0; i < 7; ++i) {
      if (bits_of(values[i]) != bits_of(expected[i])) {
        return RecordMismatch{
            record, std::string(line),
            described("field %zu read %.9g, the model %.9g", i + 1, values[i], expected[i])};
      }
    }
    text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
  }
}

}  // namespace starmark::oracle
