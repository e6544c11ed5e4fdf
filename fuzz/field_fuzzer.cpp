// Single numeric fields of at most 40 bytes, read as a real (Fw.d) and as an
// integer (Iw). A well-formed text must give exactly the value that strtod
// gives for its digits; any other text must fail with "read unexpected
// character".
//
// Input: the first byte chooses the decimals d (0 to 9); the rest is a
// series of fields separated by line feeds, each cut to its first 40 bytes.

#include <cstdint>
#include <optional>
#include <string_view>

#include "float_bits.h"
#include "format.h"
#include "fuzz_support.h"
#include "number_oracle.h"

namespace starmark::fuzz {
namespace {

constexpr size_t kLongestField = 40;
constexpr const char* kBadCharacter = "fmt: read unexpected character";

void check_real_field(std::string_view field, int decimals) {
  float value = -1.0f;
  const Status status = read_real_field(field, decimals, &value);
  const std::optional<float> expected = real_field_value(field, decimals);
  if (!expected) {
    if (status.message() != kBadCharacter) {
      property_failed("F field \"%s\" with %d decimals is not a number but gave \"%s\"",
                      escaped(field).c_str(), decimals, status.message().c_str());
    }
    return;
  }
  if (!status.ok()) {
    property_failed("F field \"%s\" with %d decimals failed: %s", escaped(field).c_str(), decimals,
                    status.message().c_str());
  }
  if (bits_of(value) != bits_of(*expected)) {
    property_failed("F field \"%s\" with %d decimals read %.9g (%08x), strtod gives %.9g (%08x)",
                    escaped(field).c_str(), decimals, value, bits_of(value), *expected,
                    bits_of(*expected));
  }
}

void check_integer_field(std::string_view field) {
  // Up to ten digits the value is exact; wider fields only have to be read.
  constexpr size_t kExactDigits = 10;
  int32_t value = -1;
  const Status status = read_integer_field(field, &value);
  const std::optional<IntegerText> expected = integer_field_value(field);
  if (!expected) {
    if (status.message() != kBadCharacter) {
      property_failed("I field \"%s\" is not an integer but gave \"%s\"", escaped(field).c_str(),
                      status.message().c_str());
    }
    return;
  }
  if (!status.ok()) {
    property_failed("I field \"%s\" failed: %s", escaped(field).c_str(), status.message().c_str());
  }
  const auto low_bits = static_cast<int32_t>(static_cast<uint32_t>(expected->value));
  if (expected->significant_digits <= kExactDigits && value != low_bits) {
    property_failed("I field \"%s\" read %d, expected %d", escaped(field).c_str(), value, low_bits);
  }
}

void check_input(std::string_view input) {
  if (input.empty()) return;
  const int decimals = static_cast<unsigned char>(input[0]) % 10;
  std::string_view fields = input.substr(1);
  for (;;) {
    const size_t line_end = fields.find('\n');
    const std::string_view field = fields.substr(0, line_end).substr(0, kLongestField);
    check_real_field(field, decimals);
    check_integer_field(field);
    if (line_end == std::string_view::npos) break;
    fields.remove_prefix(line_end + 1);
  }
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::fuzz::check_input({reinterpret_cast<const char*>(data), size});
  return 0;
}
