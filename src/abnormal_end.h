// The two ways a run ends abnormally: a failure of a statement, told by the
// fatal report on standard error, and one of the six handled signals. Either
// way the caller has every unit closed first, so that the PSF star list keeps
// what the run wrote.
#pragma once

#include <termios.h>

#include <string_view>

#include "status.h"

namespace starmark {

// Installs the handlers of the six signals. Each writes its message, calls
// `close_units` (which may use system calls alone) and ends the run. Called
// once, at the start.
void install_signal_handlers(void (*close_units)() noexcept);

// What the fatal report tells of the statement in progress (or the last one).
struct StatementState {
  int unit;
  std::string_view format;
  bool format_current;  // the report shows the format
  bool reading;
};

// The modes a handled signal gives a terminal back before it ends the run. A
// line editor changes the modes while a line is typed; the handlers end the
// process, so it could not put them back itself and fills this slot instead.
void restore_terminal_modes_at_signal(int fd, const termios& modes);
// After editing: the modes are the terminal's own again.
void forget_terminal_modes();

// Writes the fatal report of `status` to standard error: its message, then
// the apparent state of the unit, named `unit_name` or, when null, unnamed.
void report_failure(const Status& status, const StatementState& statement,
                    const std::string_view* unit_name);

// Ends the process by SIGABRT, whatever handler the run had for it, and
// without a core file: the report has said what went wrong.
[[noreturn]] void abnormal_end();

}  // namespace starmark
