#include "decimal.h"

#include <cstdio>
#include <cstdlib>

namespace starmark {

namespace {

// Far beyond the range of a double for 40 digits: the result is 0 or infinite.
constexpr int64_t kExponentClamp = 100000;

}  // namespace

float DecimalNumber::to_float(bool negative, int64_t power) const {
  if (count_ == 0) return 0.0f;
  int64_t exponent = exponent_ + power;
  double value;
  if (count_ > kFastDigits || !short_decimal_to_double(mantissa_, exponent, &value)) {
    if (exponent > kExponentClamp) exponent = kExponentClamp;
    if (exponent < -kExponentClamp) exponent = -kExponentClamp;
    char text[kMaxSignificantDigits + 16];
    std::snprintf(text, sizeof text, "%.*se%lld", count_, digits_,
                  static_cast<long long>(exponent));
    value = std::strtod(text, nullptr);
  }
  const float rounded = static_cast<float>(value);
  return negative ? -rounded : rounded;
}

}  // namespace starmark
