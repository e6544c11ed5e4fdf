// Star lists hold their records as the record writer writes them, and the
// record reader takes such a record by a fast path. Every record, in or near the
// written form, must read as the record model says (record_model.h).
#include "written_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  const double digits = static_cast<double>(1 + random() % 8);
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

// One change to a record: a character changed, taken out or put in (a
// comma, a blank inside a number, an exponent, a sign, a byte that is no
// character), a blank moved one column on, the line cut or made longer.
void change(std::mt19937_64& random, std::string& record) {
  static const char kReplacements[] = " 0123456789.+-,Ee\t:/\x80\r\n\0";
  if (record.empty()) return;
  const size_t at = random() % record.size();
  const char other = kReplacements[random() % (sizeof kReplacements - 1)];
  const size_t blank = std::min(record.find(' ', at), record.size() - 1);
  const uint64_t kind = random() % 7;
  if (kind == 0) record[at] = other;
  if (kind == 1) record.erase(at, 1);
  if (kind == 2) record.insert(at, 1, other);
  if (kind == 3 && blank + 1 < record.size()) std::swap(record[blank], record[blank + 1]);
  if (kind == 4) record.resize(at);
  if (kind >= 5) record += random() % 2 == 0 ? "   trailing text" : "\r";
}

void expect_read_as_the_model_says(const std::string& text) {
  const std::optional<std::string> mismatch = oracle::record_reads_mismatch(text);
  ASSERT_FALSE(mismatch) << "in " << testing::PrintToString(text) << ": " << *mismatch;
}

// A written record, or one with one or two changes, then a written record: the
// second shows that the first took the right bytes; the last line may end
// with the end of the file. The fast path takes every written record.
TEST(WrittenRecords, ReadAsTheModelSays) {
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 200000 && !HasFatalFailure(); ++i) {
    std::string record = written_record(random);
    StarRecord read{};
    ASSERT_EQ(read_written_record(record.data(), &read), kLittleEndian) << record;
    for (int changes = static_cast<int>(random() % 3); changes > 0; --changes) {
      change(random, record);
    }
    const std::string next = written_record(random);
    expect_read_as_the_model_says(record + "\n" + next + (random() % 2 == 0 ? "\n" : ""));
  }
}

// Which records the fast path takes: the plain record, and the record with
// one field replaced. Those and the others read as the model says.
TEST(WrittenRecords, FastPathTakesTheWrittenFormOnly) {
  const std::string plain = "      1   100.00   200.00   12.345    0.100   -0.200    0.300";
  const struct {
    size_t column;
    const char* field;
    bool fast;
  } cases[] = {{0, "      1", true},     {0, "-999999", true},        {0, "0000012", true},
               {7, "-99999.99", true},   {16, "999999.99", true},     {7, "  -000.05", true},
               {16, "     -.50", true},  {25, "     .001", true},     {52, "   -0.000", true},
               {7, "   +10.00", false},  {7, "  - 10.00", false},     {7, "  --10.00", false},
               {7, "   100. 5", false},  {7, "      . 5", false},     {7, "      .  ", false},
               {7, "   1000.0", false},  {7, "   1.5E02", false},     {7, "    10,00", false},
               {7, "  \t100.00", false}, {0, "     1 ", false},       {0, "      -", false},
               {0, "    1-2", false},    {52, "    0.30\x80", false}, {52, "   0.3000", false}};
  for (const auto& c : cases) {
    std::string record = plain;
    record.replace(c.column, std::string(c.field).size(), c.field);
    SCOPED_TRACE(testing::Message() << '"' << record << '"');
    ASSERT_EQ(record.size(), kRecordWidth);
    StarRecord read{};
    EXPECT_EQ(read_written_record(record.data(), &read), c.fast && kLittleEndian);
    for (const std::string& end : {"\n" + plain + "\n", std::string(), std::string("\r\n")}) {
      expect_read_as_the_model_says(record + end);
    }
  }
}

// A written record near the written form: some columns replaced, or a field
// replaced by a form the record writer does not write.
std::string near_written(std::mt19937_64& random) {
  static const char kBytes[] = " 0123456789.-+,E\x80\xff";
  static const char* const kReals[] = {"   -0.000",
                                       "         ",
                                       "  -  1.00",
                                       "   1-.000",
                                       "  -.-1.00",
                                       "   10.000",
                                       "  1.00000",
                                       "123456.78",
                                       "-12345.67",
                                       " -99999.9",
                                       "99999.999",
                                       "  1.0\x80"
                                       "00",
                                       "    1. 00",
                                       "  - 0.000"};
  static const char* const kNs[] = {"      -", "-999999", "       ",
                                    "  -0000", "   - 12", "9999999"};
  std::string record = written_record(random);
  for (uint64_t changes = random() % 4; changes > 0; --changes) {
    record[random() % kRecordWidth] = kBytes[random() % (sizeof kBytes - 1)];
  }
  const size_t field = random() % 14;
  if (field == 0) record.replace(0, 7, kNs[random() % std::size(kNs)]);
  if (field > 0 && field < kRecordFieldCount) {
    record.replace(7 + 9 * (field - 1), 9, kReals[random() % std::size(kReals)]);
  }
  return record + "\n";
}

// The vectors read every record the words read, with the same bits, but for
// a record with a full-width real, which they leave to the words.
TEST(WrittenRecords, VectorsReadAsTheWords) {
  if (!kWrittenVector) GTEST_SKIP() << "no vector path on this machine";
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 300000 && !HasFailure(); ++i) {
    const std::string record = near_written(random);
    bool full_width = false;
    for (size_t at = 7; at < kRecordWidth; at += 9) full_width |= record[at] != ' ';
    StarRecord by_vectors{}, by_words{};
    const bool vectors = read_written_vector(record.data(), &by_vectors);
    EXPECT_EQ(vectors, read_written_words(record.data(), &by_words) && !full_width)
        << testing::PrintToString(record);
    if (vectors) {
      EXPECT_EQ(std::memcmp(&by_vectors, &by_words, sizeof by_words), 0) << record;
    }
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
