// Line editing of the answers typed at a terminal: Tab completes a file name
// and the usual editing keys work. The editor's library is loaded only when
// standard input and standard output are both terminals, so that a run from
// a script or a pipe never maps it; where it cannot be loaded, the answers
// are read as any other input.
#pragma once

#include "line_fields.h"
#include "status.h"

namespace starmark {

// True when the answers are typed at a terminal and the editor is there. The
// first call starts the editor.
bool answers_edited();

// Lets the user type and edit one line after a prompt the caller has already
// written, and takes it as an answer, or the end of the file when the input
// ends (Ctrl-D on an empty line).
Status read_edited_answer(Answer* answer);

}  // namespace starmark
