#include "abnormal_end.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "streams.h"
#include "units.h"

namespace starmark {

namespace {

// Each handled signal ends the run with its message on standard error: an
// interrupt or a kill with exit status 1, the others abnormally.
struct HandledSignal {
  int number;
  const char* message;
  bool abnormal;
};
constexpr HandledSignal kHandledSignals[] = {
    {SIGFPE, "Floating Exception", true}, {SIGABRT, "IOT Trap", true},
    {SIGTRAP, "Trace trap", true},        {SIGQUIT, "Quit signal", true},
    {SIGINT, "Interrupt", false},         {SIGTERM, "Killed", false}};

// The terminal that a line editor is using, or -1, and the modes it had
// before. The modes are written while the descriptor is -1.
termios g_terminal_modes;
std::atomic<int> g_edited_terminal{-1};

void write_to_standard_error(std::string_view text) {
  write_all(STDERR_FILENO, text.data(), text.size());
}

[[noreturn]] void end_by_signal(const HandledSignal& signal) {
  const int terminal = g_edited_terminal.load();
  if (terminal >= 0) tcsetattr(terminal, TCSANOW, &g_terminal_modes);
  write_to_standard_error(signal.message);
  write_to_standard_error("\n");
  close_units_from_signal();
  if (!signal.abnormal) _exit(1);
  abnormal_end();
}

extern "C" void on_signal(int signal_number) {
  for (const HandledSignal& handled : kHandledSignals) {
    if (handled.number == signal_number) end_by_signal(handled);
  }
}

}  // namespace

void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigfillset(&action.sa_mask);
  for (const HandledSignal& handled : kHandledSignals) {
    const int signal_number = handled.number;
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    // A quit or interrupt that the caller ignored stays ignored, as for any
    // background job.
    const bool may_stay_ignored = signal_number == SIGQUIT || signal_number == SIGINT;
    if (may_stay_ignored && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}

void restore_terminal_modes_at_signal(int fd, const termios& modes) {
  g_edited_terminal.store(-1);
  g_terminal_modes = modes;
  g_edited_terminal.store(fd);
}

void forget_terminal_modes() {
  g_edited_terminal.store(-1);
}

SignalBlock::SignalBlock() {
  sigset_t set;
  sigemptyset(&set);
  for (const HandledSignal& handled : kHandledSignals) sigaddset(&set, handled.number);
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalBlock::~SignalBlock() {
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

void report_failure(const Status& status) {
  const StatementState& statement = current_statement();
  const std::string* name = unit_name(statement.unit);
  std::string text = status.message();
  text += "\napparent state: unit ";
  text += std::to_string(statement.unit);
  text += name != nullptr ? " named " + *name + "\n" : std::string(" (unnamed)\n");
  if (statement.format_current) {
    text += "last format: ";
    text += statement.format;
    text += '\n';
  }
  text += statement.reading ? "lately reading" : "lately writing";
  text += " sequential formatted external IO\n";
  write_to_standard_error(text);
}

void fatal(const Status& status) {
  report_failure(status);
  close_all_units();
  abnormal_end();
}

void abnormal_end() {
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace starmark
