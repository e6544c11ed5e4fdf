// List-directed transfers: values separated by blanks, tabs, line feeds or
// commas, without a format.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "streams.h"

namespace starmark {

// Reads `count` reals. A null value (a comma where a value begins, or r*)
// leaves its variable as it was; a slash ends the read and leaves the rest as
// they were. After the last value the rest of its line is discarded unread.
// Fails with "invalid number", "exponent field" or "bad repetition count"
// ("incomprehensible list input"), "list in" for a failure of the file
// itself, or the end of the file.
Status read_list_reals(InputStream& input, float* values, size_t count);

// The items of a list-directed write.
using ListItem = std::variant<std::string_view, int32_t, float>;

// The lines of one list-directed write: a prompt, or the capacity line's
// eight numbers, which take at most 18 characters each.
struct ListText {
  char bytes[256];
  size_t size = 0;
  std::string_view view() const { return {bytes, size}; }
  // Appends `piece`, as much of it as fits.
  void append(std::string_view piece);
};

// Writes the lines of one list-directed write: every item has a leading
// blank, a real a second character for its sign, and a line ends before an
// item that would take it to 80 characters.
void write_list(const ListItem* items, size_t count, ListText* text);

}  // namespace starmark
