// A line read as one character value, the "(A)" of the program's formats:
// into a fixed number of characters (a header line), or whole (an answer).
// Every byte but the line feed is a character.
#pragma once

#include <cstddef>
#include <string_view>

#include "streams.h"

namespace starmark {

// The format of a line read or written as one character value.
inline constexpr std::string_view kLineFormat = "(A)";

// Fills all `size` characters of `value` from the next line: a shorter line
// is padded with blanks, the rest of a longer one is skipped. Fails with the
// end of the file when the file ends before the line has `size` characters.
Status read_fixed_line(InputStream& input, char* value, size_t size);

// A line read whole. Past kLongest bytes only a non-blank byte is kept, so
// that a longer text stays longer and a run of blanks at its end still counts
// as trailing; one byte more is room for the NUL that the system's calls need
// after a name.
struct Answer {
  static constexpr size_t kLongest = size_t{1} << 16;
  char text[kLongest + 2];
  size_t size = 0;
  std::string_view view() const { return {text, size}; }
};

// Reads the next line whole into `answer`, without its line feed. Fails with
// the end of the file when the file ends before a line feed.
Status read_whole_line(InputStream& input, Answer* answer);
// The same for a line typed at a terminal (line_editor.h), or for none (null)
// when the input has ended.
Status take_typed_line(const char* typed, Answer* answer);

}  // namespace starmark
