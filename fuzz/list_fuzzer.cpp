// List-directed reads of two reals, as the position log is read, over
// arbitrary bytes. Every read must give success, the end of the file, or one
// of the three "incomprehensible list input" failures; every successful read
// takes at least one byte, so an input of n bytes allows at most n + 1 reads.
// When the whole input is one plain number (no repeat count, null or
// separator), reading it as one value must give what strtod gives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "float_bits.h"
#include "fuzz_support.h"
#include "list_io.h"
#include "number_oracle.h"

namespace starmark::fuzz {
namespace {

constexpr std::string_view kEndOfFile = "list in: end of file";
constexpr std::string_view kExponentField = "exponent field: incomprehensible list input";
constexpr std::string_view kListFailures[] = {
    "invalid number: incomprehensible list input",
    kExponentField,
    "bad repetition count: incomprehensible list input",
};
// The largest exponent that a list-directed number may have.
constexpr int64_t kLargestExponent = 99999999;
// Beyond 40 significant digits the reader drops digits, which strtod does not.
constexpr size_t kMostSignificantDigits = 40;

bool is_list_failure(std::string_view message) {
  for (const std::string_view failure : kListFailures) {
    if (message == failure) return true;
  }
  return false;
}

void check_reads(std::string_view input) {
  InputStream stream = InputStream::from_text(input);
  float values[2] = {0.0f, 0.0f};
  for (size_t reads = 1;; ++reads) {
    if (reads > input.size() + 1) {
      property_failed("read %zu of \"%s\" (%zu bytes) still succeeds", reads,
                      escaped(input).c_str(), input.size());
    }
    const Status status = read_list_reals(stream, values, 2);
    if (status.ok()) continue;
    const std::string message = status.message();
    if (message != kEndOfFile && !is_list_failure(message)) {
      property_failed("read %zu of \"%s\" gave \"%s\"", reads, escaped(input).c_str(),
                      message.c_str());
    }
    return;
  }
}

void check_plain_number(std::string_view input) {
  const std::optional<NumberText> number = split_number(input);
  if (!number || !number->has_digits() || number->significant_digits() > kMostSignificantDigits) {
    return;
  }
  InputStream stream = InputStream::from_text(input);
  float value = -1.0f;
  const Status status = read_list_reals(stream, &value, 1);
  const int64_t exponent = number->exponent();
  if (exponent > kLargestExponent || exponent < -kLargestExponent) {
    if (status.message() != kExponentField) {
      property_failed("\"%s\" has too large an exponent but gave \"%s\"", escaped(input).c_str(),
                      status.message().c_str());
    }
    return;
  }
  if (!status.ok()) {
    property_failed("\"%s\" failed: %s", escaped(input).c_str(), status.message().c_str());
  }
  // Only the value counts: the sign of a zero is left open.
  const float expected = nearest_float(*number, 0);
  if (value != expected) {
    property_failed("\"%s\" read %.9g (%08x), strtod gives %.9g (%08x)", escaped(input).c_str(),
                    value, bits_of(value), expected, bits_of(expected));
  }
}

void check_input(std::string_view input) {
  check_reads(input);
  check_plain_number(input);
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::fuzz::check_input({reinterpret_cast<const char*>(data), size});
  return 0;
}
