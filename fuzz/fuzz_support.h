// What the fuzz targets share: reporting a broken property.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

}  // namespace starmark::fuzz
