#include "decimal.h"

#include <cstdio>
#include <cstdlib>

namespace starmark {

namespace {

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExactIntegerLimit = uint64_t{1} << 53;
// Far beyond the range of a double for 40 digits: the result is 0 or infinite.
constexpr int64_t kExponentClamp = 100000;

}  // namespace

float DecimalNumber::to_float(bool negative, int64_t power) const {
  if (count_ == 0) return 0.0f;
  int64_t exponent = exponent_ + power;
  double value;
  if (count_ <= kFastDigits && mantissa_ <= kExactIntegerLimit && exponent >= -22 &&
      exponent <= 22) {
    // Both operands are exact, so one multiplication or division rounds
    // correctly.
    const double mantissa = static_cast<double>(mantissa_);
    value = exponent >= 0 ? mantissa * kExactPowersOfTen[exponent]
                          : mantissa / kExactPowersOfTen[-exponent];
  } else {
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
