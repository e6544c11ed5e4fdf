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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::TextInput text(std::string_view(reinterpret_cast<const char*>(data), size));
  float values[2] = {0.0f, 0.0f};
  for (size_t reads = 1;; ++reads) {
    if (reads > size + 1) starmark::fuzz::property_failed("read %zu still succeeds", reads);
    const starmark::Status status = starmark::read_list_reals(text.stream(), values, 2);
    if (status.ok()) continue;
    const std::string message = status.message();
    for (const char* known : {"list in: end of file", "exponent field: incomprehensible list input",
                              "invalid number: incomprehensible list input",
                              "bad repetition count: incomprehensible list input"}) {
      if (message == known) return 0;
    }
    starmark::fuzz::property_failed("read %zu gave \"%s\"", reads, message.c_str());
  }
}
