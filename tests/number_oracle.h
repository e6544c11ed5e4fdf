// What the text of a number denotes, worked out apart from the readers under
// test: the text is split by the number grammar, its first 40 significant
// digits (the readers use no more) are rebuilt as plain decimal digits and a
// power of ten, converted with strtod and rounded to single precision.
#pragma once

#include <optional>
#include <string_view>

namespace starmark::oracle {

// The value of [sign] digits [. digits] [exponent], where the exponent is one
// of the letters E, e, D or d with an optional sign, or a bare sign, then at
// least one digit; nullopt when `text` does not fit. Without a point the last
// `implied_decimals` digits are the fraction; +0.0 when no digit is nonzero.
std::optional<float> number_value(std::string_view text, int implied_decimals = 0);

// A fixed-column field: blanks anywhere are ignored. nullopt when the text is
// not a number (a real field) or not [sign] digits (an integer field, of at
// most 18 digits, as a float: n, which seven columns keep exact).
std::optional<float> real_field_value(std::string_view field, int decimals);
std::optional<float> integer_field_value(std::string_view field);

}  // namespace starmark::oracle
