// List-directed reads of two reals, as the position log is read, over
// arbitrary bytes. Every read must give success, the end of the file, or one
// of the three "incomprehensible list input" failures; every successful read
// takes at least one byte, so an input of n bytes allows at most n + 1 reads.
// The values read are compared with the number oracle in
// tests/decimal_test.cpp.

#include <string>

#include "fuzz_support.h"
#include "list_io.h"
#include "text_input.h"

namespace starmark::fuzz {
namespace {

void check_reads(std::string_view input) {
  TextInput text(input);
  InputStream& stream = text.stream();
  float values[2] = {0.0f, 0.0f};
  for (size_t reads = 1;; ++reads) {
    if (reads > input.size() + 1) property_failed("read %zu still succeeds", reads);
    const Status status = read_list_reals(stream, values, 2);
    if (status.ok()) continue;
    const std::string message = status.message();
    if (message != "list in: end of file" &&
        message != "exponent field: incomprehensible list input" &&
        message != "invalid number: incomprehensible list input" &&
        message != "bad repetition count: incomprehensible list input") {
      property_failed("read %zu gave \"%s\"", reads, message.c_str());
    }
    return;
  }
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  starmark::fuzz::check_reads(input);
  return 0;
}
