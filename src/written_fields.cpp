#include "written_fields.h"

#include <cstdint>
#include <cstring>

namespace starmark {

namespace {

constexpr uint64_t kEveryByte = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x80 * kEveryByte;

uint64_t word_at(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Eight digit values, one a byte, the first the most significant, as one
// number: pairs, then quadruples (each step one multiplication), then the two
// quadruples.
uint64_t eight_digits(uint64_t values) {
  const uint64_t pairs = (values * 2561 >> 8) & 0x00FF00FF00FF00FF;
  const uint64_t quadruples = pairs * 6553601 >> 16;
  return (quadruples & 0xFFFF) * 10000 + (quadruples >> 32);
}

// Eight characters of seven bits (a field; a real's without its point):
// blanks, an optional minus, then digits to the end, the bytes of `needed`
// among them. False for any other form. The caller tests the eighth bits
// afterwards, of all the characters gathered in `characters`.
__attribute__((always_inline)) inline bool written_integer(uint64_t word, uint64_t needed,
                                                           uint64_t* characters, int64_t* value) {
  *characters |= word;
  // Digits become their values, and only they stay below ten.
  const uint64_t values = word ^ '0' * kEveryByte;
  const uint64_t not_digits = (values + 0x76 * kEveryByte) & kHighBits;
  // All eight bits of each byte that is not a digit: in the written form the
  // bytes before the first digit, 2^(8k) - 1 for k of them.
  const uint64_t before_digits = (not_digits << 1) - (not_digits >> 7);
  if ((before_digits & ((before_digits + 1) | needed)) != 0) return false;
  // Those are blanks, but for a minus right before the digits.
  const uint64_t sign = (word ^ ' ' * kEveryByte) & before_digits;
  if (sign != 0 && sign != ((before_digits >> 8) + 1) * ('-' ^ ' ')) return false;
  const int64_t magnitude = static_cast<int64_t>(eight_digits(values & ~before_digits));
  *value = sign != 0 ? -magnitude : magnitude;
  return true;
}

// A real field of nine columns whose point stands after `point` of them,
// with 8 - point decimals, divided by `scale`, their power of ten. The
// integer and the power are exact doubles, so the division rounds correctly,
// and the sign is symmetric in both roundings: the value of the general
// reader. A zero with a minus is the integer 0 and reads as plus zero, as
// there.
__attribute__((always_inline)) inline bool written_real(const char* field, int point, double scale,
                                                        uint64_t* characters, float* value) {
  // The bytes before the point from a word at the field, the decimals from
  // a word one byte further.
  const uint64_t before_point = (uint64_t{1} << (8 * point)) - 1;
  const uint64_t after = word_at(field + 1);
  const uint64_t word = ((word_at(field) ^ after) & before_point) ^ after;
  int64_t digits;
  if (field[point] != '.' || !written_integer(word, ~before_point, characters, &digits)) {
    return false;
  }
  *value = static_cast<float>(static_cast<double>(digits) / scale);
  return true;
}

}  // namespace

bool parse_written_real(std::string_view field, int decimals, float* value) {
  static constexpr double kPowersOfTen[] = {1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__ || field.size() != 9 || decimals < 1 ||
      decimals > 7) {
    return false;
  }
  uint64_t characters = 0;
  float read;
  if (!written_real(field.data(), 8 - decimals, kPowersOfTen[decimals - 1], &characters, &read) ||
      (characters & kHighBits) != 0) {
    return false;
  }
  *value = read;
  return true;
}

bool read_written_record(const char* columns, StarRecord* record) {
  // The word's bytes are the characters in memory order only on a
  // little-endian machine.
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) return false;
  uint64_t characters = 0;
  int64_t n;
  StarRecord read;
  // The seven columns of n after a blank; its last must be a digit.
  if (!written_integer(word_at(columns) << 8 | ' ', uint64_t{0xFF} << 56, &characters, &n) ||
      !written_real(columns + 7, 6, 1e2, &characters, &read.x) ||
      !written_real(columns + 16, 6, 1e2, &characters, &read.y) ||
      !written_real(columns + 25, 5, 1e3, &characters, &read.amag) ||
      !written_real(columns + 34, 5, 1e3, &characters, &read.a) ||
      !written_real(columns + 43, 5, 1e3, &characters, &read.b) ||
      !written_real(columns + 52, 5, 1e3, &characters, &read.c) || (characters & kHighBits) != 0) {
    return false;
  }
  read.n = static_cast<int32_t>(n);
  *record = read;
  return true;
}

}  // namespace starmark
