// The fixed-column real field writer in the star record's fields, F9.2 and
// F9.3, against literal fields and against the C library: "%#.*f" of the
// magnitude widened to double, a minus before a negative value whose digits
// are not all zeros, asterisks when the sign and text pass the field.
#include "fixed_field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "float_bits.h"

namespace starmark {
namespace {

std::string fixed_field(float value, int decimals) {
  std::string field(9, '\0');
  write_fixed_field(value, 9, decimals, field.data());
  return field;
}

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kLargest = std::numeric_limits<float>::max();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kMinusSNaN = float_of(0xff800001);  // a signaling not-a-number

TEST(FixedField, StarRecordFields) {
  const struct {
    float value;
    int decimals;
    const char* field;
  } cases[] = {
      {123.456f, 2, "   123.46"},       {-0.5f, 2, "    -0.50"},      {-0.004f, 2, "     0.00"},
      {-0.0050000004f, 2, "    -0.01"}, {0.005f, 2, "     0.00"},     {-0.0f, 2, "     0.00"},
      {0.0f, 3, "    0.000"},           {-99999.99f, 2, "-99999.99"}, {1999.9951f, 2, "  2000.00"},
      {-999.99951f, 3, "-1000.000"},    {999999.94f, 2, "999999.94"}, {999999.97f, 2, "*********"},
      {1234567.0f, 2, "*********"},     {-1.2345f, 3, "   -1.235"},   {-9999.999f, 3, "-9999.999"},
      {-10000.0f, 3, "*********"},      {99999.999f, 3, "*********"}, {-0.0004f, 3, "    0.000"},
      {-0.0005f, 3, "   -0.001"},       {0.125f, 2, "     0.12"},     {0.375f, 2, "     0.38"},
      {-0.125f, 2, "    -0.12"},        {0.0625f, 3, "    0.062"},    {0.1875f, 3, "    0.188"},
      {1.005f, 2, "     1.00"},         {2.675f, 2, "     2.67"},     {1e-45f, 3, "    0.000"},
      {kLargest, 2, "*********"},       {kInfinity, 2, "      inf"},  {-kInfinity, 3, "     -inf"},
      {kNaN, 2, "      nan"},           {-kNaN, 3, "      nan"},      {kMinusSNaN, 2, "      nan"}};
  for (const auto& c : cases) {
    EXPECT_EQ(fixed_field(c.value, c.decimals), c.field) << c.value << " with " << c.decimals;
  }
}

// About 1.8 million values of either sign: zeros, subnormals, the largest
// float, infinity and not-a-numbers; every odd multiple of 2^-(d+1) up to
// 2^13, which times 10^d ends in exactly one half, and the floats beside it;
// the floats nearest to k + 0.5 in the last decimal; each power of ten and
// each value that rounds up to one; every float within 2^14 of the fields'
// edges (rounding to zero, the image's far side, the largest values); and
// random bit patterns.
TEST(FixedField, MatchesTheCLibrary) {
  int differences = 0;  // the first few are reported
  // `value` and the `steps` floats on each side of it, of either sign.
  const auto check_around = [&](float value, uint32_t steps, int decimals) {
    const uint32_t magnitude = bits_of(std::fabs(value));
    for (uint32_t bits = magnitude - steps; bits <= magnitude + steps; ++bits) {
      for (const float signed_value : {float_of(bits), -float_of(bits)}) {
        char digits[400];  // the largest float has 39 digits before the point
        std::snprintf(digits, sizeof digits, "%#.*f", decimals, std::fabs(double{signed_value}));
        const bool minus = signed_value < 0 && std::string_view(digits).find_first_not_of("0.") !=
                                                   std::string_view::npos;
        std::string expected = (minus ? "-" : "") + std::string(digits);
        expected =
            expected.size() > 9 ? "*********" : std::string(9 - expected.size(), ' ') + expected;
        const std::string written = fixed_field(signed_value, decimals);
        if (written != expected && ++differences <= 10) {
          ADD_FAILURE() << "bits 0x" << std::hex << bits_of(signed_value) << std::dec << " ("
                        << signed_value << ") F9." << decimals << ": \"" << written
                        << "\", the C library \"" << expected << '"';
        }
      }
    }
  };
  std::mt19937_64 random(20261208);
  for (const int decimals : {2, 3}) {
    const double half_decimal = 0.5 / std::pow(10.0, decimals);
    for (const uint32_t bits : {0x00000000u, 0x00000001u, 0x007fffffu, 0x00800000u, 0x3f000000u,
                                0x7f7fffffu, 0x7f800000u, 0x7f800001u, 0x7fc00000u, 0x7fffffffu}) {
      check_around(float_of(bits), 0, decimals);
    }
    for (uint32_t odd = 1; odd < (1u << 13); odd += 2) {
      check_around(std::ldexp(static_cast<float>(odd), -(decimals + 1)), 1, decimals);
    }
    for (int k = 0; k < 4096; ++k) {
      check_around(static_cast<float>((k + 0.5) / std::pow(10.0, decimals)), 1, decimals);
    }
    for (int power = -decimals - 2; power <= 7; ++power) {
      check_around(static_cast<float>(std::pow(10.0, power)), 16, decimals);
      check_around(static_cast<float>(std::pow(10.0, power) - half_decimal), 16, decimals);
    }
    for (const double edge : {half_decimal, 1 + half_decimal, 4096 - half_decimal,
                              std::pow(10.0, 8 - decimals) - half_decimal}) {
      check_around(static_cast<float>(edge), 1 << 14, decimals);
    }
    for (int i = 0; i < 300000; ++i)
      check_around(float_of(static_cast<uint32_t>(random())), 0, decimals);
  }
}

}  // namespace
}  // namespace starmark
