// Star lists hold their reals as they were written, and the reader takes
// such fields by a shortcut. Every field the shortcut takes must read as the
// same text does by the general way, and as the C library converts it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "float_bits.h"
#include "format.h"

namespace starmark {
namespace {

// A field as the record writer makes it, or one near it: another sign, a
// blank or a digit moved, a character changed.
std::string random_field(std::mt19937_64& random, int width, int decimals) {
  char text[64];
  const double magnitude = std::ldexp(static_cast<double>(random() % 1000000), -(random() % 24));
  const double value = random() % 3 == 0 ? -magnitude : magnitude;
  std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  std::string field = text;
  if (field.size() > static_cast<size_t>(width)) field = field.substr(field.size() - width);
  switch (random() % 6) {
    case 0: {
      const char replacement = " 0123456789.+-,Ee\t:/\x80"[random() % 21];
      field[random() % field.size()] = replacement;
      break;
    }
    case 1:
      field.erase(0, 1);
      break;
    default:
      break;
  }
  return field;
}

// The same text with one blank moved from its front to its end: blanks
// inside a field are ignored, so it means the same, but it is no longer in
// the written form.
std::string moved_blank(const std::string& field) {
  if (field.empty() || field[0] != ' ') return field;
  return field.substr(1) + " ";
}

TEST(WrittenFields, ReadAsTheGeneralWayReadsThem) {
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) {
    GTEST_SKIP() << "the written-field shortcut is off on big-endian machines: only the general "
                    "reader runs";
  }
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 300000; ++i) {
    const int decimals = 2 + static_cast<int>(random() % 2);
    const std::string field = random_field(random, 9, decimals);
    float shortcut = -1.0f;
    float general = -2.0f;
    const Status read = read_real_field(field, decimals, &shortcut);
    const Status reference = read_real_field(moved_blank(field), decimals, &general);
    ASSERT_EQ(read.message(), reference.message()) << '"' << field << '"';
    if (!read.ok()) continue;
    ASSERT_EQ(bits_of(shortcut), bits_of(general)) << '"' << field << '"';
    if (field.find_first_of(",Ee+\t") != std::string::npos) continue;
    // A plain field: the C library's conversion, once more rounded.
    std::string digits;
    for (char c : field) {
      if (c != ' ') digits.push_back(c);
    }
    const bool zero = digits.find_first_of("123456789") == std::string::npos;
    const float expected = zero ? 0.0f : static_cast<float>(std::strtod(digits.c_str(), nullptr));
    // A sign after the digits starts an exponent; those are left to the
    // comparison above.
    const size_t minus = digits.rfind('-');
    if (digits.find('.') != std::string::npos && (minus == std::string::npos || minus == 0)) {
      ASSERT_EQ(bits_of(shortcut), bits_of(expected)) << '"' << field << '"';
    }
  }
}

}  // namespace
}  // namespace starmark
