#include "format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "float_bits.h"

namespace starmark {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr char kBadCharacter[] = "fmt: read unexpected character";

// A format that must parse; a failure shows as a failed test, not an abort.
Format parsed(const char* text) {
  Format format;
  EXPECT_TRUE(Format::parse(text, &format).ok()) << text;
  return format;
}

TEST(FormatParse, BadFormatsAreErrorsInFormat) {
  for (const char* text :
       {"", "A", "(A", "A)", "(I)", "(F9)", "(F9.)", "(F.2)", "(Q)", "(\x02open text)", "(A))",
        "(A)B", "(I7,,F9.2)", "(I7 F9.2)", "(65536I1,I1)", "(2000000I1)"}) {
    SCOPED_TRACE(text);
    Format format;
    const Status status = Format::parse(text, &format);
    EXPECT_EQ(status.kind(), Status::Kind::kProgram);
    EXPECT_EQ(status.message(), "fmt: error in format");
  }
  // A format without a descriptor for the item to read.
  int32_t item = 0;
  const ReadItem read_item = &item;
  InputStream input = InputStream::from_text("1\n");
  EXPECT_EQ(read_formatted(input, parsed("(1X)"), &read_item, 1).message(), "fmt: error in format");
}

// ---------------------------------------------------------------------------
// Writing

std::string write_with(const char* format_text, const std::vector<WriteItem>& items) {
  const Format format = parsed(format_text);
  std::string text;
  EXPECT_TRUE(write_formatted(format, items.data(), items.size(), &text).ok());
  return text;
}

// Every kind of descriptor, a slash that needs no comma, and the format
// starting again on a new line while items remain.
TEST(FormatWrite, DescriptorsInOrder) {
  EXPECT_EQ(write_with("(A,/)", {"abc"}), "abc\n\n");
  EXPECT_EQ(write_with("(1X,\x02 Could not find star\x02,I3)", {3}), "  Could not find star  3\n");
  EXPECT_EQ(write_with("(3X,'ab',2I2, F5.1)", {5, 6, 1.25f, 7}), "   ab 5 6  1.2\n   ab 7\n");
  EXPECT_EQ(write_with("(I2/I2)", {1, 2}), " 1\n 2\n");
  EXPECT_EQ(write_with("(65536I1)", {1}), "1\n");  // as many descriptors as a format may have
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

// ---------------------------------------------------------------------------
// Reading

// A single field, `line` without a line feed (the end of the file ends it as
// a line feed would), read under "(Iw)" or "(Fw.d)".
Status read_one_field(const char* format_text, const std::string& line, float* value) {
  InputStream input = InputStream::from_text(line);
  int32_t integer = -99;
  const bool is_integer = format_text[1] == 'I';
  const ReadItem item = is_integer ? ReadItem(&integer) : ReadItem(value);
  const Status status = read_formatted(input, parsed(format_text), &item, 1);
  if (is_integer) *value = static_cast<float>(integer);
  return status;
}

// Expected values are written as doubles: the reader rounds to double first,
// then to single precision. Zero fields read as plus zero; an integer beyond
// 32 bits keeps its low 32 bits. The forms of numbers at large are compared
// with the number oracle in decimal_test.cpp; these are the rules of the
// field itself.
TEST(FormatRead, NumericFieldRules) {
  const struct {
    const char* format;
    const char* line;
    double value;
  } cases[] = {{"(I7)", "    1 2", 12},          {"(I7)", "  -  12", -12},
               {"(I12)", "  4294967297", 1},     {"(I12)", " -4294967295", 1},
               {"(I7)", "      -", 0},           {"(F9.2)", "    12345", 123.45},
               {"(F9.2)", "  1.23456", 1.23456}, {"(F9.2)", "  1 2 3 4", 12.34},
               {"(F9.2)", "  1.5E 3", 1500},     {"(F9.2)", "    12 -3", 12e-5},
               {"(F9.2)", "      2.5abc", 2.5},  {"(F9.2)", "         ", 0},
               {"(F9.2)", "        -", 0},       {"(F9.2)", "       -.", 0},
               {"(F9.2)", "  -0.0E5", 0},        {"(F9.2)", "      . 5", 0.5},
               {"(F9.3)", "   -1. 25", -1.25},   {"(F9.8)", ".12345678", 0.12345678}};
  for (const auto& c : cases) {
    float value = -99;
    ASSERT_TRUE(read_one_field(c.format, c.line, &value).ok()) << c.format << " \"" << c.line;
    EXPECT_EQ(bits_of(value), bits_of(static_cast<float>(c.value)))
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
    float value = 0;
    const Status status = read_one_field(c.format, c.line, &value);
    EXPECT_EQ(status.kind(), Status::Kind::kProgram) << c.format << " \"" << c.line;
    EXPECT_EQ(status.message(), kBadCharacter) << c.format << " \"" << c.line;
  }
}

}  // namespace
}  // namespace starmark
