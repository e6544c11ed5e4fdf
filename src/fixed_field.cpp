#include "fixed_field.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

namespace starmark {
namespace {

// 10^0 to 10^18, every power of ten below 2^64.
constexpr auto kPowersOfTen = [] {
  std::array<uint64_t, 19> powers{};
  uint64_t power = 1;
  for (uint64_t& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

// Larger than every scaled value that a field of kWidestFixedField columns
// holds, which is below 10^18.
constexpr uint64_t kBeyondAnyField = UINT64_MAX;

// The magnitude of the finite float with these bits, times 10^decimals,
// rounded to an integer, an exact half to even; kBeyondAnyField when that
// passes 64 bits.
uint64_t scaled_magnitude(uint32_t biased_exponent, uint32_t fraction, int decimals) {
  // A subnormal, like every float below 2^-40, rounds to zero in any field
  // (the shift below), whatever its implicit bit.
  const uint64_t significand = fraction | (1u << 23);
  const int exponent = static_cast<int>(biased_exponent) - 150;
  const uint64_t product = significand * kPowersOfTen[decimals];  // below 2^54
  if (exponent >= 0) {
    if (exponent >= 64 || product > (UINT64_MAX >> exponent)) return kBeyondAnyField;
    return product << exponent;
  }
  const int shift = -exponent;
  // Below 2^54, the product is less than half of 2^64 or more.
  if (shift >= 64) return 0;
  const uint64_t whole = product >> shift;
  const uint64_t shifted_out = product & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  const bool round_up = shifted_out > half || (shifted_out == half && (whole & 1) != 0);
  return whole + (round_up ? 1 : 0);
}

void right_justify(std::string_view text, int width, char* field) {
  const size_t columns = static_cast<size_t>(width);
  if (text.size() > columns) {
    std::memset(field, '*', columns);
    return;
  }
  std::memset(field, ' ', columns - text.size());
  std::memcpy(field + columns - text.size(), text.data(), text.size());
}

}  // namespace

void write_integer_field(int32_t value, int width, char* field) {
  char digits[16];
  right_justify(
      {digits, static_cast<size_t>(std::to_chars(digits, std::end(digits), value).ptr - digits)},
      width, field);
}

void write_fixed_field(float value, int width, int decimals, char* field) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 31) != 0;
  const uint32_t biased_exponent = (bits >> 23) & 0xff;
  const uint32_t fraction = bits & 0x7fffff;
  if (biased_exponent == 0xff) {
    // The C library's words; a not-a-number's sign is not written.
    right_justify(fraction != 0 ? "nan" : negative ? "-inf" : "inf", width, field);
    return;
  }
  const uint64_t scaled = scaled_magnitude(biased_exponent, fraction, decimals);
  const bool minus = negative && scaled != 0;
  // The text: the minus, the whole part (at least "0"), the point, the
  // decimals.
  const int sign_and_point = minus ? 2 : 1;
  if (sign_and_point + 1 + decimals > width || scaled >= kPowersOfTen[width - sign_and_point]) {
    std::memset(field, '*', static_cast<size_t>(width));
    return;
  }
  char* cursor = field + width;
  uint64_t rest = scaled;
  for (int i = 0; i < decimals; ++i) {
    *--cursor = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  *--cursor = '.';
  do {
    *--cursor = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (minus) *--cursor = '-';
  std::memset(field, ' ', static_cast<size_t>(cursor - field));
}

}  // namespace starmark
