// The one grammar of a number in this program's input, shared by the
// fixed-column fields of a star record and the values of the position log:
// an optional sign, digits with at most one decimal point, then an optional
// exponent (E, e, D or d with an optional sign, or a bare sign) with at least
// one digit. At most 40 significant digits count (DecimalNumber).
//
// The two readers differ only in their source of bytes: a field ignores
// blanks anywhere and ends with its columns; a position value ends at the
// first byte that cannot go on, blanks included. The scanner stops at that
// byte and leaves it in the source, and each reader decides what it means.
#pragma once

#include <cstdint>

#include "decimal.h"

namespace starmark {

inline bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
inline bool is_sign(int c) {
  return c == '+' || c == '-';
}
inline bool is_exponent_letter(int c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

struct ScannedNumber {
  DecimalNumber digits;
  bool sign_written = false;  // a sign was written, + or -
  bool negative = false;
  bool any_digit = false;  // the mantissa has a digit
  bool point = false;
  // The integer digits as a count, held once it passes kSaturation.
  uint64_t integer = 0;
  // The exponent as written, held once its magnitude passes kSaturation.
  int64_t exponent = 0;

  static constexpr int64_t kSaturation = int64_t{1} << 40;
};

enum class ExponentScan { kNone, kRead, kWithoutDigits };

// `Source` has `int peek()`, the next byte or a negative value at its end,
// and `get()`, which takes it. The steps are separate so that a reader can
// look at what stands between them (the position log's repeat star).
template <class Source>
class NumberScanner {
 public:
  explicit NumberScanner(Source& source) : source_(source) {}

  void sign(ScannedNumber* number) {
    const int c = source_.peek();
    if (!is_sign(c)) return;
    number->sign_written = true;
    number->negative = c == '-';
    source_.get();
  }

  void integer_digits(ScannedNumber* number) {
    for (int c = source_.peek(); is_digit(c); c = source_.peek()) {
      source_.get();
      number->digits.add_digit(c - '0', false);
      number->any_digit = true;
      if (number->integer < ScannedNumber::kSaturation) {
        number->integer = number->integer * 10 + static_cast<uint64_t>(c - '0');
      }
    }
  }

  // The decimal point and the digits after it.
  void fraction(ScannedNumber* number) {
    if (source_.peek() != '.') return;
    source_.get();
    number->point = true;
    for (int c = source_.peek(); is_digit(c); c = source_.peek()) {
      source_.get();
      number->digits.add_digit(c - '0', true);
      number->any_digit = true;
    }
  }

  // A bare sign right after the mantissa is the exponent's sign.
  ExponentScan exponent(ScannedNumber* number) {
    int c = source_.peek();
    if (!is_exponent_letter(c) && !is_sign(c)) return ExponentScan::kNone;
    source_.get();
    if (is_exponent_letter(c)) {
      c = source_.peek();
      if (is_sign(c)) source_.get();
    }
    const bool negative = c == '-';
    int64_t magnitude = 0;
    bool digits = false;
    for (c = source_.peek(); is_digit(c); c = source_.peek()) {
      source_.get();
      digits = true;
      if (magnitude < ScannedNumber::kSaturation) magnitude = magnitude * 10 + (c - '0');
    }
    if (!digits) return ExponentScan::kWithoutDigits;
    number->exponent = negative ? -magnitude : magnitude;
    return ExponentScan::kRead;
  }

  ExponentScan scan(ScannedNumber* number) {
    sign(number);
    integer_digits(number);
    fraction(number);
    return exponent(number);
  }

 private:
  Source& source_;
};

}  // namespace starmark
