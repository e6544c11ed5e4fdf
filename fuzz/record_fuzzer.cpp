// Star records in the format "(I7,2F9.2,4F9.3)".
//
// 1. Arbitrary bytes read record by record by the record reader (a record in
//    the written form by its fast path, any other field by field) until the
//    end of the file or a failure: every read must be as the record model
//    says (record_model.h).
// 2. A record written from values made of the input's bytes, then read back:
//    every field must read as the value its written text denotes. A field
//    that cannot be read back (asterisks, "nan", "inf") must fail the read
//    with "read unexpected character". Writing a value read back and reading
//    it again must give the same value.

#include <string>

#include "fixed_field.h"
#include "float_bits.h"
#include "fuzz_support.h"
#include "record_model.h"
#include "star_record.h"
#include "text_input.h"

namespace starmark::fuzz {
namespace {

void check_reads(std::string_view input) {
  if (const auto mismatch = oracle::record_reads_mismatch(input)) {
    property_failed("record %zu, \"%s\": %s", mismatch->record, escaped(mismatch->line).c_str(),
                    mismatch->what.c_str());
  }
}

bool is_readable(std::string_view field) {
  return field.find_first_not_of(" -.0123456789") == std::string_view::npos;
}

void check_written_record(ByteSource& source) {
  StarRecord written{};
  written.n = source.next_integer();
  for (float StarRecord::*field : kRealFields) written.*field = source.next_real();
  char line[kRecordLineSize];
  format_star_record(written, line);
  const std::string text(line, sizeof line);
  if (text.find('\n') != kRecordWidth) {
    property_failed("a record was written as \"%s\"", escaped(text).c_str());
  }
  check_reads(text);
  TextInput input(text);
  StarRecord read{};
  if (!read_star_record(input.stream(), &read).ok()) return;
  if (read.n != written.n) property_failed("n reads back as %d", read.n);
  // A value read back, written and read again, is the same value.
  for (size_t i = 1; i < kRecordFieldCount; ++i) {
    const float value = read.*kRealFields[i - 1];
    char field[9];
    write_fixed_field(value, sizeof field, kRecordFields[i].decimals, field);
    const std::string_view rewritten(field, sizeof field);
    float reread = 0.0f;
    if (is_readable(rewritten) &&
        (!read_real_field(rewritten, kRecordFields[i].decimals, &reread).ok() ||
         bits_of(reread) != bits_of(value))) {
      property_failed("%.9g is written as \"%s\", which reads as %.9g", value,
                      std::string(rewritten).c_str(), reread);
    }
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
