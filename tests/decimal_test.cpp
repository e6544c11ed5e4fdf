// Both readers of reals, the fixed-column fields and list-directed input,
// must give exactly what the C library's string-to-double conversion of the
// first 40 significant digits gives, rounded once more to single precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "float_bits.h"
#include "format.h"
#include "list_io.h"

namespace starmark {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// The value a reader must give for `text` (sign, digits with at most one
// point, then an exponent that starts with E, e, D, d or a bare sign).
// Without a point the last `implied_decimals` digits are the fraction.
float expected_value(const std::string& text, int implied_decimals) {
  const size_t start = text[0] == '+' || text[0] == '-' ? 1 : 0;
  const size_t end = std::min(text.find_first_not_of("0123456789.", start), text.size());
  std::string mantissa = text.substr(start, end - start);
  std::string exponent;
  if (end < text.size()) {
    const bool bare_sign = text[end] == '+' || text[end] == '-';
    exponent = "e" + text.substr(bare_sign ? end : end + 1);
  }
  if (mantissa.find('.') == std::string::npos) {
    mantissa.insert(0, static_cast<size_t>(implied_decimals), '0');
    mantissa.insert(mantissa.size() - static_cast<size_t>(implied_decimals), ".");
  }
  int significant = 0;
  for (char& c : mantissa) {
    if (c == '.' || (significant == 0 && c == '0')) continue;
    if (++significant > 40) c = '0';
  }
  if (significant == 0) return 0.0f;
  const std::string decimal = text.substr(0, start) + mantissa + exponent;
  return static_cast<float>(std::strtod(decimal.c_str(), nullptr));
}

std::string digits(std::mt19937_64& random, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text.push_back(static_cast<char>('0' + random() % 10));
  return text;
}

// printf's "d.ddde+XX" turned into one of the exponent forms of the files.
std::string with_exponent_form(std::mt19937_64& random, std::string text) {
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  switch (random() % 6) {
    case 0:
      text.erase(e, 1);  // a bare sign
      break;
    case 1:
    case 2:
      text[e] = "EdD"[random() % 3];
      break;
    case 3:
      if (text[e + 1] == '+') text.erase(e + 1, 1);
      break;
  }
  return text;
}

std::string printed(const char* format, int precision, long double value) {
  char text[128];
  std::snprintf(text, sizeof text, format, precision, value);
  return text;
}

// A random decimal: plain digits, or a printed float or double, often at or
// near a halfway point between two floats or two doubles.
std::string random_decimal(std::mt19937_64& random) {
  std::uniform_int_distribution<int> sig_digits(1, 45);
  switch (random() % 7) {
    case 0: {  // half way between two floats, printed exactly or nearly
      const float low = std::ldexp(1.0f + static_cast<float>(random() % (1 << 23)) * 0x1p-23f,
                                   static_cast<int>(random() % 120) - 20);
      const long double half = (static_cast<long double>(low) + std::nextafter(low, kInfinity)) / 2;
      return with_exponent_form(random, printed("%.*Le", sig_digits(random) - 1, half));
    }
    case 1: {  // half way between two doubles
      const double low = std::ldexp(1.0 + static_cast<double>(random() >> 12) * 0x1p-52,
                                    static_cast<int>(random() % 300) - 160);
      const long double half = (static_cast<long double>(low) + std::nextafter(low, 1e300)) / 2;
      return with_exponent_form(random, printed("%.*Le", sig_digits(random) - 1, half));
    }
    case 2: {  // half way between the two doubles around a float half: the
               // digits after the 40th decide the float
      const double float_half =
          std::ldexp(1.0 + static_cast<double>(random() % (1 << 23) * 2 + 1) * 0x1p-24,
                     static_cast<int>(random() % 60) - 20);
      const double step = std::nextafter(float_half, 1e300) - float_half;
      const long double half = float_half + (random() % 2 ? 0.5L : -0.25L) * step;
      return printed("%.*Le", 38 + static_cast<int>(random() % 20), half);
    }
    case 3: {  // any float, subnormal and largest ones included, as printed
      uint32_t bits = static_cast<uint32_t>(random()) & 0x7f7fffffu;
      float value;
      std::memcpy(&value, &bits, sizeof value);
      return with_exponent_form(random, printed("%.*Le", 5 + random() % 13, value));
    }
    default: {  // digits, a point anywhere, an exponent or none
      std::string text = (random() % 3 == 0) ? "-" : (random() % 4 == 0 ? "+" : "");
      const size_t leading_zeros = random() % 4 == 0 ? random() % 50 : 0;
      const size_t count = random() % 100 == 0 ? 100 + random() % 3000 : 1 + random() % 45;
      std::string mantissa = std::string(leading_zeros, '0') + digits(random, count);
      if (random() % 4 != 0) mantissa.insert(random() % (mantissa.size() + 1), ".");
      text += mantissa;
      if (random() % 2 == 0) {
        const long magnitude = random() % 20 == 0 ? static_cast<long>(random() % 100000000)
                                                  : static_cast<long>(random() % 90);
        text += with_exponent_form(
            random, "e" + std::string(random() % 2 ? "+" : "-") + std::to_string(magnitude));
      }
      return text;
    }
  }
}

TEST(DecimalConversion, RandomDecimalsMatchTheCLibraryBitForBit) {
  std::mt19937_64 random(20240611);
  int failures = 0;
  for (int trial = 0; trial < 200000 && failures < 10; ++trial) {
    const std::string text = random_decimal(random);
    const int implied_decimals = static_cast<int>(random() % 4);
    const uint32_t field_expected = bits_of(expected_value(text, implied_decimals));
    const uint32_t list_expected = bits_of(expected_value(text, 0));

    // Blanks inside a fixed-column field are ignored.
    std::string field = text;
    if (random() % 5 == 0) field.insert(1 + random() % field.size(), " ");
    float from_field = -1;
    const Status field_status = read_real_field(field, implied_decimals, &from_field);
    if (!field_status.ok() || bits_of(from_field) != field_expected) {
      ++failures;
      ADD_FAILURE() << "field \"" << field << "\" with " << implied_decimals
                    << " implied decimals: " << field_status.message() << ", got "
                    << bits_of(from_field) << ", expected " << field_expected;
    }

    InputStream input = InputStream::from_text(text + " 0\n");
    float values[2] = {-1, -1};
    const Status list_status = read_list_reals(input, values, 2);
    if (!list_status.ok() || bits_of(values[0]) != list_expected) {
      ++failures;
      ADD_FAILURE() << "list \"" << text << "\": " << list_status.message() << ", got "
                    << bits_of(values[0]) << ", expected " << list_expected;
    }
  }
}

// The nearest float to these decimals is not the float of their nearest
// double; the readers round twice.
TEST(DecimalConversion, RoundsToDoubleFirst) {
  const struct {
    const char* text;
    float value;
  } cases[] = {// Just above the half 1 + 2^-24 between two floats, by less than half a
               // double step: the double is the half itself, which goes to the even float.
               {"1.00000005960464478", 1.0f},
               {"-1.00000005960464478", -1.0f},
               {"1.000000059604644775390625", 1.0f},
               // Just below the half 1 + 3 * 2^-24, which goes up to the even float.
               {"1.00000017881393432617187", 1.00000024f}};
  for (const auto& c : cases) {
    float value = 0;
    ASSERT_TRUE(read_real_field(c.text, 0, &value).ok()) << c.text;
    EXPECT_EQ(bits_of(value), bits_of(c.value)) << c.text;
    InputStream input = InputStream::from_text(std::string(c.text) + "\n");
    ASSERT_TRUE(read_list_reals(input, &value, 1).ok()) << c.text;
    EXPECT_EQ(bits_of(value), bits_of(c.value)) << c.text;
    EXPECT_EQ(bits_of(value), bits_of(expected_value(c.text, 0))) << c.text;
  }
}

}  // namespace
}  // namespace starmark
