// Decimal numbers as read from text: at most 40 significant digits and a
// power of ten, converted to the nearest double and that double rounded to
// the nearest single-precision value (two roundings, as the files' other
// readers do).
#pragma once

#include <cstdint>

namespace starmark {

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

  char digits_[kMaxSignificantDigits] = {};
  int count_ = 0;
  int64_t exponent_ = 0;
  uint64_t mantissa_ = 0;
};

}  // namespace starmark
