// The bits of a single-precision value, so that tests tell -0.0 from 0.0 and
// compare not-a-number values exactly, and the value of given bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace starmark {

inline uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline float float_of(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace starmark
