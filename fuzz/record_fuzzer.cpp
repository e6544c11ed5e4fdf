// Star records in the format "(I7,2F9.2,4F9.3)": arbitrary bytes read record
// by record by the record reader (a record in the written form by its fast
// path, any other field by field) until the end of the file or a failure:
// every read must be as the record model says (record_model.h). The record
// writer is compared with the C library in tests/fixed_field_test.cpp.

#include "fuzz_support.h"
#include "record_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto mismatch = starmark::oracle::record_reads_mismatch(input)) {
    starmark::fuzz::property_failed("%s", mismatch->c_str());
  }
  return 0;
}
