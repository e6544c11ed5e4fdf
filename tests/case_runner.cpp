// Whole runs of the built starmark: the case folders under tests/cases, found
// when the tests run (its README.md describes them). Each run gets a fresh
// temporary folder laid out as a case's expected/ folder is: the run folder
// files/ with real files, and the files that take the run's standard output
// and standard error and say how it ended. The test compares the exact bytes
// of everything in that folder with expected/.
//
// STARMARK_PROGRAM names another program to run, STARMARK_EMULATOR a command
// to run it under, e.g. "qemu-s390x -L /usr/s390x-linux-gnu", STARMARK_CASES
// another folder of cases.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "workload.h"

namespace {

namespace fs = std::filesystem;

// Files by relative path: their bytes, or what they are.
using Files = std::map<std::string, std::string>;

constexpr uid_t kNobody = 65534;

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string read_file(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {  // a write-only file, when the tests do not run as root
    fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
    stream.open(path, std::ios::binary);
  }
  check(stream.is_open(), "read " + path.string());
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream stream(path, std::ios::binary);
  check(static_cast<bool>(stream << bytes), "write " + path.string());
}

// The value of an environment variable, or `otherwise` when it is unset or empty.
std::string from_environment(const char* name, const std::string& otherwise = "") {
  const char* value = std::getenv(name);
  return value && *value ? value : otherwise;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream split(text);
  return {std::istream_iterator<std::string>(split), {}};
}

std::string what_is(const fs::path& path, const fs::file_status& status) {
  if (fs::is_regular_file(status)) return read_file(path);
  if (fs::is_symlink(status)) return "<symbolic link to " + fs::read_symlink(path).string() + ">";
  return fs::is_directory(status) ? "<directory>" : fs::is_fifo(status) ? "<fifo>" : "<other>";
}

// What is below `root`. A case folder's symbolic links are read through: the
// example case takes the files of examples/.
Files entries(const fs::path& root, bool through_links) {
  Files found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    found[entry.path().lexically_relative(root).string()] =
        what_is(entry.path(), through_links ? entry.status() : entry.symlink_status());
  }
  return found;
}

// Reports what is missing, what is there unexpectedly and what differs. A
// mismatch is shown with GoogleTest's escapes for line feeds and other control
// bytes; long texts are shown from a little before their first difference.
void expect_same(Files expected, Files actual) {
  for (const auto& [name, bytes] : expected) actual.try_emplace(name, "<missing>");
  for (const auto& [name, bytes] : actual) {
    const std::string& wanted = expected.try_emplace(name, "<not expected>").first->second;
    const size_t at =
        std::mismatch(wanted.begin(), wanted.end(), bytes.begin(), bytes.end()).first -
        wanted.begin();
    const size_t from = std::max(wanted.size(), bytes.size()) <= 3000 || at < 200 ? 0 : at - 200;
    EXPECT_EQ(wanted.substr(from, 3000), bytes.substr(from, 3000))
        << name << " differs (" << wanted.size() << " bytes expected, " << bytes.size()
        << " actual), shown from byte " << from;
  }
}

int signal_number(const std::string& name) {
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigabbrev_np(signal) != nullptr && name == sigabbrev_np(signal)) return signal;
  }
  throw std::runtime_error("unknown signal " + name);
}

// A run's standard streams: a path (relative ones in the temporary folder),
// "closed", "pipe" (standard input: a pipe holding the case's stdin) or
// "same-as-stderr" (standard output).
struct Streams {
  std::string input, output = "stdout", error = "stderr";
};

// What a run is given besides its files, folders and symbolic links.
struct RunSetup {
  Streams first;
  Streams second{"", "second-stdout", "second-stderr"};  // a second run, with an input
  std::string piped;                                     // what the pipe holds
  bool unprivileged = false;
  int ignored = 0;                 // a signal the program starts with ignored
  std::function<void(pid_t)> act;  // at the hand-shake, on the first run
  std::map<std::string, std::pair<bool, std::string>> fifos;  // path: kept open to the end, bytes
  // Soft and hard. Without core files an abnormal end leaves no core file in
  // the run folder, where it would count as a file the run left.
  std::map<int, rlim_t> limits = {{RLIMIT_CORE, 0}};
};

// Applies the notes of a case's setup file to the run folder `files`, which
// holds the given files, and to what the case expects.
RunSetup apply_notes(const fs::path& case_folder, const fs::path& files, Files& expected) {
  RunSetup setup;
  setup.first.input = (case_folder / "stdin").string();
  const std::map<std::string, int> resources = {
      {"AS", RLIMIT_AS}, {"CORE", RLIMIT_CORE}, {"FSIZE", RLIMIT_FSIZE}};
  std::ifstream lines(case_folder / "setup");  // none: no notes
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> note = words(line);
    const auto is = [&](auto name, size_t size) { return note.size() == size && note[0] == name; };
    const fs::path path = files / (note.size() > 1 ? note[1] : "");
    if (is("stdin", 2) || is("stdout", 2)) {
      (note[0] == "stdin" ? setup.first.input : setup.first.output) = note[1];
      if (note[1] == "pipe") setup.piped = read_file(case_folder / "stdin");
    } else if (is("unprivileged", 1)) {
      setup.unprivileged = geteuid() == 0;  // only root can become another user
    } else if (is("ignore-signal", 2)) {
      setup.ignored = signal_number(note[1]);
    } else if (is("signal", 2)) {
      setup.act = [signal = signal_number(note[1])](pid_t pid) { kill(pid, signal); };
    } else if (is("remove", 2)) {
      setup.act = [path](pid_t) { fs::remove(path); };
    } else if (is("limit", 3)) {
      setup.limits[resources.at(note[1])] =
          note[2] == "unlimited" ? RLIM_INFINITY : std::stoull(note[2]);
    } else if (is("second-run", 2)) {
      setup.second.input = (case_folder / note[1]).string();
    } else if (is("mode", 3)) {
      fs::permissions(path, fs::perms(std::stoul(note[2], nullptr, 8)));
    } else if (is("directory", 2)) {
      fs::create_directory(path);
    } else if (is("symlink", 3)) {
      fs::create_symlink(note[2], path);
    } else if (is("fifo", 2) || (is("fifo", 3) && note[2] == "kept-open")) {
      setup.fifos[note[1]] = {note.size() == 3, read_file(path)};
      fs::remove(path);
      check(mkfifo(path.c_str(), 0600) == 0, "mkfifo " + note[1]);
    } else if (is("workload-stars", 3)) {
      // The start of the benchmarks' largest star list: its three header
      // lines and its first COUNT records.
      static const std::string stars =
          starmark_bench::star_list_text(starmark_bench::make_workload());
      size_t end = 0;
      for (size_t i = 0; i < 3 + std::stoul(note[2]); ++i) end = stars.find('\n', end) + 1;
      write_file(path, stars.substr(0, end) + read_file(path));
      expected["files/" + note[1]].insert(0, stars, 0, end);
    } else {
      throw std::runtime_error("unknown setup note: " + line);
    }
    // What a note makes must still be there after the run, as made.
    if (note[0] == "directory" || note[0] == "symlink" || note[0] == "fifo") {
      expected["files/" + note[1]] = what_is(path, fs::symlink_status(path));
    }
  }
  if ((setup.act || !setup.second.input.empty()) && setup.fifos.size() != 1) {
    throw std::runtime_error("a signal, a removal or a second run needs exactly one FIFO");
  }
  return setup;
}

// A folder for one run, removed with all it holds: the run folder "files",
// the files of the standard streams and ends and, for an unprivileged run, a
// copy of the program.
struct TempFolder {
  const fs::path path = [] {
    std::string pattern = from_environment("TMPDIR", "/tmp") + "/starmark-case-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    fs::permissions(pattern, fs::perms(0711));  // the unprivileged run passes through
    return fs::path(pattern);
  }();
  // The modes that cases set leave every folder open to its owner.
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// A blocking write to a pipe or FIFO returns once it has put all the bytes,
// unless the reader has gone.
bool write_all(int fd, const std::string& bytes) {
  return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Feeds one FIFO of the run from a thread of its own. It opens the FIFO for
// writing once the program has opened it for reading, and never should the
// program end first; the program meets the FIFO's end when the feeder closes
// it. A write the program no longer reads fails, as the FIFO has no reader
// left once the program has ended.
//
// The hand-shake, when the case starts a second run, signals the program or
// removes a file while the program waits for more of its position log: after
// the log the feeder writes blanks and a line feed, which a position log reads
// as nothing, more of them than the pipe holds plus 1 MiB, more than the
// program takes in one read (at most 64 KiB). When that
// blocking write returns, at most the pipe's capacity is unread, so the
// program has made a read that began past the end of the log. It reads again
// only once it has taken every byte it holds, so that read came while it read
// the position after the log's last one, with every position of the log
// handled; all it still has to take are blanks. Only then does the feeder act:
// it starts the second run and waits until that run waits for the lock, then
// signals the program or removes the file. kill() returns with the signal
// pending, so the program handles it before it can see the end of the FIFO,
// which the feeder closes next.
struct Feeder {
  Feeder(fs::path fifo, bool kept_open, std::string bytes, std::function<void()> act)
      : thread([=] {
          int fd = -1;  // the open fails until the program has the FIFO open
          while (!ended && (fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            usleep(1000);
          }
          if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0) return;
          if (write_all(fd, bytes) && act) {
            const size_t blanks = static_cast<size_t>(fcntl(fd, F_GETPIPE_SZ)) + (1 << 20);
            if (write_all(fd, std::string(blanks, ' ') + "\n") && !ended) act();
          }
          if (kept_open) release.get_future().wait();
          close(fd);
        }) {}

  // Called once the program has ended: lets the feeder end wherever it stands.
  ~Feeder() {
    ended = true;
    release.set_value();
    thread.join();
  }

  std::atomic<bool> ended{false};
  std::promise<void> release;
  std::thread thread;  // started last, once all it uses is made
};

// In the child: reports why the program could not be started.
[[noreturn]] void fail(const std::string& what) {
  dprintf(STDERR_FILENO, "harness: %s: %s\n", what.c_str(), std::strerror(errno));
  _exit(127);
}

// In the child: makes the open descriptor `fd` the standard stream `target`.
// Should the tests run without a standard stream, an open takes its number,
// which is why standard error is made first.
void use_as(int target, int fd) {
  if (fd < 0 || (fd != target && (dup2(fd, target) < 0 || close(fd) != 0))) fail("stream");
}

// In the child: the standard streams, the signals as
// a fresh process has them, the run folder, the limits and the user.
[[noreturn]] void exec_program(const std::vector<std::string>& argv, const fs::path& temp,
                               const Streams& streams, const RunSetup& setup) {
  if (chdir(temp.c_str()) != 0) fail("chdir");
  const auto open_as = [](int target, const std::string& how, int flags) {
    if (how == "closed") return void(close(target));
    use_as(target, how == "same-as-stderr" ? dup(STDERR_FILENO) : open(how.c_str(), flags, 0600));
  };
  open_as(STDERR_FILENO, streams.error, O_WRONLY | O_CREAT | O_TRUNC);
  if (streams.input == "pipe") {
    // The answers are a few bytes, which the pipe holds before the program starts.
    int ends[2];
    if (pipe(ends) != 0 || !write_all(ends[1], setup.piped) || close(ends[1]) != 0) fail("pipe");
    use_as(STDIN_FILENO, ends[0]);
  } else {
    open_as(STDIN_FILENO, streams.input, O_RDONLY);
  }
  open_as(STDOUT_FILENO, streams.output, O_WRONLY | O_CREAT | O_TRUNC);
  for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (setup.ignored != 0 && std::signal(setup.ignored, SIG_IGN) == SIG_ERR) fail("ignore-signal");
  if (chdir("files") != 0) fail("chdir");
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  // The limits come last: the runner's own address space may pass the
  // program's.
  for (const auto& [resource, value] : setup.limits) {
    const rlimit soft_and_hard{value, value};
    if (setrlimit(resource, &soft_and_hard) != 0) fail("setrlimit");
  }
  if (setup.unprivileged &&
      (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
       setresuid(kNobody, kNobody, kNobody) != 0)) {
    fail("unprivileged");
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // should the tests be stopped
  execvp(args[0], args.data());
  fail("exec " + argv[0]);
}

// At the hand-shake of a second run: returns once the second process waits
// for a lock, which /proc/locks shows as a line
// "1: -> FLOCK  ADVISORY  WRITE <pid> ...", or fails the test should the
// process end first or not wait within 20 s.
void await_waiting_for_lock(pid_t second) {
  const std::string waiter = std::to_string(second);
  const std::regex waiting(" -> FLOCK +\\w+ +\\w+ +" + waiter + " ");
  siginfo_t end{};
  for (int tries = 0; tries < 2000 && end.si_pid != second; ++tries, usleep(10000)) {
    // Read every 10 ms for 20 s.
    if (std::regex_search(read_file("/proc/locks"), waiting)) return;
    waitid(P_PID, static_cast<id_t>(second), &end, WEXITED | WNOHANG | WNOWAIT);
  }
  ADD_FAILURE() << "the second run (process " << waiter << ") "
                << (end.si_pid == second ? "ended before it waited for a lock"
                                         : "did not wait for a lock in 20 s");
}

// Waits for the process to end and says how it ended, as a line; with
// WNOWAIT, leaves it unreaped.
std::string await_end(pid_t pid, int options = 0) {
  siginfo_t end;
  check(waitid(P_PID, static_cast<id_t>(pid), &end, WEXITED | options) == 0, "waitid");
  return (end.si_code == CLD_EXITED ? "exit " : "signal ") + std::to_string(end.si_status) + "\n";
}

// Runs the program in `temp`, whose run folder holds what the run is given, as
// `setup` says; returns all that `temp` then holds but the program.
Files run(const fs::path& temp, const RunSetup& setup) {
  std::signal(SIGPIPE, SIG_IGN);  // a feeder may write to a FIFO the program has left
  fs::path program = fs::absolute(from_environment("STARMARK_PROGRAM", STARMARK_BINARY));
  write_file(temp / "stdout", "");  // stays empty when the notes give another
  // The program's own folder may be closed to the unprivileged user: that run
  // takes a copy, given to the user with all else in `temp`.
  if (setup.unprivileged && fs::copy_file(program, temp / "starmark")) {
    program = temp / "starmark";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temp)) {
      check(lchown(entry.path().c_str(), kNobody, kNobody) == 0, "lchown " + entry.path().string());
    }
  }
  std::vector<std::string> argv = words(from_environment("STARMARK_EMULATOR"));
  argv.push_back(program.string());
  // A second run is forked at once, by this thread, which PR_SET_PDEATHSIG
  // watches, but starts the program only when the hand-shake sends it a byte
  // through `gate`; without one it says so and ends with 127 once the runner
  // closes `gate`.
  int gate[2];
  check(pipe2(gate, O_CLOEXEC) == 0, "pipe2");
  const auto start = [&](const Streams& streams, bool gated) {
    const pid_t child = fork();
    check(child >= 0, "fork");
    char byte;
    if (child == 0 && gated && (close(gate[1]) != 0 || read(gate[0], &byte, 1) != 1)) {
      fail("no hand-shake: the second run never started");
    }
    if (child == 0) exec_program(argv, temp, streams, setup);
    return child;
  };
  const pid_t pid = start(setup.first, false);
  const pid_t second = setup.second.input.empty() ? 0 : start(setup.second, true);
  const std::function<void()> act = [&] {
    if (second != 0 && write(gate[1], "", 1) == 1) await_waiting_for_lock(second);
    if (setup.act) setup.act(pid);
  };
  std::map<std::string, Feeder> feeders;
  for (const auto& [path, how] : setup.fifos) {
    feeders.try_emplace(path, temp / "files" / path, how.first, how.second,
                        setup.act || second != 0 ? act : nullptr);
  }
  // The first run is reaped only once the feeders are done, so that its
  // number cannot pass to another process before.
  await_end(pid, WNOWAIT);
  feeders.clear();  // each ends wherever it stands
  write_file(temp / "status", await_end(pid));
  for (const int end : gate) close(end);
  if (second != 0) write_file(temp / "second-status", await_end(second));
  Files left = entries(temp, false);
  left.erase("starmark");
  // Under qemu a program that a signal ends leaves one more line on
  // standard error, qemu's own, written as the emulator ends.
  for (auto& [name, bytes] : left) {
    if (argv.size() > 1 && (name == "stderr" || name == "second-stderr")) {
      bytes.resize(std::min(bytes.size(), ("\n" + bytes).rfind("\nqemu: uncaught target signal")));
    }
  }
  return left;
}

const fs::path kCases = fs::absolute(from_environment("STARMARK_CASES", STARMARK_CASES));

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCases))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  const fs::path folder = kCases / GetParam();
  const TempFolder temp;
  fs::copy(folder / "given", temp.path / "files", fs::copy_options::recursive);
  Files expected = entries(folder / "expected", true);
  const RunSetup setup = apply_notes(folder, temp.path / "files", expected);
  // The sanitizers' program reserves far more address space than a memory
  // limit leaves it, as does an emulator.
  if (setup.limits.count(RLIMIT_AS) &&
      (STARMARK_SANITIZED || !from_environment("STARMARK_EMULATOR").empty())) {
    GTEST_SKIP() << "limit AS: the sanitizers or an emulator need far more address space";
  }
  expect_same(expected, run(temp.path, setup));
}

INSTANTIATE_TEST_SUITE_P(Folder, Case, testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
