// Star records in the format "(I7,2F9.2,4F9.3)".
//
// 1. Arbitrary bytes read record by record by the record reader (a record in
//    the written form by its fast path, any other by the format) until the
//    end of the file or a failure: every read must be as the record model
//    says (record_model.h).
// 2. A record written from values made of the input's bytes, then read back:
//    every field must read as the value its written text denotes. A field
//    that cannot be read back (asterisks, "nan", "inf") must fail the read
//    with "read unexpected character". Writing a value read back and reading
//    it again must give the same value.

#include "float_bits.h"
#include "format.h"
#include "fuzz_support.h"
#include "record_model.h"
#include "star_list.h"

namespace starmark::fuzz {
namespace {

using oracle::kStarFieldDecimals;
using oracle::kStarRecordWidth;

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
  static const Format record_format = constant_format("(I7,2F9.2,4F9.3)");
  WriteItem items[7] = {source.next_integer()};
  for (size_t i = 1; i < 7; ++i) items[i] = source.next_real();
  std::string text;
  const Status written = write_formatted(record_format, items, 7, &text);
  if (!written.ok() || text.size() != kStarRecordWidth + 1 || text.find('\n') != kStarRecordWidth) {
    property_failed("a record was written as \"%s\" (%s)", escaped(text).c_str(),
                    written.message().c_str());
  }
  check_reads(text);
  InputStream stream = InputStream::from_text(text);
  StarRecord read{};
  if (!read_star_record(stream, &read).ok()) return;
  if (read.n != std::get<int32_t>(items[0])) property_failed("n reads back as %d", read.n);
  // A value read back, written and read again, is the same value.
  const float reals[] = {read.x, read.y, read.amag, read.a, read.b, read.c};
  for (size_t i = 1; i < 7; ++i) {
    std::string rewritten;
    write_real_field(reals[i - 1], 9, kStarFieldDecimals[i], &rewritten);
    float reread = 0.0f;
    if (is_readable(rewritten) &&
        (!read_real_field(rewritten, kStarFieldDecimals[i], &reread).ok() ||
         bits_of(reread) != bits_of(reals[i - 1]))) {
      property_failed("%.9g is written as \"%s\", which reads as %.9g", reals[i - 1],
                      rewritten.c_str(), reread);
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
