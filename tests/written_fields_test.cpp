// Star lists hold their records as the record writer writes them, and the
// record reader takes such a record by a fast path, and such a field of a
// record in any other form by a shortcut. Every record and every field must
// read as the general reader reads the same text: the same values to the bit,
// the same status, the same bytes taken; and as the C library converts the
// text (number_oracle.h).
#include "written_fields.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "float_bits.h"
#include "format.h"
#include "number_oracle.h"
#include "star_list.h"

namespace starmark {
namespace {

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
// Where there is no fast path, comparing it with the general reader would
// compare the general reader with itself.
constexpr char kNoFastPath[] =
    "the fast path is off on big-endian machines: only the general reader runs";
constexpr int kDecimals[] = {2, 2, 3, 3, 3, 3};

// One field as the record writer writes it: up to eight digits, `decimals`
// of them after the point. Other programs may leave out the zero before the
// point.
std::string written_real(std::mt19937_64& random, int decimals) {
  const int digits = 1 + static_cast<int>(random() % 8);
  int64_t magnitude = 0;
  for (int i = 0; i < digits; ++i) magnitude = magnitude * 10 + static_cast<int64_t>(random() % 10);
  const bool negative = random() % 3 == 0 && magnitude < 10000000;
  int64_t power = 1;
  for (int i = 0; i < decimals; ++i) power *= 10;
  char integer[16] = "";
  if (magnitude >= power || random() % 2 == 0) {
    std::snprintf(integer, sizeof integer, "%lld", static_cast<long long>(magnitude / power));
  }
  char text[32];
  std::snprintf(text, sizeof text, "%s%s.%0*lld", negative ? "-" : "", integer, decimals,
                static_cast<long long>(magnitude % power));
  char field[32];
  std::snprintf(field, sizeof field, "%9s", text);
  return field;
}

// A record of 61 columns as the record writer writes it.
std::string written_record(std::mt19937_64& random) {
  char n[16];
  std::snprintf(n, sizeof n, "%7lld", static_cast<long long>(random() % 11000000) - 1000000);
  std::string record = n;
  for (int decimals : kDecimals) record += written_real(random, decimals);
  return record;
}

// One change to a record: a character changed, taken out or put in (a
// comma, a blank inside a number, an exponent, a sign, a byte that is no
// character), a blank moved one column on, the line cut or made longer.
void change(std::mt19937_64& random, std::string& record) {
  static const char kReplacements[] = " 0123456789.+-,Ee\t:/\x80\r\n\0";
  if (record.empty()) return;
  const size_t at = random() % record.size();
  switch (random() % 7) {
    case 0:
      record[at] = kReplacements[random() % (sizeof kReplacements - 1)];
      break;
    case 1:
      record.erase(at, 1);
      break;
    case 2:
      record.insert(at, 1, kReplacements[random() % (sizeof kReplacements - 1)]);
      break;
    case 3: {
      const size_t blank = record.find(' ', at);
      if (blank != std::string::npos && blank + 1 < record.size()) {
        std::swap(record[blank], record[blank + 1]);
      }
      break;
    }
    case 4:
      record.resize(at);
      break;
    default:
      record += random() % 2 == 0 ? "   trailing text" : "\r";
      break;
  }
}

// The same record, or one near it: one or two changes.
std::string near_record(std::mt19937_64& random, std::string record) {
  for (int changes = static_cast<int>(random() % 3); changes > 0; --changes) change(random, record);
  return record;
}

// The same field with one blank moved from its front to its end: blanks
// inside a field are ignored, so it means the same, but it is no longer in the
// written form and takes the general way.
std::string moved_blank(const std::string& field) {
  if (field.empty() || field[0] != ' ') return field;
  return field.substr(1) + " ";
}

TEST(WrittenFields, ReadAsTheGeneralWayReadsThem) {
  if (!kLittleEndian) GTEST_SKIP() << kNoFastPath;
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 300000; ++i) {
    const int decimals = kDecimals[random() % 6];
    std::string field = written_real(random, decimals);
    if (random() % 2 == 0) change(random, field);
    SCOPED_TRACE(testing::Message() << '"' << field << '"');
    float shortcut = -1.0f;
    float general = -2.0f;
    const Status read = read_real_field(field, decimals, &shortcut);
    const Status reference = read_real_field(moved_blank(field), decimals, &general);
    ASSERT_EQ(read.message(), reference.message());
    if (!read.ok()) continue;
    ASSERT_EQ(bits_of(shortcut), bits_of(general));
    const std::optional<float> denoted = oracle::real_field_value(field, decimals);
    ASSERT_TRUE(denoted.has_value());
    ASSERT_EQ(bits_of(shortcut), bits_of(*denoted));
  }
}

const Format& record_format() {
  static const Format format = [] {
    Format parsed;
    if (!Format::parse("(I7,2F9.2,4F9.3)", &parsed).ok()) std::abort();
    return parsed;
  }();
  return format;
}

Status read_generally(InputStream& input, StarRecord* record) {
  const ReadItem items[] = {&record->n, &record->x, &record->y, &record->amag,
                            &record->a, &record->b, &record->c};
  return read_formatted(input, record_format(), items, 7);
}

std::string shown(const StarRecord& record) {
  char text[200];
  std::snprintf(text, sizeof text, "%d %a %a %a %a %a %a", record.n, record.x, record.y,
                record.amag, record.a, record.b, record.c);
  return text;
}

// Reads `text` record by record with the record reader and with the general
// reader, to the end of the file or a failure: every read must agree.
void expect_read_as_generally(const std::string& text) {
  SCOPED_TRACE(testing::Message() << '"' << text << '"');
  InputStream input = InputStream::from_text(text);
  InputStream reference = InputStream::from_text(text);
  for (;;) {
    StarRecord record{-1, -1, -1, -1, -1, -1, -1};
    StarRecord expected = record;
    const Status status = read_star_record(input, &record);
    const Status expected_status = read_generally(reference, &expected);
    ASSERT_EQ(status.message(), expected_status.message());
    if (!status.ok()) return;
    ASSERT_EQ(shown(record), shown(expected));
  }
}

TEST(WrittenRecords, ReadAsTheGeneralReaderReadsThem) {
  if (!kLittleEndian) GTEST_SKIP() << kNoFastPath;
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 200000; ++i) {
    const std::string record = near_record(random, written_record(random));
    // A second record shows that both took the same bytes; the last line may
    // end with the end of the file.
    const std::string next = written_record(random);
    expect_read_as_generally(record + "\n" + next + (random() % 2 == 0 ? "\n" : ""));
    if (HasFatalFailure()) return;
  }
}

// The fast path takes every record in the written form, and reads its
// fields as the oracle converts their text.
TEST(WrittenRecords, WrittenFormTakesTheFastPathAsTheOracleConverts) {
  if (!kLittleEndian) GTEST_SKIP() << kNoFastPath;
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 100000; ++i) {
    const std::string text = written_record(random);
    SCOPED_TRACE(testing::Message() << '"' << text << '"');
    StarRecord record{};
    ASSERT_TRUE(read_written_record(text.data(), &record));
    ASSERT_EQ(record.n, std::atoi(text.substr(0, 7).c_str()));
    const float reals[] = {record.x, record.y, record.amag, record.a, record.b, record.c};
    for (int field = 0; field < 6; ++field) {
      const std::string text_of_field = text.substr(7 + 9 * field, 9);
      const std::optional<float> denoted =
          oracle::real_field_value(text_of_field, kDecimals[field]);
      ASSERT_TRUE(denoted.has_value()) << text_of_field;
      ASSERT_EQ(bits_of(reals[field]), bits_of(*denoted)) << text_of_field;
    }
  }
}

// Which records the fast path takes: the plain record, and the record with
// one field replaced. The others, and those, read as the general reader
// reads them.
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
    expect_read_as_generally(record + "\n" + plain + "\n");
    expect_read_as_generally(record);
    expect_read_as_generally(record + "\r\n");
  }
}

}  // namespace
}  // namespace starmark
