#include "list_io.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "float_bits.h"
#include "text_input.h"

namespace starmark {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kLargest = std::numeric_limits<float>::max();
// What the variables hold before a read, so that a value left alone shows.
constexpr float kFirstBefore = -7.0f;
constexpr float kSecondBefore = -8.0f;

// ---------------------------------------------------------------------------
// Reading

// The forms of numbers at large are compared with the number oracle in
// decimal_test.cpp; these are the rules of the list around them. The case
// folders hold the plainest forms: blanks and commas between the values, a
// null first value, a slash, a repeat count, a second value on the next
// line, a last line without a line feed, and the failures of a letter, a
// zero or signed repeat count and a too large exponent.
TEST(ListRead, ValuesNullsSlashesAndRepeats) {
  const struct {
    const char* text;
    float xs;
    float ys;
  } cases[] = {{"\t12.5\t100\n", 12.5f, 100.0f},
               {"5,,\n", 5.0f, kSecondBefore},
               {" , , 9\n", kFirstBefore, kSecondBefore},
               {"5/\n", 5.0f, kSecondBefore},
               {"5 / 6\n", 5.0f, kSecondBefore},
               {"11*100.5 3\n", 100.5f, 100.5f},
               {"2*-3\n", -3.0f, -3.0f},
               {"1*4.5 6\n", 4.5f, 6.0f},
               {"2*\n", kFirstBefore, kSecondBefore},
               {"1* 6\n", kFirstBefore, 6.0f},
               {"4294967296*7\n", 7.0f, 7.0f},
               {"99999999999999999999*7\n", 7.0f, 7.0f},
               {"1.0-2.0\n", 0.01f, 0.0f},
               {"1e99999999 1e-99999999\n", kInfinity, 0.0f},
               {"-1e99999999 -1e-99999999\n", -kInfinity, -0.0f},
               {"1e0000000000002 1\n", 100.0f, 1.0f},
               // The rest of the line after the second value is never looked at.
               {"1 2 zzz 1e999999999 *\n", 1.0f, 2.0f},
               {"1 2\r\n", 1.0f, 2.0f},
               // The end of the file ends a last line as a line feed would.
               {"1\n2", 1.0f, 2.0f},
               {"1 2 \t", 1.0f, 2.0f},
               {"1 2,", 1.0f, 2.0f},
               {"1 2\r", 1.0f, 2.0f},
               {"1 2 x", 1.0f, 2.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TextInput text(c.text);
    float values[2] = {kFirstBefore, kSecondBefore};
    ASSERT_TRUE(read_list_reals(text.stream(), values, 2).ok());
    EXPECT_EQ(bits_of(values[0]), bits_of(c.xs)) << values[0];
    EXPECT_EQ(bits_of(values[1]), bits_of(c.ys)) << values[1];
    EXPECT_TRUE(read_list_reals(text.stream(), values, 2).end_of_file());
  }
}

TEST(ListRead, IncomprehensibleInputAndTheEndOfTheFile) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {{"abc 1\n", "invalid number"},      {"1\r\n", "invalid number"},
               {"1 \r2\n", "invalid number"},      {"\r1 2\n", "invalid number"},
               {"1\xb0 2\n", "invalid number"},    {"\xe9 1 2\n", "invalid number"},
               {". 1\n", "invalid number"},        {"- 1 2\n", "invalid number"},
               {"E5 1\n", "invalid number"},       {"1e 2\n", "exponent field"},
               {"1e+ 2\n", "exponent field"},      {"1+ 2\n", "exponent field"},
               {"1 2d\n", "exponent field"},       {"*5 1\n", "bad repetition count"},
               {"-2*5\n", "bad repetition count"}, {"+2*5\n", "bad repetition count"},
               {"1 *\n", "bad repetition count"},  {"+*4\n", "bad repetition count"},
               {"1 -*\n", "bad repetition count"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TextInput text(c.text);
    float values[2] = {kFirstBefore, kSecondBefore};
    EXPECT_EQ(read_list_reals(text.stream(), values, 2).message(),
              c.message + std::string(": incomprehensible list input"));
  }
  // No second value before the end of the file.
  for (const char* text : {"", " \n\n \t\n", "1\n", "1"}) {
    TextInput input(text);
    float values[2] = {kFirstBefore, kSecondBefore};
    EXPECT_TRUE(read_list_reals(input.stream(), values, 2).end_of_file()) << text;
  }
}

// ---------------------------------------------------------------------------
// Writing

std::string list_line(const std::vector<ListItem>& items) {
  ListText text;
  write_list(items.data(), items.size(), &text);
  return std::string(text.view());
}

TEST(ListWrite, RealItems) {
  const struct {
    float value;
    const char* text;
  } cases[] = {{12.5f, "  12.5"},
               {100.0f, "  100."},
               {-3.25f, " -3.25"},
               {-1.0f, " -1."},
               {0.0f, "  0."},
               {-0.0f, "  0."},
               {0.1f, "  0.100000001"},
               {1e-3f, "  0.00100000005"},
               {1.2e-4f, "  0.000119999997"},
               {1e-4f, "  9.99999975E-05"},
               {1e-45f, "  1.40129846E-45"},
               {123456789.0f, "  123456792."},
               {999999936.0f, "  999999936."},
               {1e9f, "  1.E+09"},
               {-1.5e10f, " -1.50000005E+10"},
               {kLargest, "  3.40282347E+38"},
               {kInfinity, "  INF"},
               {-kInfinity, " -INF"},
               {kNaN, "  NAN"}};
  for (const auto& c : cases) {
    EXPECT_EQ(list_line({c.value}), c.text + std::string("\n")) << c.value;
  }
}

// A line is ended before an item that would take it to 80 characters:
// an integer counts only its digits, a real its whole text.
TEST(ListWrite, LinesBreakBeforeTheItemThatReachesEighty) {
  const std::vector<ListItem> seventy(7, ListItem(int32_t{123456789}));  // 70 characters
  const std::string seventy_text = list_line(seventy).substr(0, 70);
  const auto with = [&](std::vector<ListItem> tail) {
    std::vector<ListItem> items = seventy;
    items.insert(items.end(), tail.begin(), tail.end());
    return list_line(items);
  };
  // 70 + 9 digits = 79: stays, and the line grows to 80, or 81 with a sign.
  EXPECT_EQ(with({123456789}), seventy_text + " 123456789\n");
  EXPECT_EQ(with({-123456789}), seventy_text + " -123456789\n");
  EXPECT_EQ(with({123456789, 1}), seventy_text + " 123456789\n 1\n");
  // 78 + 1 digit stays; 78 + 2 digits reaches 80.
  EXPECT_EQ(with({1234567, 1}), seventy_text + " 1234567 1\n");
  EXPECT_EQ(with({1234567, -1}), seventy_text + " 1234567 -1\n");
  EXPECT_EQ(with({1234567, 12}), seventy_text + " 1234567\n 12\n");
  // A real counts its two leading characters: 75 + 4 stays, 76 + 4 breaks.
  EXPECT_EQ(with({1234, 0.0f}), seventy_text + " 1234  0.\n");
  EXPECT_EQ(with({12345, 0.0f}), seventy_text + " 12345\n  0.\n");
  EXPECT_EQ(with({12345, -1.0f}), seventy_text + " 12345\n -1.\n");
  EXPECT_EQ(with({1234, 12.5f}), seventy_text + " 1234\n  12.5\n");
  // Thirteen reals of six characters make 78; the fourteenth starts a line.
  const std::vector<ListItem> reals(27, ListItem(12.5f));
  std::string thirteen;
  for (int i = 0; i < 13; ++i) thirteen += "  12.5";
  EXPECT_EQ(list_line(reals), thirteen + "\n" + thirteen + "\n  12.5\n");
}

}  // namespace
}  // namespace starmark
