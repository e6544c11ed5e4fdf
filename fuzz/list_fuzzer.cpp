// List-directed reads of two reals, as the position log is read, over
// arbitrary bytes. Every read must give success, the end of the file, or one
// of the three "incomprehensible list input" failures; every successful read
// takes at least one byte, so an input of n bytes allows at most n + 1 reads.
// When the whole input is one plain number (no repeat count, null or
// separator), reading it as one value must give the oracle's value, or fail
// with "exponent field" when its exponent is beyond 99999999.

#include <optional>
#include <string>

#include "float_bits.h"
#include "fuzz_support.h"
#include "list_io.h"
#include "number_oracle.h"
#include "text_input.h"

namespace starmark::fuzz {
namespace {

constexpr std::string_view kExponentField = "exponent field: incomprehensible list input";

void check_reads(std::string_view input) {
  TextInput text(input);
  InputStream& stream = text.stream();
  float values[2] = {0.0f, 0.0f};
  for (size_t reads = 1;; ++reads) {
    if (reads > input.size() + 1) property_failed("read %zu still succeeds", reads);
    const Status status = read_list_reals(stream, values, 2);
    if (status.ok()) continue;
    const std::string message = status.message();
    if (message != "list in: end of file" && message != kExponentField &&
        message != "invalid number: incomprehensible list input" &&
        message != "bad repetition count: incomprehensible list input") {
      property_failed("read %zu gave \"%s\"", reads, message.c_str());
    }
    return;
  }
}

void check_plain_number(std::string_view input) {
  const std::optional<oracle::Number> number = oracle::split_number(input);
  if (!number || number->digits.empty()) return;
  TextInput text(input);
  float value = -1.0f;
  const Status status = read_list_reals(text.stream(), &value, 1);
  if (std::abs(number->exponent) > 99999999) {
    if (status.message() != kExponentField)
      property_failed("gave \"%s\"", status.message().c_str());
  } else if (!status.ok() || bits_of(value) != bits_of(number->value())) {
    property_failed("read %.9g (%s), the oracle gives %.9g", value, status.message().c_str(),
                    number->value());
  }
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  starmark::fuzz::check_reads(input);
  starmark::fuzz::check_plain_number(input);
  return 0;
}
