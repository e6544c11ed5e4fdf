#include "star_record.h"

#include <gtest/gtest.h>

#include <string>

#include "fixed_field.h"
#include "float_bits.h"
#include "line_fields.h"
#include "text_input.h"

namespace starmark {
namespace {

constexpr char kBadCharacter[] = "fmt: read unexpected character";

// ---------------------------------------------------------------------------
// Writing

TEST(RecordWrite, IntegerFieldsRightJustifiedOrAsterisks) {
  const struct {
    int32_t value;
    const char* field;
  } cases[] = {{0, "      0"},        {1, "      1"},         {-12, "    -12"},
               {1234567, "1234567"},  {-123456, "-123456"},   {12345678, "*******"},
               {-1234567, "*******"}, {INT32_MAX, "*******"}, {INT32_MIN, "*******"}};
  for (const auto& c : cases) {
    char field[7];
    write_integer_field(c.value, sizeof field, field);
    EXPECT_EQ(std::string(field, sizeof field), c.field) << c.value;
  }
}

TEST(RecordWrite, FieldsAbutInTheirColumns) {
  char line[kRecordLineSize];
  format_star_record({12, 123.456f, -0.5f, 12.3456f, 0.5f, -1.2345f, 0.0f}, line);
  EXPECT_EQ(std::string(line, sizeof line),
            "     12   123.46    -0.50   12.346    0.500   -1.235    0.000\n");
}

// ---------------------------------------------------------------------------
// Reading

// Expected values are written as doubles: the reader rounds to double first,
// then to single precision. Zero fields read as plus zero. The forms of
// numbers at large are compared with the number oracle in decimal_test.cpp;
// these are the rules of the field itself.
TEST(RecordRead, RealFieldRules) {
  const struct {
    int decimals;
    const char* field;
    double value;
  } cases[] = {{2, "    12345", 123.45}, {2, "  1.23456", 1.23456}, {2, "  1 2 3 4", 12.34},
               {2, "  1.5E 3", 1500},    {2, "    12 -3", 12e-5},   {2, "         ", 0},
               {2, "        -", 0},      {2, "       -.", 0},       {2, "  -0.0E5", 0},
               {2, "      . 5", 0.5},    {3, "   -1. 25", -1.25},   {3, "    12345", 12.345}};
  for (const auto& c : cases) {
    float value = -99;
    ASSERT_TRUE(read_real_field(c.field, c.decimals, &value).ok()) << '"' << c.field << '"';
    EXPECT_EQ(bits_of(value), bits_of(static_cast<float>(c.value)))
        << '"' << c.field << "\" gives " << value;
  }
}

TEST(RecordRead, BadCharactersInARealField) {
  for (const char* field : {"  1.2.3", "   1\t2", "   1\r2", "    1.5E", "   1.5E+", "   1.5 -",
                            "      abc", "  1.5E3x", "   1E2.5", "\t1.5", "    1.5E ", "    xx.xx",
                            "   1:.00", "   /1.00", "   -1.2x3"}) {
    float value = 0;
    EXPECT_EQ(read_real_field(field, 2, &value).message(), kBadCharacter) << '"' << field << '"';
  }
}

// n in its seven columns: blanks ignored, a sign alone is zero, and any
// other character is bad.
TEST(RecordRead, IntegerFieldRules) {
  const struct {
    const char* line;
    int32_t n;
    const char* message;
  } cases[] = {{"    1 2\n", 12, ""},
               {"  -  12\n", -12, ""},
               {"      -\n", 0, ""},
               {"       \n", 0, ""},
               {"     1x\n", 0, kBadCharacter},
               {"   12.5\n", 0, kBadCharacter},
               {"   1-2\n", 0, kBadCharacter}};
  for (const auto& c : cases) {
    TextInput text(c.line);
    StarRecord record{-1, 1, 1, 1, 1, 1, 1};
    const Status status = read_star_record(text.stream(), &record);
    EXPECT_EQ(status.ok() ? "" : status.message(), c.message) << '"' << c.line << '"';
    EXPECT_EQ(record.n, status.ok() ? c.n : -1) << '"' << c.line << '"';
  }
}

// A header line fills its 80 characters: a short line padded, a long one cut
// and the rest of it skipped; a last line shorter than that without a line
// feed meets the end of the file.
TEST(LineRead, FixedLinesArePaddedOrCut) {
  TextInput text("ab\n" + std::string(100, 'x') + "\nnext\nshort");
  char value[80];
  ASSERT_TRUE(read_fixed_line(text.stream(), value, sizeof value).ok());
  EXPECT_EQ(std::string(value, sizeof value), "ab" + std::string(78, ' '));
  ASSERT_TRUE(read_fixed_line(text.stream(), value, sizeof value).ok());
  EXPECT_EQ(std::string(value, sizeof value), std::string(80, 'x'));
  ASSERT_TRUE(read_fixed_line(text.stream(), value, sizeof value).ok());
  EXPECT_EQ(std::string(value, 4), "next");
  EXPECT_EQ(read_fixed_line(text.stream(), value, sizeof value).message(), "fmt: end of file");
}

}  // namespace
}  // namespace starmark
