// What the fuzz targets share: reporting a broken property.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

}  // namespace starmark::fuzz
