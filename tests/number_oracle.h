// What the text of a number denotes, worked out apart from the readers under
// test: the text is split by the number grammar, its first 40 significant
// digits (the readers use no more) are rebuilt as plain decimal digits and a
// power of ten, converted with strtod and rounded to single precision.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace starmark::oracle {

// [sign] digits [. digits] [exponent]; the exponent is one of the letters E,
// e, D or d with an optional sign, or a bare sign, then at least one digit.
struct Number {
  bool negative = false;
  std::string digits;  // the mantissa's, without the point
  bool point = false;
  int64_t fraction_digits = 0;
  int64_t exponent = 0;  // held near 10^15, beyond any float's reach

  // The value; without a point the last `implied_decimals` digits are the
  // fraction. +0.0 when no digit is nonzero.
  float value(int implied_decimals = 0) const;
};

// Splits `text` by the grammar above; nullopt when it does not fit.
std::optional<Number> split_number(std::string_view text);

// A fixed-column field: blanks anywhere are ignored. nullopt when the text is
// not a number (a real field) or not [sign] digits (an integer field, of at
// most 18 digits).
std::optional<float> real_field_value(std::string_view field, int decimals);
std::optional<int64_t> integer_field_value(std::string_view field);

}  // namespace starmark::oracle
