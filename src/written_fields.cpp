#include "written_fields.h"

#include <cstdint>
#include <cstring>

#include "decimal.h"

namespace starmark {

namespace {

constexpr uint64_t kEveryByte = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x80 * kEveryByte;

// Eight ASCII digits as their value: pairs, then quadruples, then all eight,
// each step one multiplication.
uint64_t eight_digits(uint64_t word) {
  word = (word & 0x0F0F0F0F0F0F0F0F) * 2561 >> 8;
  word = (word & 0x00FF00FF00FF00FF) * 6553601 >> 16;
  return (word & 0x0000FFFF0000FFFF) * 42949672960001 >> 32;
}

// Eight characters that are blanks, an optional sign, then only digits, at
// least `least_digits` of them: the digits' value and the sign. False for
// anything else.
__attribute__((always_inline)) inline bool written_digits(uint64_t word, int least_digits,
                                                          uint64_t* magnitude, bool* negative) {
  if ((word & kHighBits) != 0) return false;
  // With seven-bit bytes none of these sums carries into the next byte.
  const uint64_t digit = (word + 0x50 * kEveryByte) & ~(word + 0x46 * kEveryByte) & kHighBits;
  const uint64_t blank = ~((word ^ (' ' * kEveryByte)) + 0x7F * kEveryByte) & kHighBits;
  if (digit == 0) return false;
  const int first_digit = __builtin_ctzll(digit) >> 3;
  if (8 - first_digit < least_digits) return false;
  const uint64_t before_digits = (uint64_t{1} << (8 * first_digit)) - 1;
  if (((digit | before_digits) & kHighBits) != kHighBits) return false;
  const uint64_t sign = first_digit > 0 ? (word >> (8 * (first_digit - 1))) & 0xFF : 0;
  const bool signed_field = sign == '-' || sign == '+';
  const uint64_t blanks = (signed_field ? before_digits >> 8 : before_digits) & kHighBits;
  if ((blank & blanks) != blanks) return false;
  *magnitude = eight_digits((word & ~before_digits) | ('0' * kEveryByte & before_digits));
  *negative = sign == '-';
  return true;
}

}  // namespace

bool parse_written_real(std::string_view field, int decimals, float* value) {
  // The word's bytes are the characters in memory order only on a
  // little-endian machine.
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) return false;
  // The last eight characters of a field of eight or nine; the ninth, in
  // front, must be a blank.
  const size_t size = field.size();
  if (size < 8 || size > 9 || (size == 9 && field[0] != ' ') || decimals < 1 || decimals > 6) {
    return false;
  }
  uint64_t word;
  std::memcpy(&word, field.data() + size - 8, sizeof word);
  const int point = 7 - decimals;
  if (((word >> (8 * point)) & 0xFF) != '.') return false;
  // Without the point: the bytes before it move up one, a blank comes first.
  const uint64_t to_point = (uint64_t{1} << (8 * point + 8)) - 1;
  word = (word & ~to_point) | ((word << 8) & to_point) | ' ';
  uint64_t mantissa;
  bool negative;
  // Every decimal must be a digit: a blank among them is ignored, and then
  // the point does not stand where it seems to.
  if (!written_digits(word, decimals, &mantissa, &negative)) return false;
  double exact = 0.0;
  if (mantissa != 0 && !short_decimal_to_double(mantissa, -decimals, &exact)) return false;
  const float rounded = static_cast<float>(exact);
  // Only zeros read as plus zero, whatever the sign.
  *value = negative && mantissa != 0 ? -rounded : rounded;
  return true;
}

}  // namespace starmark
