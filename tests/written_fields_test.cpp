// Star lists hold their records as the record writer writes them, and the
// record reader takes such a record by a fast path. Every record, in or near the
// written form, must read as the record model says (record_model.h), and the
// vectors must read as their portable twin, the words.
#include "written_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "record_model.h"

namespace starmark {
namespace {

// A big-endian machine has no fast path.
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// One field as the record writer writes it: up to eight digits, `decimals`
// of them after the point. Other programs may leave out the zero before the
// point.
std::string written_real(std::mt19937_64& random, int decimals) {
  const uint64_t digits = 1 + random() % 8;
  std::string text = std::to_string(random() % static_cast<uint64_t>(std::pow(10.0, digits)));
  text.insert(0, std::max(0, decimals + 1 - static_cast<int>(text.size())), '0');
  text.insert(text.size() - static_cast<size_t>(decimals), 1, '.');
  if (text[0] == '0' && random() % 2 == 0) text.erase(0, 1);
  if (text.size() < 9 && random() % 3 == 0) text.insert(0, 1, '-');
  return std::string(9 - text.size(), ' ') + text;
}

// A record of 61 columns as the record writer writes it.
std::string written_record(std::mt19937_64& random) {
  char n[16];
  std::snprintf(n, sizeof n, "%7lld", static_cast<long long>(random() % 10999999) - 999999);
  std::string record = n;
  for (size_t i = 1; i < 7; ++i) record += written_real(random, kRecordFields[i].decimals);
  return record;
}

void expect_read_as_the_model_says(const std::string& text) {
  const std::optional<std::string> mismatch = oracle::record_reads_mismatch(text);
  ASSERT_FALSE(mismatch) << "in " << testing::PrintToString(text) << ": " << *mismatch;
}

// Fields in and out of the written form, at a column of a written record;
// `fast` when the record stays in the written form. (\200 is the byte 0x80.)
const struct {
  size_t column;
  const char* field;
  bool fast;
} kFields[] = {{0, "      1", true},        {0, "-999999", true},     {0, "0000012", true},
               {0, "9999999", true},        {0, "  -0000", true},     {7, "-99999.99", true},
               {16, "999999.99", true},     {7, "  -000.05", true},   {16, "     -.50", true},
               {25, "     .001", true},     {52, "   -0.000", true},  {7, "123456.78", true},
               {16, "-12345.67", true},     {25, "99999.999", true},  {7, "   +10.00", false},
               {7, "  - 10.00", false},     {7, "  --10.00", false},  {7, "   100. 5", false},
               {7, "      . 5", false},     {7, "      .  ", false},  {7, "         ", false},
               {7, "   1000.0", false},     {7, "   1.5E02", false},  {7, "    10,00", false},
               {7, "  \t100.00", false},    {7, "  -  1.00", false},  {7, "  -.-1.00", false},
               {7, "   10.000", false},     {7, " -99999.9", false},  {7, "    1. 00", false},
               {25, "   1-.000", false},    {25, "  1.00000", false}, {25, "  1.0\20000", false},
               {34, "  - 0.000", false},    {0, "     1 ", false},    {0, "      -", false},
               {0, "       ", false},       {0, "   - 12", false},    {0, "    1-2", false},
               {52, "    0.30\x80", false}, {52, "   0.3000", false}};

// Which records the fast path takes: the plain record with one field
// replaced. All read as the model says, with every end of the line.
TEST(WrittenRecords, FastPathTakesTheWrittenFormOnly) {
  const std::string plain = "      1   100.00   200.00   12.345    0.100   -0.200    0.300";
  for (const auto& c : kFields) {
    std::string record = plain;
    record.replace(c.column, std::strlen(c.field), c.field);
    SCOPED_TRACE(testing::Message() << '"' << record << '"');
    ASSERT_EQ(record.size(), kRecordWidth);
    StarRecord read{};
    EXPECT_EQ(read_written_record(record.data(), &read), c.fast && kLittleEndian);
    for (const std::string& end : {"\n" + plain + "\n", std::string(), std::string("\r\n")}) {
      expect_read_as_the_model_says(record + end);
    }
  }
}

// Random records: a written record, which the fast path takes; some bytes
// replaced and a field replaced by one of kFields (its width's, at any real
// column): a record near the written form, which the vectors read as the
// words do, with the same bits, but for a record with a full-width real,
// which they leave to the words; then one or two changes to the line (a
// character changed, taken out or put in, a blank moved one column on, the
// line cut or made longer) and a written record, which shows that the first
// read took the right bytes; the last line may end with the end of the file.
TEST(WrittenRecords, RandomRecordsReadAsTheModelAndTheWordsSay) {
  static const char kBytes[] = " 0123456789.+-,Ee\x80\xff\t:/\r\n\0";
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 300000 && !HasFailure(); ++i) {
    std::string record = written_record(random);
    StarRecord read{}, by_vectors{};
    ASSERT_EQ(read_written_record(record.data(), &read), kLittleEndian) << record;
    for (uint64_t changes = random() % 4; changes > 0; --changes) {
      record[random() % kRecordWidth] = kBytes[random() % (sizeof kBytes - 1)];
    }
    const auto& field = kFields[random() % std::size(kFields)];
    const size_t width = std::strlen(field.field);
    if (random() % 2 == 0)
      record.replace(width == 7 ? 0 : 7 + 9 * (random() % 6), width, field.field);
    bool full_width = false;
    for (size_t at = 7; at < kRecordWidth; at += 9) full_width |= record[at] != ' ';
    if constexpr (kWrittenVector) {
      const bool vectors = read_written_vector(record.data(), &by_vectors);
      EXPECT_EQ(vectors, read_written_words(record.data(), &read) && !full_width)
          << testing::PrintToString(record);
      EXPECT_TRUE(!vectors || std::memcmp(&by_vectors, &read, sizeof read) == 0) << record;
    }
    for (uint64_t changes = random() % 3; changes > 0 && !record.empty(); --changes) {
      const size_t at = random() % record.size();
      const char other = kBytes[random() % (sizeof kBytes - 1)];
      const size_t blank = std::min(record.find(' ', at), record.size() - 1);
      const uint64_t kind = random() % 7;
      if (kind == 0) record[at] = other;
      if (kind == 1) record.erase(at, 1);
      if (kind == 2) record.insert(at, 1, other);
      if (kind == 3 && blank + 1 < record.size()) std::swap(record[blank], record[blank + 1]);
      if (kind == 4) record.resize(at);
      if (kind >= 5) record += random() % 2 == 0 ? "   trailing text" : "\r";
    }
    const std::string next = written_record(random) + (random() % 2 == 0 ? "\n" : "");
    expect_read_as_the_model_says(record + "\n" + next);
  }
}

// Records in other forms: implied decimals, a short line, a comma ending a
// field early and shifting the later columns left, text after the last
// column, a carriage return.
TEST(WrittenRecords, OtherFormsReadAsTheModelSays) {
  for (const char* text :
       {"      5    12345\n", "  17,1.5", "\n", " ", "12,     3.25     4.50   12.345\n",
        "1,2.5,3.5,4,5,6,7\n", ",,,,,,,\n",
        "      1   100.00   200.00   12.345    0.100   -0.200    0.300   extra  \r\n"}) {
    expect_read_as_the_model_says(text);
  }
}

}  // namespace
}  // namespace starmark
