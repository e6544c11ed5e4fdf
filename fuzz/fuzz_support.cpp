#include "fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace starmark::fuzz {

void property_failed(const char* format, ...) {
  std::fputs("property failed: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::fputc('\n', stderr);
  std::abort();
}

std::string escaped(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}

uint8_t ByteSource::next_byte() {
  if (bytes_.empty()) return 0;
  const auto byte = static_cast<uint8_t>(bytes_[position_ % bytes_.size()]);
  ++position_;
  return byte;
}

uint32_t ByteSource::next_word() {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word = word << 8 | next_byte();
  return word;
}

float ByteSource::next_real() {
  constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
  const uint8_t selector = next_byte();
  const uint32_t word = next_word();
  if (selector % 2 == 0) {
    float bits;
    std::memcpy(&bits, &word, sizeof bits);
    return bits;
  }
  return static_cast<float>(static_cast<int32_t>(word)) / kPowersOfTen[selector / 2 % 8];
}

}  // namespace starmark::fuzz
