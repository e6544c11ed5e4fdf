// A real in a fixed-column field, Fw.d: right-justified, a minus before a
// negative value, the point always written, exactly `decimals` decimals; a
// value that rounds to zero has no minus; a value the field cannot hold
// fills it with asterisks; infinity and not-a-number are "inf" (after a
// minus when negative) and "nan" (never signed), right-justified. These are
// the bytes of the C library's "%#.*f" applied to the magnitude widened to
// double, which rounds the exact value, an exact half to the even digit (in
// the default rounding mode, which this program never changes).
//
// Here the digits come from exact integer arithmetic instead: a float is
// m * 2^e with m below 2^24; m * 10^d is below 2^54 for d <= 9, so the value
// times 10^d is that product shifted left by e, or shifted right by -e and
// rounded by the bits shifted out (more than half up, an exact half to
// even). Every value a field of at most 19 columns can hold takes this path;
// a product that would pass 64 bits is asterisks at once, so no value needs
// wider arithmetic or the C library.
//
// Writing the six reals of 200 star records, "(2F9.2,4F9.3)" (callgrind,
// bench/field_writing.cpp): 2,912,371 instructions by the C library's
// formatting, as the record writer wrote them before, 175,550 here.
#pragma once

#include <cstdint>

namespace starmark {

// The widest field and the most decimals that the arithmetic above covers.
inline constexpr int kWidestFixedField = 19;
inline constexpr int kMostFixedDecimals = 9;

// Writes exactly `width` bytes at `field`, no terminating null;
// 1 <= width <= kWidestFixedField and 0 <= decimals <= kMostFixedDecimals.
void write_fixed_field(float value, int width, int decimals, char* field);

// An integer in a fixed-column field, Iw: its digits right-justified, after a
// minus when negative; asterisks when they do not fit. `width` bytes, as above.
void write_integer_field(int32_t value, int width, char* field);

}  // namespace starmark
