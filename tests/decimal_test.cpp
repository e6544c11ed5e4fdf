// Both readers of reals, the fixed-column fields and list-directed input,
// must give exactly what the number oracle gives: the C library's
// string-to-double conversion of the first 40 significant digits, rounded
// once more to single precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>

#include "float_bits.h"
#include "list_io.h"
#include "number_oracle.h"
#include "star_record.h"
#include "text_input.h"

namespace starmark {
namespace {

// printf's "d.ddde+XX" turned into one of the exponent forms of the files.
std::string with_exponent_form(std::mt19937_64& random, std::string text) {
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  const uint64_t form = random() % 6;
  if (form == 0) text.erase(e, 1);  // a bare sign
  if (form == 1 || form == 2) text[e] = "EdD"[random() % 3];
  if (form == 3 && text[e + 1] == '+') text.erase(e + 1, 1);
  return text;
}

// printf's "d.ddde+XX" with `decimals` digits after the point.
std::string printed(int decimals, long double value) {
  char text[128];
  std::snprintf(text, sizeof text, "%.*Le", decimals, value);
  return text;
}

// A random decimal: plain digits, or a printed float, often at or near a
// halfway point between two floats, or between the two doubles around one.
std::string random_decimal(std::mt19937_64& random) {
  switch (random() % 6) {
    case 0: {  // half way between two floats, printed exactly or nearly
      const float low = std::ldexp(1.0f + static_cast<float>(random() % (1 << 23)) * 0x1p-23f,
                                   static_cast<int>(random() % 120) - 20);
      const long double half = (static_cast<long double>(low) + std::nextafter(low, HUGE_VALF)) / 2;
      return with_exponent_form(random, printed(static_cast<int>(random() % 45), half));
    }
    case 1: {  // half way between the two doubles around a float half: the
               // digits after the 40th decide the float
      const double float_half =
          std::ldexp(1.0 + static_cast<double>(random() % (1 << 23) * 2 + 1) * 0x1p-24,
                     static_cast<int>(random() % 60) - 20);
      const double step = std::nextafter(float_half, 1e300) - float_half;
      const long double half = float_half + (random() % 2 ? 0.5L : -0.25L) * step;
      return printed(38 + static_cast<int>(random() % 20), half);
    }
    case 2: {  // any float, subnormal and largest ones included, as printed
      const float value = float_of(static_cast<uint32_t>(random()) & 0x7f7fffffu);
      return with_exponent_form(random, printed(5 + static_cast<int>(random() % 13), value));
    }
    default: {  // digits, a point anywhere, an exponent or none
      std::string text = random() % 3 == 0 ? "-" : random() % 4 == 0 ? "+" : "";
      const size_t sign = text.size();
      text.append(random() % 4 == 0 ? random() % 50 : 0, '0');  // leading zeros
      for (uint64_t n = random() % 100 == 0 ? 100 + random() % 3000 : 1 + random() % 45; n > 0;
           --n) {
        text += static_cast<char>('0' + random() % 10);
      }
      if (random() % 4 != 0) text.insert(sign + random() % (text.size() - sign + 1), ".");
      if (random() % 2 == 0) {
        const uint64_t magnitude = random() % 20 == 0 ? random() % 100000000 : random() % 90;
        text +=
            with_exponent_form(random, (random() % 2 ? "e+" : "e-") + std::to_string(magnitude));
      }
      return text;
    }
  }
}

// The nearest float to these decimals is not the float of their nearest
// double: the readers round twice. Just above the half 1 + 2^-24 between two
// floats by less than half a double step, the double is the half itself,
// which goes to the even float; just below the half 1 + 3 * 2^-24, it goes up.
const char* const kRoundedTwice[] = {"1.00000005960464478", "-1.00000005960464478",
                                     "1.000000059604644775390625", "1.00000017881393432617187"};

TEST(DecimalConversion, RandomDecimalsMatchTheOracleBitForBit) {
  std::mt19937_64 random(20240611);
  for (int trial = 0; trial < 200000 && !HasFailure(); ++trial) {
    const std::string text = trial < static_cast<int>(std::size(kRoundedTwice))
                                 ? kRoundedTwice[trial]
                                 : random_decimal(random);
    const int implied_decimals = static_cast<int>(random() % 4);
    // Blanks inside a fixed-column field are ignored.
    std::string field = text;
    if (random() % 5 == 0) field.insert(1 + random() % field.size(), " ");
    float values[2] = {-1, -1};
    ASSERT_TRUE(read_real_field(field, implied_decimals, values).ok()) << field;
    EXPECT_EQ(bits_of(values[0]), bits_of(*oracle::real_field_value(field, implied_decimals)))
        << "field \"" << field << "\" with " << implied_decimals << " implied decimals";
    TextInput input(text + " 0\n");
    ASSERT_TRUE(read_list_reals(input.stream(), values, 2).ok()) << text;
    EXPECT_EQ(bits_of(values[0]), bits_of(*oracle::number_value(text))) << text;
  }
}

}  // namespace
}  // namespace starmark
