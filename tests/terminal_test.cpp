// Runs the built program on a pseudo-terminal, as a user at a terminal would:
// it types the answers, with Tab completing a file name, and ends runs with
// Ctrl-C, Ctrl-\ and Ctrl-D while an answer is being typed. The test keeps the
// terminal's slave side open, so that it can read its modes before and after
// a run.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The longest wait for something the program is expected to show or do.
constexpr std::chrono::seconds kPatience{20};

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The program on a new pseudo-terminal, once start() has started it.
class TerminalRun {
 public:
  TerminalRun() {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
      ADD_FAILURE() << "openpty failed";
      return;
    }
    ::tcgetattr(slave_, &modes_before_);
  }
  ~TerminalRun() {
    if (child_ > 0 && !ended_) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }

  // Starts the program in `folder`, in the locale named by `locale`.
  void start(const fs::path& folder, const char* locale = "C") {
    const std::string program = STARMARK_BINARY;
    child_ = ::fork();
    if (child_ == 0) {
      // A session of its own, with the terminal as its controlling terminal
      // and as all three standard streams.
      ::setsid();
      ::ioctl(slave_, TIOCSCTTY, 0);
      ::dup2(slave_, STDIN_FILENO);
      ::dup2(slave_, STDOUT_FILENO);
      ::dup2(slave_, STDERR_FILENO);
      ::close(master_);
      ::close(slave_);
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      ::setenv("TERM", "vt100", 1);
      ::setenv("LC_ALL", locale, 1);
      ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_GT(child_, 0) << "fork failed";
  }

  void type(const std::string& keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Reads what the terminal shows until `text` appears in it.
  void await_shown(const std::string& text) {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (shown_.find(text) == std::string::npos) {
      ASSERT_TRUE(read_some(deadline)) << "waited in vain for \"" << text << "\"; shown:\n"
                                       << shown_;
    }
  }

  // Waits until the line editor has taken the terminal: it reads a byte at a
  // time, with canonical input off.
  void await_editing() {
    const Clock::time_point deadline = Clock::now() + kPatience;
    termios modes{};
    while (::tcgetattr(slave_, &modes) == 0 && (modes.c_lflag & ICANON) != 0) {
      ASSERT_LT(Clock::now(), deadline) << "the terminal stayed in canonical mode";
      read_some(Clock::now() + std::chrono::milliseconds(10));
    }
  }

  // Waits for the program's end, reading what it still shows; its status.
  int await_end() {
    const Clock::time_point deadline = Clock::now() + kPatience;
    int status = 0;
    while (::waitpid(child_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        ADD_FAILURE() << "the program did not end; shown:\n" << shown_;
        return -1;
      }
      read_some(Clock::now() + std::chrono::milliseconds(10));
    }
    ended_ = true;
    while (read_some(Clock::now())) {
    }
    return status;
  }

  bool modes_as_before() const {
    termios after{};
    if (::tcgetattr(slave_, &after) != 0) return false;
    const termios& before = modes_before_;
    return after.c_iflag == before.c_iflag && after.c_oflag == before.c_oflag &&
           after.c_cflag == before.c_cflag && after.c_lflag == before.c_lflag &&
           std::equal(std::begin(after.c_cc), std::end(after.c_cc), std::begin(before.c_cc)) &&
           cfgetispeed(&after) == cfgetispeed(&before) &&
           cfgetospeed(&after) == cfgetospeed(&before);
  }

  const std::string& shown() const { return shown_; }

 private:
  // Appends what the terminal shows by `deadline`; false when nothing came.
  bool read_some(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd ready{master_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) {
      return false;
    }
    char bytes[4096];
    const ssize_t count = ::read(master_, bytes, sizeof bytes);
    if (count <= 0) return false;
    shown_.append(bytes, static_cast<size_t>(count));
    return true;
  }

  int master_ = -1;
  int slave_ = -1;
  termios modes_before_{};
  pid_t child_ = -1;
  bool ended_ = false;
  std::string shown_;
};

class TerminalTest : public testing::Test {
 protected:
  void SetUp() override {
    // The cross runs start the program through an emulator; these runs are
    // for a program of this machine.
    const char* emulator = std::getenv("STARMARK_EMULATOR");
    if (emulator != nullptr && *emulator != '\0') {
      GTEST_SKIP() << "the terminal runs start the program of this machine only";
    }
    folder_ =
        fs::temp_directory_path() / ("starmark-terminal-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    // Of the run folder's files only the position log starts with "fi".
    const fs::path examples = STARMARK_EXAMPLES;
    fs::copy_file(examples / "field.log", folder_ / "field.log");
    fs::copy_file(examples / "field.coo", folder_ / "image.coo");
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  fs::path folder_;
};

// The locales of the completed runs: the PSF star list is the same in each,
// the decimal comma of a German locale included.
struct RunLocale {
  const char* name;
  const char* locale;
};

void PrintTo(const RunLocale& run_locale, std::ostream* out) {
  *out << run_locale.locale;
}

class CompletionTest : public TerminalTest, public testing::WithParamInterface<RunLocale> {};

TEST_P(CompletionTest, TabCompletesTheOnlyMatchingName) {
  const char* locale = GetParam().locale;
  const locale_t available = ::newlocale(LC_ALL_MASK, locale, locale_t{});
  if (available == locale_t{}) GTEST_SKIP() << "the locale " << locale << " is not installed";
  ::freelocale(available);
  TerminalRun run;
  run.start(folder_, locale);
  run.await_shown(" Imedit logfile name:");
  run.await_editing();
  run.type("fi\t");
  run.await_shown("field.log");
  run.type("\r");
  run.await_shown(" Image.coo file:");
  run.await_editing();
  run.type("image.coo\r");
  run.await_shown(" Output file of stars for PSF:");
  run.await_editing();
  run.type("stars.psf\r");
  const int status = run.await_end();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "; shown:\n"
                                                             << run.shown();
  EXPECT_EQ(read_file(folder_ / "stars.psf"), read_file(fs::path(STARMARK_EXAMPLES) / "field.psf"));
  EXPECT_TRUE(run.modes_as_before());
}

INSTANTIATE_TEST_SUITE_P(Locales, CompletionTest,
                         testing::Values(RunLocale{"C", "C"}, RunLocale{"CUtf8", "C.UTF-8"},
                                         RunLocale{"GermanUtf8", "de_DE.UTF-8"}),
                         [](const testing::TestParamInfo<RunLocale>& info) {
                           return std::string(info.param.name);
                         });

// A key that ends the run while the first answer is being typed, what the
// terminal then shows, and how the program ends.
struct EndingKey {
  const char* name;
  const char* key;
  const char* shown;
  int exit_status;  // or -1 when it ends by `signal`
  int signal;
};

void PrintTo(const EndingKey& ending, std::ostream* out) {
  *out << ending.name;
}

class EndingKeyTest : public TerminalTest, public testing::WithParamInterface<EndingKey> {};

TEST_P(EndingKeyTest, EndsTheRunAndLeavesTheTerminalsModes) {
  const EndingKey& ending = GetParam();
  TerminalRun run;
  run.start(folder_);
  run.await_shown(" Imedit logfile name:");
  run.await_editing();
  // Ctrl-D ends the input only on an empty line.
  if (ending.key != std::string("\x04")) {
    run.type("fie");
    run.await_shown("fie");
  }
  run.type(ending.key);
  run.await_shown(ending.shown);
  const int status = run.await_end();
  if (ending.exit_status >= 0) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == ending.exit_status)
        << "status " << status;
  } else {
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending.signal) << "status " << status;
  }
  EXPECT_TRUE(run.modes_as_before()) << "shown:\n" << run.shown();
}

// The terminal shows a line feed as a carriage return and a line feed.
INSTANTIATE_TEST_SUITE_P(
    Keys, EndingKeyTest,
    testing::Values(EndingKey{"Interrupt", "\x03", "Interrupt\r\n", 1, 0},
                    EndingKey{"Quit", "\x1c", "Quit signal\r\n", -1, SIGABRT},
                    EndingKey{"EndOfInput", "\x04",
                              "fmt: end of file\r\n"
                              "apparent state: unit 5 (unnamed)\r\n"
                              "last format: (A)\r\n"
                              "lately reading sequential formatted external IO\r\n",
                              -1, SIGABRT}),
    [](const testing::TestParamInfo<EndingKey>& info) { return std::string(info.param.name); });

}  // namespace
