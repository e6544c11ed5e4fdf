// What the text of a number denotes, worked out apart from the readers under
// test: the text is split by its grammar, rebuilt as plain decimal digits
// and a power of ten, converted with strtod and rounded to single precision.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace starmark::fuzz {

// [sign] digits [. digits] [exponent]; the exponent is one of the letters E,
// e, D or d with an optional sign, or a bare sign, then at least one digit.
struct NumberText {
  bool negative = false;
  std::string integer_digits;
  bool point = false;
  std::string fraction_digits;
  bool exponent_negative = false;
  std::string exponent_digits;  // empty when there is no exponent

  bool has_digits() const { return !integer_digits.empty() || !fraction_digits.empty(); }
  bool has_nonzero_digit() const;
  // The digits of the mantissa from the first nonzero one on.
  size_t significant_digits() const;
  // The exponent's value, held at 10^15 in magnitude, far beyond any power
  // of ten that a single-precision value can reach.
  int64_t exponent() const;
};

// Splits `text` by the grammar above; nullopt when it does not fit. Blanks
// are not part of the grammar.
std::optional<NumberText> split_number(std::string_view text);

// The nearest single-precision value to the number times ten to `scale`.
float nearest_float(const NumberText& number, int64_t scale);

std::string without_blanks(std::string_view field);

// The value of a fixed-point field of `decimals` decimals: blanks ignored,
// the last `decimals` digits the fraction when there is no decimal point, +0.0
// when no digit is nonzero. nullopt when the text is not a number.
std::optional<float> real_field_value(std::string_view field, int decimals);

// The value of an integer field: blanks ignored, [sign] digits. The value is
// held at 10^18 in magnitude, so it is exact for up to 18 digits.
struct IntegerText {
  int64_t value = 0;
  size_t significant_digits = 0;
};
std::optional<IntegerText> integer_field_value(std::string_view field);

}  // namespace starmark::fuzz
