#include "written_fields.h"

#include <cstddef>
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

// n is read as a word with a blank before it, each real as two words of its
// nine columns.
static_assert(kRecordFields[0].width == 7 && [] {
  for (size_t i = 1; i < kRecordFieldCount; ++i) {
    if (kRecordFields[i].width != 9) return false;
  }
  return true;
}());

bool read_written_words(const char* columns, StarRecord* record) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
  // The word's bytes are the characters in memory order only on a
  // little-endian machine.
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) return false;
  uint64_t characters = 0;
  int64_t n;
  StarRecord read;
  // The seven columns of n after a blank; its last must be a digit.
  if (!written_integer(word_at(columns) << 8 | ' ', uint64_t{0xFF} << 56, &characters, &n)) {
    return false;
  }
  const char* field = columns + kRecordFields[0].width;
  const RecordField* layout = kRecordFields + 1;
  // Unrolled, every field's columns and decimals are constants.
#pragma GCC unroll 8
  for (float StarRecord::*real : kRealFields) {
    const int decimals = layout->decimals;
    if (!written_real(field, 8 - decimals, kPowersOfTen[decimals], &characters, &(read.*real))) {
      return false;
    }
    field += (layout++)->width;
  }
  if ((characters & kHighBits) != 0) return false;
  read.n = static_cast<int32_t>(n);
  *record = read;
  return true;
}

bool read_written_record(const char* columns, StarRecord* record) {
  // The vectors leave a full-width real to the words.
  if constexpr (kWrittenVector) {
    if (read_written_vector(columns, record)) return true;
  }
  return read_written_words(columns, record);
}

}  // namespace starmark
