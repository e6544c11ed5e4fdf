// Line editing of the answers typed at a terminal: Tab completes a file name
// and the usual editing keys work. When standard input or standard output is
// not a terminal, the answers are read as any other input and the editor is
// never started.
#pragma once

#include <optional>
#include <string>

namespace starmark {

// True when standard input and standard output are both terminals.
bool answers_typed_at_terminal();

// Lets the user type and edit one line after a prompt the caller has already
// written, and returns it without its line feed, or nothing when the input
// ends (Ctrl-D on an empty line). The first call starts the editor.
std::optional<std::string> read_typed_line();

}  // namespace starmark
