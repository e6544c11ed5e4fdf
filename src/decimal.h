// Decimal numbers as read from text: at most 40 significant digits and a
// power of ten, converted to the nearest double and that double rounded to
// the nearest single-precision value (two roundings, as the files' other
// readers do).
#pragma once

#include <cstdint>

namespace starmark {

// The value of `mantissa` times ten to `power` when the mantissa is below
// 2^53 and the power within 22 of zero: both are exact doubles then, so one
// multiplication or division rounds correctly. False otherwise.
inline bool short_decimal_to_double(uint64_t mantissa, int64_t power, double* value) {
  static constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (mantissa > (uint64_t{1} << 53) || power < -22 || power > 22) return false;
  const double exact = static_cast<double>(mantissa);
  *value = power >= 0 ? exact * kExactPowersOfTen[power] : exact / kExactPowersOfTen[-power];
  return true;
}

class DecimalNumber {
 public:
  static constexpr int kMaxSignificantDigits = 40;

  // Adds the next digit (0-9); `after_point` tells whether it stands after
  // the decimal point. Leading zeros are not significant; digits beyond the
  // 40th still move the point.
  void add_digit(int digit, bool after_point) {
    if (count_ == 0 && digit == 0) {
      if (after_point) --exponent_;
      return;
    }
    if (count_ < kMaxSignificantDigits) {
      digits_[count_++] = static_cast<char>('0' + digit);
      if (count_ <= kFastDigits) mantissa_ = mantissa_ * 10 + static_cast<uint64_t>(digit);
      if (after_point) --exponent_;
    } else if (!after_point) {
      ++exponent_;
    }
  }

  // Every digit given so far is a zero (or there was none).
  bool is_zero() const { return count_ == 0; }

  // The value times ten to `power`, with the sign given.
  float to_float(bool negative, int64_t power) const;

 private:
  static constexpr int kFastDigits = 19;

  char digits_[kMaxSignificantDigits];
  int count_ = 0;
  int64_t exponent_ = 0;
  uint64_t mantissa_ = 0;
};

}  // namespace starmark
