// A line read as one character value, the "(A)" of the program's formats:
// into a fixed number of characters (a header line), or whole (an answer).
// Every byte but the line feed is a character.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "streams.h"

namespace starmark {

// The format of a line read or written as one character value.
inline constexpr std::string_view kLineFormat = "(A)";

// Fills all `size` characters of `value` from the next line: a shorter line
// is padded with blanks, the rest of a longer one is skipped. Fails with the
// end of the file when the file ends before the line has `size` characters.
Status read_fixed_line(InputStream& input, char* value, size_t size);

// Reads the next line whole into `text`, without its line feed. Fails with
// the end of the file when the file ends before a line feed.
Status read_whole_line(InputStream& input, std::string* text);
// The same for a line typed at a terminal (line_editor.h), or for none when
// the input has ended.
Status take_typed_line(const std::optional<std::string>& typed, std::string* text);

}  // namespace starmark
