// What the fuzz targets share: reporting a broken property, and turning the
// fuzzer's bytes into values to write.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace starmark::fuzz {

// Reports a broken property, printf-style, and aborts: libFuzzer then keeps
// the input as a crash with the stack of the check.
[[noreturn, gnu::format(printf, 1, 2)]] inline void property_failed(const char* format, ...) {
  std::fputs("property failed: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::fputc('\n', stderr);
  std::abort();
}

// Bytes with the backslash and every byte outside printable ASCII escaped,
// so that a report shows exactly what was read.
inline std::string escaped(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
    text += c >= ' ' && c < 0x7f && c != '\\' ? std::string(1, c) : hex;
  }
  return text;
}

// The fuzzer's bytes read round and round, so that any input, even an empty
// one, gives as many values as a target asks for.
class ByteSource {
 public:
  explicit ByteSource(std::string_view bytes) : bytes_(bytes) {}

  uint8_t next_byte() { return bytes_.empty() ? 0 : bytes_[position_++ % bytes_.size()]; }
  int32_t next_integer() {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = word << 8 | next_byte();
    return static_cast<int32_t>(word);
  }
  // A real from five bytes: either a raw bit pattern (infinities, NaNs,
  // subnormals, minus zero) or a 32-bit integer divided by a power of ten,
  // which lands near the rounding boundaries of the fixed-point fields.
  float next_real() {
    constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
    const uint8_t selector = next_byte();
    const int32_t word = next_integer();
    float bits;
    std::memcpy(&bits, &word, sizeof bits);
    return selector % 2 == 0 ? bits : static_cast<float>(word) / kPowersOfTen[selector / 2 % 8];
  }

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

}  // namespace starmark::fuzz
