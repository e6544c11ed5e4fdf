#include "line_editor.h"

#include <editline/readline.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "abnormal_end.h"

namespace starmark {

namespace {

void start_editor() {
  // A typed name may hold any character of the terminal's set. Only the
  // character type is taken from the locale: the numbers written to the
  // files keep their decimal point.
  std::setlocale(LC_CTYPE, "");
  // The signal handlers end the run; they give the terminal its modes back.
  rl_catch_signals = 0;
  rl_initialize();
}

}  // namespace

bool answers_typed_at_terminal() {
  static const bool typed = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
  return typed;
}

std::optional<std::string> read_typed_line() {
  static bool started = false;
  if (!started) {
    start_editor();
    started = true;
  }
  termios modes{};
  if (::tcgetattr(STDIN_FILENO, &modes) == 0) restore_terminal_modes_at_signal(STDIN_FILENO, modes);
  // The prompt is the program's own line, already written.
  char* const line = readline("");
  forget_terminal_modes();
  if (line == nullptr) return std::nullopt;
  // Up and Down bring back the earlier answers.
  if (*line != '\0') add_history(line);
  std::string typed(line);
  std::free(line);
  return typed;
}

}  // namespace starmark
