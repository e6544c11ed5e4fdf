#include "record_model.h"

#include <algorithm>
#include <cstdio>

#include "float_bits.h"
#include "number_oracle.h"
#include "star_record.h"
#include "text_input.h"

namespace starmark::oracle {

std::optional<std::string> record_reads_mismatch(std::string_view text) {
  TextInput input(text);
  for (size_t record = 1;; ++record) {
    std::string failure = text.empty() ? "fmt: end of file" : "";
    float expected[kRecordFieldCount] = {};
    const size_t line_end = text.find('\n');
    const std::string_view line = text.substr(0, std::min(line_end, kRecordWidth));
    for (size_t i = 0, position = 0; i < kRecordFieldCount && failure.empty(); ++i) {
      const std::string_view columns = line.substr(position, kRecordFields[i].width);
      const size_t comma = columns.find(',');
      position += comma == std::string_view::npos ? columns.size() : comma + 1;
      const std::string_view field = columns.substr(0, comma);
      const std::optional<float> value =
          i == 0 ? integer_field_value(field) : real_field_value(field, kRecordFields[i].decimals);
      if (!value) failure = "fmt: read unexpected character";
      expected[i] = value.value_or(0.0f);
    }
    StarRecord read{};
    const Status status = read_star_record(input.stream(), &read);
    const std::string message = status.ok() ? "" : status.message();
    const float values[] = {
        static_cast<float>(read.n), read.x, read.y, read.amag, read.a, read.b, read.c};
    std::string difference;
    if (message != failure) {
      difference = "the read gave \"" + message + "\", the model \"" + failure + "\"";
    }
    for (size_t i = 0; i < kRecordFieldCount && status.ok() && difference.empty(); ++i) {
      if (bits_of(values[i]) != bits_of(expected[i])) {
        char text[96];
        std::snprintf(text, sizeof text, "field %zu read %.9g, the model %.9g", i + 1, values[i],
                      expected[i]);
        difference = text;
      }
    }
    if (!difference.empty()) {
      std::string escaped;
      for (const char c : line) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
        escaped += c >= ' ' && c < 0x7f && c != '\\' ? std::string(1, c) : hex;
      }
      return "record " + std::to_string(record) + " \"" + escaped + "\": " + difference;
    }
    if (!status.ok()) return std::nullopt;
    text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
  }
}

}  // namespace starmark::oracle
