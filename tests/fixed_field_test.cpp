// The fixed-column real field writer against the C library: "%#.*f" of the
// magnitude widened to double, a minus before a negative value whose digits
// are not all zeros, asterisks when the sign and text pass the field. About
// 5.4 million fields in all, most in the star record's widths, F9.2 and F9.3.
#include "fixed_field.h"

#include <gtest/gtest.h>

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
  void check(float value, int width, int decimals) {
    ++checked_;
    const std::string expected = c_library_field(value, width, decimals);
    const std::string written = fixed_field(value, width, decimals);
    if (written == expected) return;
    if (++differences_ <= 10) {
      ADD_FAILURE() << "bits 0x" << std::hex << bits_of(value) << std::dec << " (" << value << ") F"
                    << width << '.' << decimals << ": \"" << written << "\", the C library \""
                    << expected << '"';
    }
  }
  void check_both_signs(float value, int width, int decimals) {
    check(value, width, decimals);
    check(-value, width, decimals);
  }
  // `value` and the `steps` floats on each side of it.
  void check_around(float value, int steps, int width, int decimals) {
    const uint32_t magnitude = bits_of(std::fabs(value));
    for (int step = -steps; step <= steps; ++step) {
      const int64_t bits = static_cast<int64_t>(magnitude) + step;
      if (bits < 0 || bits > 0x7f800000) continue;
      check_both_signs(float_of(static_cast<uint32_t>(bits)), width, decimals);
    }
  }
  ~Comparison() { std::printf("%lld fields compared\n", static_cast<long long>(checked_)); }

 private:
  int64_t checked_ = 0;
  int64_t differences_ = 0;
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

// Fields narrower than the star record's: whether the sign, the words of the
// specials and a carry into one more digit fit.
TEST(FixedField, NarrowFields) {
  const struct {
    float value;
    int width;
    int decimals;
    const char* field;
  } cases[] = {{-kInfinity, 3, 0, "***"},
               {-kInfinity, 4, 1, "-inf"},
               {kInfinity, 3, 2, "inf"},
               {0.0f, 1, 0, "*"},
               {2.5f, 2, 0, "2."},
               {3.5f, 2, 0, "4."},
               {-0.4f, 2, 0, "0."},
               {-0.6f, 2, 0, "**"},
               {-0.6f, 3, 0, "-1."},
               {0.5f, 3, 1, "0.5"},
               {0.05f, 3, 1, "0.1"},
               {1.0f, 3, 2, "***"},
               {9999.9941f, 7, 2, "9999.99"},
               {9999.9951f, 7, 2, "*******"}};
  for (const auto& c : cases) {
    EXPECT_EQ(fixed_field(c.value, c.width, c.decimals), c.field)
        << c.value << " F" << c.width << '.' << c.decimals;
  }
}

// Zeros, subnormals, the largest float, infinities and not-a-numbers of
// either sign and any payload, in every field the writer takes.
TEST(FixedField, SpecialValuesInEveryField) {
  const uint32_t specials[] = {0x00000000, 0x00000001, 0x00000002, 0x007fffff,
                               0x00800000, 0x3f000000, 0x7f7fffff, 0x7f800000,
                               0x7f800001, 0x7fc00000, 0x7fffffff, 0x7fa00000};
  Comparison comparison;
  for (int width = 1; width <= kWidestFixedField; ++width) {
    for (int decimals = 0; decimals <= kMostFixedDecimals; ++decimals) {
      for (const uint32_t bits : specials) {
        comparison.check_both_signs(float_of(bits), width, decimals);
      }
    }
  }
}

// A value whose times 10^d ends in exactly one half: an odd multiple of
// 2^-(d+1). Those from the smallest up and those with the most digits, with
// the floats on either side of each, in the star record's width and the
// widest.
TEST(FixedField, ExactHalvesAndTheirNeighbours) {
  Comparison comparison;
  for (int decimals = 0; decimals <= kMostFixedDecimals; ++decimals) {
    for (uint32_t odd = 1; odd < (1u << 13); odd += 2) {
      for (const uint32_t multiple : {odd, (1u << 24) - odd}) {
        const float half = std::ldexp(static_cast<float>(multiple), -(decimals + 1));
        for (const int width : {9, kWidestFixedField}) {
          comparison.check_around(half, 1, width, decimals);
        }
      }
    }
  }
}

// The float nearest to k + 0.5 in the last decimal, not a half in binary:
// it rounds by which side of the half it lies.
TEST(FixedField, NearHalves) {
  Comparison comparison;
  for (int decimals = 0; decimals <= kMostFixedDecimals; ++decimals) {
    for (int k = 0; k < 4096; ++k) {
      const float near_half = static_cast<float>((k + 0.5) / std::pow(10.0, decimals));
      for (const int width : {9, kWidestFixedField}) {
        comparison.check_around(near_half, 1, width, decimals);
      }
    }
  }
}

// At each power of ten and at each value that rounds up to one, in every
// field: one more digit may pass the field, and a value just below the
// smallest decimal's half rounds to zero and loses its minus.
TEST(FixedField, PowersOfTenInEveryField) {
  Comparison comparison;
  for (int width = 1; width <= kWidestFixedField; ++width) {
    for (int decimals = 0; decimals <= kMostFixedDecimals; ++decimals) {
      for (int power = -kMostFixedDecimals - 2; power <= kWidestFixedField; ++power) {
        const double ten_to_power = std::pow(10.0, power);
        const double half_decimal = 0.5 / std::pow(10.0, decimals);
        comparison.check_around(static_cast<float>(ten_to_power), 16, width, decimals);
        comparison.check_around(static_cast<float>(ten_to_power - half_decimal), 16, width,
                                decimals);
      }
    }
  }
}

// Every float within 2^15 of the edges of the star record's fields: rounding
// to zero, the image's far side (4096 pixels), and the largest values.
TEST(FixedField, EveryFloatNearTheStarRecordEdges) {
  const struct {
    float centre;
    int decimals;
  } ranges[] = {{0.005f, 2},  {1.005f, 2},  {4095.995f, 2},  {99999.995f, 2}, {999999.995f, 2},
                {0.0005f, 3}, {1.0005f, 3}, {9999.9995f, 3}, {99999.9995f, 3}};
  Comparison comparison;
  for (const auto& range : ranges) {
    comparison.check_around(range.centre, 1 << 15, 9, range.decimals);
  }
}

// Random bit patterns: any float in the star record's fields, then floats
// of the magnitudes that fit a field, and any float in any field.
TEST(FixedField, RandomFloats) {
  std::mt19937_64 random(20261208);
  Comparison comparison;
  for (int i = 0; i < 500000; ++i) {
    comparison.check(float_of(static_cast<uint32_t>(random())), 9, 2 + i % 2);
  }
  for (int i = 0; i < 1000000; ++i) {
    // Biased exponents 90 to 189: 2^-37 to 2^62.
    const uint32_t bits = static_cast<uint32_t>(random());
    const uint32_t exponent = 90 + static_cast<uint32_t>(random() % 100);
    comparison.check(float_of((bits & 0x807fffff) | (exponent << 23)), 9, 2 + i % 2);
  }
  for (int i = 0; i < 500000; ++i) {
    const int width = 1 + static_cast<int>(random() % kWidestFixedField);
    const int decimals = static_cast<int>(random() % (kMostFixedDecimals + 1));
    comparison.check(float_of(static_cast<uint32_t>(random())), width, decimals);
  }
}

}  // namespace
}  // namespace starmark
