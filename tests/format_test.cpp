#include "format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "float_bits.h"

namespace starmark {
namespace {

constexpr char kRecordFormat[] = "(I7,2F9.2,4F9.3)";
constexpr char kNotFoundFormat[] = "(1X,\x02 Could not find star\x02,I3)";
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr char kEndOfFile[] = "fmt: end of file";
constexpr char kBadCharacter[] = "fmt: read unexpected character";

// A decimal as the readers give it: the nearest double, then single precision.
float single(double value) {
  return static_cast<float>(value);
}

// ---------------------------------------------------------------------------
// Format texts

// A format that must parse; a failure shows as a failed test, not an abort.
Format parsed(const char* text) {
  Format format;
  EXPECT_TRUE(Format::parse(text, &format).ok()) << text;
  return format;
}

// The descriptors of a format in a notation of their own: I7 F9.2 1X 'text' A /.
std::string descriptors_of(const char* text) {
  const Format format = parsed(text);
  std::string shown;
  for (const EditDescriptor& d : format.descriptors()) {
    const std::string width = std::to_string(d.width);
    switch (d.kind) {
      case EditDescriptor::Kind::kInteger:
        shown += " I" + width;
        break;
      case EditDescriptor::Kind::kReal:
        shown += " F" + width + "." + std::to_string(d.decimals);
        break;
      case EditDescriptor::Kind::kCharacter:
        shown += " A";
        break;
      case EditDescriptor::Kind::kBlanks:
        shown += " " + width + "X";
        break;
      case EditDescriptor::Kind::kText:
        shown += " '" + std::string(d.text) + "'";
        break;
      case EditDescriptor::Kind::kNewLine:
        shown += " /";
        break;
    }
  }
  return shown;
}

TEST(FormatParse, ProgramFormatsGiveTheirDescriptors) {
  EXPECT_EQ(descriptors_of("(A)"), " A");
  EXPECT_EQ(descriptors_of("(A,/)"), " A /");
  EXPECT_EQ(descriptors_of(kRecordFormat), " I7 F9.2 F9.2 F9.3 F9.3 F9.3 F9.3");
  EXPECT_EQ(descriptors_of(kNotFoundFormat), " 1X ' Could not find star' I3");
  EXPECT_EQ(descriptors_of("(3X,'ab',I2)"), " 3X 'ab' I2");
}

TEST(FormatParse, BadFormatsAreErrorsInFormat) {
  for (const char* text : {"", "A", "(A", "A)", "(I)", "(F9)", "(F9.)", "(F.2)", "(Q)",
                           "(\x02open text)", "(A))", "(A)B", "(I7,,F9.2)", "(65536I1,I1)"}) {
    SCOPED_TRACE(text);
    Format format;
    const Status status = Format::parse(text, &format);
    EXPECT_EQ(status.kind(), Status::Kind::kProgram);
    EXPECT_EQ(status.message(), "fmt: error in format");
  }
}

// ---------------------------------------------------------------------------
// Writing

std::string write_with(const char* format_text, const std::vector<WriteItem>& items) {
  const Format format = parsed(format_text);
  std::string text;
  EXPECT_TRUE(write_formatted(format, items.data(), items.size(), &text).ok());
  return text;
}

TEST(FormatWrite, IntegerFieldsRightJustifiedOrAsterisks) {
  const struct {
    int32_t value;
    const char* field;
  } cases[] = {{0, "      0"},        {1, "      1"},         {-12, "    -12"},
               {1234567, "1234567"},  {-123456, "-123456"},   {12345678, "*******"},
               {-1234567, "*******"}, {INT32_MAX, "*******"}, {INT32_MIN, "*******"}};
  for (const auto& c : cases) {
    std::string text;
    write_integer_field(c.value, 7, &text);
    EXPECT_EQ(text, c.field) << c.value;
  }
}

// Exact halves (0.125) go to the even digit; near halves (1.005, 2.675) by
// their exact single-precision value.
TEST(FormatWrite, RealFieldsRoundTheExactWidenedValue) {
  const struct {
    float value;
    int decimals;
    const char* field;
  } cases[] = {
      {123.456f, 2, "   123.46"},   {-0.5f, 2, "    -0.50"},
      {-0.004f, 2, "     0.00"},    {-0.0f, 2, "     0.00"},
      {-99999.99f, 2, "-99999.99"}, {999999.9f, 2, "999999.88"},
      {1234567.0f, 2, "*********"}, {1e30f, 2, "*********"},
      {-1.2345f, 3, "   -1.235"},   {12.3456f, 3, "   12.346"},
      {-9999.999f, 3, "-9999.999"}, {-10000.0f, 3, "*********"},
      {99999.999f, 3, "*********"}, {20000.001f, 3, "20000.002"},
      {-0.0004f, 3, "    0.000"},   {-0.0005f, 3, "   -0.001"},
      {0.125f, 2, "     0.12"},     {0.375f, 2, "     0.38"},
      {-0.125f, 2, "    -0.12"},    {1.005f, 2, "     1.00"},
      {2.675f, 2, "     2.67"},     {kInfinity, 2, "      inf"},
      {-kInfinity, 3, "     -inf"}, {std::numeric_limits<float>::quiet_NaN(), 2, "      nan"}};
  for (const auto& c : cases) {
    std::string text;
    write_real_field(c.value, 9, c.decimals, &text);
    EXPECT_EQ(text, c.field) << c.value << " with " << c.decimals << " decimals";
  }
}

TEST(FormatWrite, WideRealFieldsShowEveryDecimal) {
  // The largest single-precision value, exactly, with 63 decimals.
  std::string text;
  write_real_field(std::numeric_limits<float>::max(), 110, 63, &text);
  EXPECT_EQ(text, std::string(7, ' ') + "340282346638528859811704183484516925440." +
                      std::string(63, '0'));
}

// ---------------------------------------------------------------------------
// Reading

struct Record {
  int32_t n = -99;
  float x = -99, y = -99, amag = -99, a = -99, b = -99, c = -99;
};

Status read_record(InputStream& input, Record* record) {
  static const Format format = parsed(kRecordFormat);
  const ReadItem items[] = {&record->n, &record->x, &record->y, &record->amag,
                            &record->a, &record->b, &record->c};
  return read_formatted(input, format, items, 7);
}

void expect_record(const Record& got, int32_t n, const std::array<float, 6>& reals) {
  EXPECT_EQ(got.n, n);
  const float fields[] = {got.x, got.y, got.amag, got.a, got.b, got.c};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bits_of(fields[i]), bits_of(reals[i])) << "real " << i;
}

// Reads `line` as the one field of `format_text`, "(I7)" or "(Fw.d)".
Status read_one_field(const char* format_text, const std::string& line, double* value) {
  const Format format = parsed(format_text);
  InputStream input = InputStream::from_text(line + "\n");
  int32_t integer = -99;
  float real = -99;
  const bool is_integer = format_text[1] == 'I';
  const ReadItem item = is_integer ? ReadItem(&integer) : ReadItem(&real);
  const Status status = read_formatted(input, format, &item, 1);
  *value = is_integer ? integer : real;
  return status;
}

// Expected values are written as doubles: the reader rounds to double first,
// then to single precision. Zero fields read as plus zero. The forms of
// numbers at large are compared with the C library in decimal_test.cpp;
// these are the rules of the field itself.
TEST(FormatRead, NumericFieldRules) {
  const struct {
    const char* format;
    const char* line;
    double value;
  } cases[] = {{"(I7)", "    1 2", 12},         {"(I7)", "  -  12", -12},
               {"(I7)", "      -", 0},          {"(I7)", "", 0},
               {"(F9.2)", "    12345", 123.45}, {"(F9.2)", "  1.23456", 1.23456},
               {"(F9.2)", "  1 2 3 4", 12.34},  {"(F9.2)", "  1.5E 3", 1500},
               {"(F9.2)", "    12 -3", 12e-5},  {"(F9.2)", "      2.5abc", 2.5},
               {"(F9.2)", "         ", 0},      {"(F9.2)", "        -", 0},
               {"(F9.2)", "       -.", 0},      {"(F9.2)", "  -0.0E5", 0},
               {"(F9.2)", "      . 5", 0.5},    {"(F9.3)", "   -1. 25", -1.25}};
  for (const auto& c : cases) {
    double value = 0;
    ASSERT_TRUE(read_one_field(c.format, c.line, &value).ok()) << c.format << " \"" << c.line;
    EXPECT_EQ(bits_of(static_cast<float>(value)), bits_of(single(c.value)))
        << c.format << " \"" << c.line << "\" gives " << value;
  }
}

TEST(FormatRead, BadCharactersAreFatal) {
  const struct {
    const char* format;
    const char* line;
  } cases[] = {{"(I7)", "     1x"},     {"(I7)", "   12.5"},     {"(I7)", "   1-2"},
               {"(F9.2)", "  1.2.3"},   {"(F9.2)", "   1\t2"},   {"(F9.2)", "   1\r2"},
               {"(F9.2)", "    1.5E"},  {"(F9.2)", "   1.5E+"},  {"(F9.2)", "   1.5 -"},
               {"(F9.2)", "      abc"}, {"(F9.2)", "  1.5E3x"},  {"(F9.2)", "   1E2.5"},
               {"(F9.2)", "\t1.5"},     {"(F9.2)", "    1.5E "}, {"(F9.2)", "    xx.xx"},
               {"(F9.2)", "   1:.00"},  {"(F9.2)", "   /1.00"},  {"(F9.3)", "   -1.2x3"}};
  for (const auto& c : cases) {
    double value = 0;
    const Status status = read_one_field(c.format, c.line, &value);
    EXPECT_EQ(status.kind(), Status::Kind::kProgram) << c.format << " \"" << c.line;
    EXPECT_EQ(status.message(), kBadCharacter) << c.format << " \"" << c.line;
  }
}

TEST(FormatRead, RecordLayout) {
  const std::string line = "      1   100.00   200.00   12.345    0.100   -0.200    0.300";
  InputStream input = InputStream::from_text(line + " trailing junk\n" + line + "\r\n");
  for (int i = 0; i < 2; ++i) {
    Record record;
    ASSERT_TRUE(read_record(input, &record).ok());
    expect_record(record, 1,
                  {100.0f, 200.0f, single(12.345), single(0.1), single(-0.2), single(0.3)});
    EXPECT_EQ(write_with(kRecordFormat,
                         {record.n, record.x, record.y, record.amag, record.a, record.b, record.c}),
              line + "\n");
  }
}

TEST(FormatRead, ShortLinesCommasAndEmptyLines) {
  const struct {
    const char* text;
    int32_t n;
    std::array<float, 6> reals;
  } cases[] = {{"      5    12345\n", 5, {single(123.45), 0, 0, 0, 0, 0}},
               {"     17\n", 17, {0, 0, 0, 0, 0, 0}},
               {"\n", 0, {0, 0, 0, 0, 0, 0}},
               // A comma ends a field early and later columns shift left.
               {"12,     3.25     4.50   12.345\n", 12, {3.25f, 4.5f, single(12.345), 0, 0, 0}},
               {"1,2.5,3.5,4,5,6,7\n",
                1,
                {2.5f, 3.5f, single(0.004), single(0.005), single(0.006), single(0.007)}},
               {",,,,,,,\n", 0, {0, 0, 0, 0, 0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    InputStream input = InputStream::from_text(c.text);
    Record record;
    ASSERT_TRUE(read_record(input, &record).ok());
    expect_record(record, c.n, c.reals);
  }
}

TEST(FormatRead, CarriageReturnInsideTheRecordIsBadAfterItIsNot) {
  const std::string line = "      1   100.00   200.00   12.345    0.100   -0.200    0.300";
  for (size_t column : {0u, 15u, 60u}) {
    std::string text = line + "\n";
    text[column] = '\r';
    InputStream input = InputStream::from_text(text);
    Record record;
    EXPECT_EQ(read_record(input, &record).message(), kBadCharacter) << column;
  }
}

// The end of the file ends a last line as a line feed would; only a read
// that starts at the end of the file meets it.
TEST(FormatRead, EndOfFileEndsTheLastLine) {
  const std::string full = "      1   100.00   200.00   12.345    0.100   -0.200    0.300";
  const struct {
    std::string text;
    int32_t n;
    float x;
    float c;
  } cases[] = {{full, 1, 100.0f, 0.3f},        {full + "   extra  ", 1, 100.0f, 0.3f},
               {full + "\r", 1, 100.0f, 0.3f}, {"      1   100.00", 1, 100.0f, 0.0f},
               {"  17,1.5", 17, 1.5f, 0.0f},   {" ", 0, 0.0f, 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    InputStream input = InputStream::from_text(c.text);
    Record record;
    const Status status = read_record(input, &record);
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(record.n, c.n);
    EXPECT_EQ(record.x, c.x);
    EXPECT_EQ(record.c, c.c);
    EXPECT_EQ(read_record(input, &record).message(), kEndOfFile);
    EXPECT_TRUE(read_record(input, &record).end_of_file());
  }
  InputStream empty = InputStream::from_text("");
  Record record;
  EXPECT_EQ(read_record(empty, &record).message(), kEndOfFile);
  // A bad character before the end of the file is still a bad character.
  for (const char* text : {"     1x", "      1   1.2x"}) {
    InputStream input = InputStream::from_text(text);
    EXPECT_EQ(read_record(input, &record).message(), kBadCharacter) << text;
  }
}

std::string read_header(InputStream& input, Status* status) {
  std::array<char, 80> line;
  line.fill('#');
  const ReadItem item = FixedText{line.data(), line.size()};
  *status = read_formatted(input, line_format(), &item, 1);
  return std::string(line.data(), line.size());
}

TEST(FormatRead, UnterminatedLastLineFillsACharacterFieldOnlyWhenLongEnough) {
  for (size_t length : {0u, 1u, 79u}) {
    InputStream input = InputStream::from_text(std::string(length, 'x'));
    Status status;
    read_header(input, &status);
    EXPECT_EQ(status.message(), kEndOfFile) << length;
  }
  for (size_t length : {80u, 81u, 120u}) {
    InputStream input = InputStream::from_text(std::string(length, 'x'));
    Status status;
    EXPECT_EQ(read_header(input, &status), std::string(80, 'x')) << length;
    EXPECT_TRUE(status.ok()) << length;
    read_header(input, &status);
    EXPECT_TRUE(status.end_of_file()) << length;
  }
}

}  // namespace
}  // namespace starmark
