#include "abnormal_end.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "streams.h"

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

void (*g_close_units)() noexcept = nullptr;

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
  g_close_units();
  if (!signal.abnormal) _exit(1);
  abnormal_end();
}

extern "C" void on_signal(int signal_number) {
  for (const HandledSignal& handled : kHandledSignals) {
    if (handled.number == signal_number) end_by_signal(handled);
  }
}

}  // namespace

void install_signal_handlers(void (*close_units)() noexcept) {
  g_close_units = close_units;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigfillset(&action.sa_mask);
  for (const HandledSignal& handled : kHandledSignals) {
    struct sigaction previous {};
    sigaction(handled.number, nullptr, &previous);
    // A quit or interrupt that the caller ignored stays ignored, as for any
    // background job.
    const bool may_stay_ignored = handled.number == SIGQUIT || handled.number == SIGINT;
    if (may_stay_ignored && previous.sa_handler == SIG_IGN) continue;
    sigaction(handled.number, &action, nullptr);
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

void report_failure(const Status& status, const StatementState& statement,
                    const std::string_view* unit_name) {
  // Piece by piece, with no allocation: the report may tell that memory ran out.
  char unit[16];
  const int unit_length = std::snprintf(unit, sizeof unit, "%d", statement.unit);
  for (std::string_view piece :
       {std::string_view(status.prefix()), std::string_view(": "), std::string_view(status.text()),
        std::string_view("\napparent state: unit "), std::string_view(unit, unit_length),
        std::string_view(unit_name != nullptr ? " named " : " (unnamed)"),
        unit_name != nullptr ? std::string_view(*unit_name) : std::string_view(),
        std::string_view("\n"),
        // The format only while one is current.
        std::string_view(statement.format_current ? "last format: " : ""),
        statement.format_current ? statement.format : std::string_view(),
        std::string_view(statement.format_current ? "\n" : ""),
        std::string_view(statement.reading ? "lately reading" : "lately writing"),
        std::string_view(" sequential formatted external IO\n")}) {
    write_to_standard_error(piece);
  }
}

void abnormal_end() {
  // A mistyped file name is no reason for a core file in the working folder.
  prctl(PR_SET_DUMPABLE, 0);
  // An emulator running the program writes the core file itself, by the
  // size limit alone.
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace starmark
