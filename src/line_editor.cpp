#include "line_editor.h"

#include <dlfcn.h>
#include <editline/readline.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "abnormal_end.h"

namespace starmark {

namespace {

enum class EditorState { kUntried, kStarted, kAbsent };
EditorState g_state = EditorState::kUntried;
decltype(&::readline) g_readline = nullptr;
decltype(&::add_history) g_add_history = nullptr;

template <typename Pointer>
Pointer symbol(void* library, const char* name) {
  return reinterpret_cast<Pointer>(::dlsym(library, name));
}

bool start_editor() {
  void* const library = ::dlopen("libedit.so.2", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  const auto initialize = symbol<decltype(&::rl_initialize)>(library, "rl_initialize");
  int* const catch_signals = symbol<int*>(library, "rl_catch_signals");
  g_readline = symbol<decltype(&::readline)>(library, "readline");
  g_add_history = symbol<decltype(&::add_history)>(library, "add_history");
  if (initialize == nullptr || catch_signals == nullptr || g_readline == nullptr ||
      g_add_history == nullptr) {
    return false;
  }
  // A typed name may hold any character of the terminal's set. Only the
  // character type is taken from the locale: the numbers written to the
  // files keep their decimal point.
  std::setlocale(LC_CTYPE, "");
  // The signal handlers end the run; they give the terminal its modes back.
  *catch_signals = 0;
  initialize();
  return true;
}

}  // namespace

bool answers_edited() {
  if (g_state == EditorState::kUntried) {
    const bool typed = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
    g_state = typed && start_editor() ? EditorState::kStarted : EditorState::kAbsent;
  }
  return g_state == EditorState::kStarted;
}

Status read_edited_answer(Answer* answer) {
  termios modes{};
  if (::tcgetattr(STDIN_FILENO, &modes) == 0) restore_terminal_modes_at_signal(STDIN_FILENO, modes);
  // The prompt is the program's own line, already written.
  char* const line = g_readline("");
  forget_terminal_modes();
  // Up and Down bring back the earlier answers.
  if (line != nullptr && *line != '\0') g_add_history(line);
  const Status status = take_typed_line(line, answer);
  std::free(line);
  return status;
}

}  // namespace starmark
