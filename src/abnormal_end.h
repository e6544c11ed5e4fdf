// The two ways a run ends abnormally: a failure of a statement, told by the
// fatal report on standard error, and one of the six handled signals. Either
// way every unit is closed first, so that the PSF star list keeps what the
// run wrote and is cut to it.
#pragma once

#include <termios.h>

#include <csignal>

#include "status.h"

namespace starmark {

// Installs the handlers of the six signals. Called once, at the start.
void install_signal_handlers();

// While the run writes a block out or closes its units, the handled signals
// wait, so that no block is written twice and no closing is left half done.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};

// The modes a handled signal gives a terminal back before it ends the run. A
// line editor changes the modes while a line is typed; the handlers end the
// process, so it could not put them back itself and fills this slot instead.
void restore_terminal_modes_at_signal(int fd, const termios& modes);
// After editing: the modes are the terminal's own again.
void forget_terminal_modes();

// Writes the fatal report of `status` for the current statement to
// standard error: its message, then the apparent state of the unit.
void report_failure(const Status& status);

// Reports a failure of the current statement, closes all units and ends the
// process abnormally.
[[noreturn]] void fatal(const Status& status);

// Ends the process by SIGABRT, whatever handler the run had for it.
[[noreturn]] void abnormal_end();

}  // namespace starmark
