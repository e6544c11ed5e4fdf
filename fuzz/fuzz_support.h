// What the fuzz targets share: reporting a broken property, and turning the
// fuzzer's bytes into values to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace starmark::fuzz {

// Reports a broken property, printf-style, and aborts: libFuzzer then keeps
// the input as a crash with the stack of the check.
[[noreturn]] void property_failed(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Bytes shown with the control characters, the backslash and every byte from
// 127 up escaped, so that a report shows exactly what was read.
std::string escaped(std::string_view bytes);

// The fuzzer's bytes read round and round, so that any input, even an empty
// one, gives as many values as a target asks for.
class ByteSource {
 public:
  explicit ByteSource(std::string_view bytes) : bytes_(bytes) {}

  uint8_t next_byte();
  uint32_t next_word();
  int32_t next_integer() { return static_cast<int32_t>(next_word()); }
  // A real from five bytes: either a raw bit pattern (infinities, NaNs,
  // subnormals, minus zero) or a 32-bit integer divided by a power of ten,
  // which lands near the rounding boundaries of the fixed-point fields.
  float next_real();

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

}  // namespace starmark::fuzz
