// The fixed-column real field writer against the C library: "%#.*f" of the
// magnitude widened to double, a minus before a negative value whose digits
// are not all zeros, asterisks when the sign and text pass the field.
#include "fixed_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "float_bits.h"

namespace starmark {
namespace {

float float_of(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string c_library_field(float value, int width, int decimals) {
  const double widened = value;
  char digits[400];  // the largest float has 39 digits before the point
  const int length = std::snprintf(digits, sizeof digits, "%#.*f", decimals, std::fabs(widened));
  const std::string_view text(digits, static_cast<size_t>(length));
  const bool minus = widened < 0 && text.find_first_not_of("0.") != std::string_view::npos;
  const std::string signed_text = (minus ? "-" : "") + std::string(text);
  const size_t columns = static_cast<size_t>(width);
  if (signed_text.size() > columns) return std::string(columns, '*');
  return std::string(columns - signed_text.size(), ' ') + signed_text;
}

std::string fixed_field(float value, int width, int decimals) {
  std::string field(static_cast<size_t>(width), '\0');
  write_fixed_field(value, width, decimals, field.data());
  return field;
}

// Compares many values; a test reports its first few differences.
class Comparison {
 public:
  void check(float value, int decimals) {
    const std::string expected = c_library_field(value, kWidth, decimals);
    const std::string written = fixed_field(value, kWidth, decimals);
    if (written != expected && ++differences_ <= 10) {
      ADD_FAILURE() << "bits 0x" << std::hex << bits_of(value) << std::dec << " (" << value
                    << ") F9." << decimals << ": \"" << written << "\", the C library \""
                    << expected << '"';
    }
  }
  // `value` and the `steps` floats on each side of it, of either sign.
  void check_around(float value, int steps, int decimals) {
    const int64_t magnitude = bits_of(std::fabs(value));
    for (int64_t bits = std::max<int64_t>(magnitude - steps, 0);
         bits <= std::min<int64_t>(magnitude + steps, 0x7f800000); ++bits) {
      check(float_of(static_cast<uint32_t>(bits)), decimals);
      check(-float_of(static_cast<uint32_t>(bits)), decimals);
    }
  }

  static constexpr int kWidth = 9;  // the star record's reals, F9.2 and F9.3

 private:
  int differences_ = 0;
};

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kLargest = std::numeric_limits<float>::max();

// The star record's fields, written out.
TEST(FixedField, StarRecordFields) {
  const struct {
    float value;
    int decimals;
    const char* field;
  } cases[] = {{123.456f, 2, "   123.46"},
               {-0.5f, 2, "    -0.50"},
               {-0.004f, 2, "     0.00"},
               {-0.0050000004f, 2, "    -0.01"},
               {0.005f, 2, "     0.00"},
               {-0.0f, 2, "     0.00"},
               {0.0f, 3, "    0.000"},
               {-99999.99f, 2, "-99999.99"},
               {1999.9951f, 2, "  2000.00"},
               {-999.99951f, 3, "-1000.000"},
               {999999.94f, 2, "999999.94"},
               {999999.97f, 2, "*********"},
               {1234567.0f, 2, "*********"},
               {-1.2345f, 3, "   -1.235"},
               {-9999.999f, 3, "-9999.999"},
               {-10000.0f, 3, "*********"},
               {99999.999f, 3, "*********"},
               {-0.0004f, 3, "    0.000"},
               {-0.0005f, 3, "   -0.001"},
               {0.125f, 2, "     0.12"},
               {0.375f, 2, "     0.38"},
               {-0.125f, 2, "    -0.12"},
               {0.0625f, 3, "    0.062"},
               {0.1875f, 3, "    0.188"},
               {1.005f, 2, "     1.00"},
               {2.675f, 2, "     2.67"},
               {1e-45f, 3, "    0.000"},
               {kLargest, 2, "*********"},
               {kInfinity, 2, "      inf"},
               {-kInfinity, 3, "     -inf"},
               {float_of(0x7fc00000), 2, "      nan"},
               {float_of(0xffc00000), 3, "      nan"},
               {float_of(0xff800001), 2, "      nan"}};
  for (const auto& c : cases) {
    EXPECT_EQ(fixed_field(c.value, 9, c.decimals), c.field)
        << c.value << " with " << c.decimals << " decimals";
  }
}

// Against the C library in the star record's fields, about 1.6 million
// values: zeros, subnormals, the largest float, infinities and
// not-a-numbers; every odd multiple of 2^-(d+1) up to 2^13, which times 10^d
// ends in exactly one half, and the floats beside it; the floats nearest to
// k + 0.5 in the last decimal; each power of ten and each value that rounds
// up to one; every float within 2^14 of the fields' edges (rounding to zero,
// the image's far side, the largest values); and random bit patterns.
TEST(FixedField, MatchesTheCLibrary) {
  const uint32_t specials[] = {0x00000000, 0x00000001, 0x007fffff, 0x00800000, 0x3f000000,
                               0x7f7fffff, 0x7f800000, 0x7f800001, 0x7fc00000, 0x7fffffff};
  std::mt19937_64 random(20261208);
  Comparison comparison;
  for (const int decimals : {2, 3}) {
    for (const uint32_t bits : specials) comparison.check_around(float_of(bits), 0, decimals);
    for (uint32_t odd = 1; odd < (1u << 13); odd += 2) {
      comparison.check_around(std::ldexp(static_cast<float>(odd), -(decimals + 1)), 1, decimals);
    }
    for (int k = 0; k < 4096; ++k) {
      comparison.check_around(static_cast<float>((k + 0.5) / std::pow(10.0, decimals)), 1,
                              decimals);
    }
    for (int power = -decimals - 2; power <= 7; ++power) {
      const double ten_to_power = std::pow(10.0, power);
      comparison.check_around(static_cast<float>(ten_to_power), 16, decimals);
      comparison.check_around(static_cast<float>(ten_to_power - 0.5 / std::pow(10.0, decimals)), 16,
                              decimals);
    }
    const double half_decimal = 0.5 / std::pow(10.0, decimals);
    for (const double edge : {half_decimal, 1 + half_decimal, 4096 - half_decimal,
                              std::pow(10.0, 8 - decimals) - half_decimal}) {
      comparison.check_around(static_cast<float>(edge), 1 << 14, decimals);
    }
    for (int i = 0; i < 300000; ++i) {
      comparison.check(float_of(static_cast<uint32_t>(random())), decimals);
    }
  }
}

}  // namespace
}  // namespace starmark
