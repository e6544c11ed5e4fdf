// Runs the built program on a pseudo-terminal, as a user at a terminal would:
// it types the answers, with Tab completing a file name, and ends runs with
// Ctrl-C, Ctrl-\ and Ctrl-D while an answer is being typed. The test keeps the
// terminal's slave side open, so that it can read its modes before and after
// a run.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// The terminal's modes that a run must leave as it found them: the flags and
// the control characters.
using Modes = std::tuple<tcflag_t, tcflag_t, tcflag_t, tcflag_t, std::string>;

Modes modes_of(int terminal) {
  termios modes{};
  ::tcgetattr(terminal, &modes);
  return {modes.c_iflag, modes.c_oflag, modes.c_cflag, modes.c_lflag,
          std::string(std::begin(modes.c_cc), std::end(modes.c_cc))};
}

// Texts to await, each followed by the keys, if any, to type once the line
// editor has the terminal.
using Dialogue = std::vector<std::pair<std::string, std::string>>;

// A run typed at the terminal: how it ends ("exit 0", "SIGABRT"), whether it
// writes the example's PSF star list (or none), what is typed, and the locale.
struct TypedRun {
  const char* name;
  const char* ended;
  bool writes_psf;
  Dialogue dialogue;
  const char* locale = "C";
  friend void PrintTo(const TypedRun& typed, std::ostream* out) { *out << typed.name; }
};

class TerminalTest : public testing::TestWithParam<TypedRun> {};

// Runs this machine's program (never an emulated one) on a new
// pseudo-terminal, in a new folder where only the position log's name starts
// with "fi". Every wait is bounded.
TEST_P(TerminalTest, EndsAsTypedAndLeavesTheTerminalsModes) {
  const TypedRun& typed = GetParam();
  const locale_t available = ::newlocale(LC_ALL_MASK, typed.locale, locale_t{});
  if (available == locale_t{}) GTEST_SKIP() << "the locale " << typed.locale << " is missing";
  ::freelocale(available);
  int master = -1, slave = -1;
  winsize size{24, 80, 0, 0};
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
  const fs::path folder =
      fs::temp_directory_path() / ("starmark-tty-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::copy_file(STARMARK_EXAMPLES "/field.log", folder / "field.log");
  fs::copy_file(STARMARK_EXAMPLES "/field.coo", folder / "image.coo");
  const Modes modes_before = modes_of(slave);
  const pid_t child = ::fork();
  if (child == 0) {
    // The terminal is the run's controlling terminal and its standard streams.
    ::close(master);
    if (::login_tty(slave) == 0 && ::chdir(folder.c_str()) == 0 &&
        ::setenv("TERM", "vt100", 1) == 0 && ::setenv("LC_ALL", typed.locale, 1) == 0) {
      ::execl(STARMARK_BINARY, STARMARK_BINARY, static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  // What the terminal showed, and how the run ended, or the wait that came
  // to nothing, if it started.
  std::string shown, ended = "did not start";
  // Reads what the terminal shows until `done()`, for at most 20 seconds.
  const auto await = [&](const std::string& awaited, auto done) {
    ended = "waited in vain for " + awaited;  // until the run's end is known
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char bytes[4096];
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd ready{master, POLLIN, 0};
      const ssize_t count = ::poll(&ready, 1, 10) > 0 ? ::read(master, bytes, sizeof bytes) : 0;
      if (count > 0) shown.append(bytes, static_cast<size_t>(count));
    }
    return true;
  };
  // The line editor reads a byte at a time: canonical input (of c_lflag) off.
  const auto editing = [&] { return (std::get<3>(modes_of(slave)) & ICANON) == 0; };
  bool going = child > 0;
  for (const auto& [text, keys] : typed.dialogue) {
    going = going &&
            await(text, [&, &text = text] { return shown.find(text) != std::string::npos; }) &&
            (keys.empty() || (await("the line editor", editing) &&
                              ::write(master, keys.data(), keys.size()) == ssize_t(keys.size())));
  }
  int status = 0;
  if (going && await("the end", [&] { return ::waitpid(child, &status, WNOHANG) == child; })) {
    ended = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                              : std::string("SIG") + ::sigabbrev_np(WTERMSIG(status));
  } else if (child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  EXPECT_EQ(ended, typed.ended) << shown;
  EXPECT_EQ(modes_of(slave), modes_before);
  for (int side : {master, slave}) ::close(side);
  EXPECT_EQ(read_file(folder / "stars.psf"),
            typed.writes_psf ? read_file(STARMARK_EXAMPLES "/field.psf") : "");
  fs::remove_all(folder);
}

constexpr const char* kLogPrompt = " Imedit logfile name:";
const Dialogue kTabCompletion = {{kLogPrompt, "fi\t"},
                                 {"field.log", "\r"},
                                 {" Image.coo file:", "image.coo\r"},
                                 {" Output file of stars for PSF:", "stars.psf\r"}};
const char* const kEndOfInputReport =
    "fmt: end of file\r\napparent state: unit 5 (unnamed)\r\nlast format: (A)\r\n"
    "lately reading sequential formatted external IO\r\n";

// The PSF star list does not change with a locale's decimal comma. Ctrl-D
// ends the input only on an empty line. The terminal shows a line feed as a
// carriage return and a line feed.
const TypedRun kTypedRuns[] = {
    {"TabCompletionInC", "exit 0", true, kTabCompletion},
    {"TabCompletionInGermanUtf8", "exit 0", true, kTabCompletion, "de_DE.UTF-8"},
    {"Interrupt", "exit 1", false, {{kLogPrompt, "fie"}, {"fie", "\x03"}, {"Interrupt\r\n", ""}}},
    {"Quit", "SIGABRT", false, {{kLogPrompt, "fie"}, {"fie", "\x1c"}, {"Quit signal\r\n", ""}}},
    {"EndOfInput", "SIGABRT", false, {{kLogPrompt, "\x04"}, {kEndOfInputReport, ""}}}};

INSTANTIATE_TEST_SUITE_P(Runs, TerminalTest, testing::ValuesIn(kTypedRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
