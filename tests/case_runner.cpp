// Whole runs of the built starmark: the case folders under tests/cases, found
// when the tests run (its README.md describes them). Each run gets a fresh
// temporary folder with real files and a real standard input; the test then
// compares the exact bytes of standard output, standard error and every file
// left in the folder, and how the process ended.
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
#include <sstream>
#include <thread>

#include "workload.h"

namespace {

namespace fs = std::filesystem;

// Files by relative path: their bytes, or what they are. What a run leaves
// also holds its standard output, its standard error and how it ended, under
// those names.
using Files = std::map<std::string, std::string>;

constexpr uid_t kNobody = 65534;

// The sanitizers' program reserves far more address space than a memory limit
// leaves it, as does an emulator.
constexpr bool kSanitized = STARMARK_SANITIZED;

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

std::string text_of(const fs::path& path) {
  return fs::exists(path) ? read_file(path) : "";
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

// What is below `root`. A case folder's symbolic links are read through: the
// example case takes the files of examples/.
Files entries(const fs::path& root, bool through_links = false) {
  Files found;
  if (!fs::exists(root)) return found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const fs::file_status status = through_links ? entry.status() : entry.symlink_status();
    std::string& what = found[entry.path().lexically_relative(root).string()];
    what = fs::is_directory(status) ? "<directory>" : fs::is_fifo(status) ? "<fifo>" : "<other>";
    if (fs::is_regular_file(status)) what = read_file(entry.path());
    if (fs::is_symlink(status))
      what = "<symbolic link to " + fs::read_symlink(entry.path()).string() + ">";
  }
  return found;
}

// Reports what is missing, what is there unexpectedly and what differs. A
// mismatch is shown with GoogleTest's escapes for line feeds and other control
// bytes; long texts are shown from a little before their first difference.
void expect_same(const Files& expected, const Files& actual) {
  for (const auto& [name, bytes] : expected) {
    if (actual.count(name) == 0) ADD_FAILURE() << "missing file " << name;
  }
  for (const auto& [name, bytes] : actual) {
    const auto found = expected.find(name);
    if (found == expected.end()) {
      ADD_FAILURE() << "unexpected file " << name << ": "
                    << testing::PrintToString(bytes.substr(0, 3000));
    } else if (const std::string& wanted = found->second; wanted != bytes) {
      const auto first = std::mismatch(wanted.begin(), wanted.end(), bytes.begin(), bytes.end());
      const size_t at = static_cast<size_t>(first.first - wanted.begin());
      const size_t from = std::max(wanted.size(), bytes.size()) <= 3000 || at < 200 ? 0 : at - 200;
      EXPECT_EQ(wanted.substr(from, 3000), bytes.substr(from, 3000))
          << name << " differs (" << wanted.size() << " bytes expected, " << bytes.size()
          << " actual), shown from byte " << from;
    }
  }
}

int signal_number(const std::string& name) {
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigabbrev_np(signal) != nullptr && name == sigabbrev_np(signal)) return signal;
  }
  throw std::runtime_error("unknown signal " + name);
}

// What a run is given besides its files, folders and symbolic links.
struct RunSetup {
  std::string input = "file";   // or "pipe", "closed"
  std::string output = "file";  // or "/dev/full", "closed", "same-as-stderr"
  bool unprivileged = false;
  int ignored = 0;                           // a signal the program starts with ignored
  std::function<void(pid_t, fs::path)> act;  // at the hand-shake: the program, the run folder
  std::vector<std::pair<std::string, fs::perms>> modes;
  std::map<std::string, bool> fifos;  // path, kept open until the run ends
  // Soft and hard. Without core-files an abnormal end leaves no core file in
  // the run folder, where it would count as a file the run left.
  std::map<int, rlim_t> limits = {{RLIMIT_CORE, 0}};
  fs::path second_stdin;  // a second run's standard input, if any
};

// Applies the notes of a case's setup file: what they make goes straight into
// the files a run is given and those it must leave.
RunSetup apply_notes(const fs::path& case_folder, Files& given, Files& expected) {
  RunSetup setup;
  std::istringstream lines(text_of(case_folder / "setup"));
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> note = words(line);
    const auto is = [&](auto name, size_t size) { return note.size() == size && note[0] == name; };
    if (is("stdin", 2) && (note[1] == "pipe" || note[1] == "closed")) {
      setup.input = note[1];
    } else if (is("stdout", 2) &&
               (note[1] == "/dev/full" || note[1] == "closed" || note[1] == "same-as-stderr")) {
      setup.output = note[1];
    } else if (is("unprivileged", 1)) {
      setup.unprivileged = geteuid() == 0;  // only root can become another user
    } else if (is("ignore-signal", 2)) {
      setup.ignored = signal_number(note[1]);
    } else if (is("signal", 2)) {
      setup.act = [signal = signal_number(note[1])](pid_t pid, fs::path) { kill(pid, signal); };
    } else if (is("remove", 2)) {
      setup.act = [path = note[1]](pid_t, fs::path folder) { fs::remove(folder / path); };
    } else if (is("file-size-limit", 2)) {
      setup.limits[RLIMIT_FSIZE] = std::stoull(note[1]);
    } else if (is("core-files", 1)) {
      setup.limits[RLIMIT_CORE] = RLIM_INFINITY;
    } else if (is("memory-limit", 2)) {
      setup.limits[RLIMIT_AS] = std::stoull(note[1]) * 1024;
    } else if (is("second-run", 2)) {
      setup.second_stdin = case_folder / note[1];
    } else if (is("mode", 3)) {
      setup.modes.emplace_back(note[1], fs::perms(std::stoul(note[2], nullptr, 8)));
    } else if (is("directory", 2) || is("symlink", 3)) {
      given[note[1]] = expected[note[1]] =
          note.size() == 2 ? "<directory>" : "<symbolic link to " + note[2] + ">";
    } else if (is("fifo", 2) || (is("fifo", 3) && note[2] == "kept-open")) {
      setup.fifos[note[1]] = note.size() == 3;
      expected[note[1]] = "<fifo>";
    } else if (is("workload-stars", 3)) {
      // The start of the benchmarks' largest star list: its three header
      // lines and its first COUNT records.
      static const std::string stars =
          starmark_bench::star_list_text(starmark_bench::make_workload());
      size_t end = 0;
      for (size_t i = 0; i < 3 + std::stoul(note[2]); ++i) end = stars.find('\n', end) + 1;
      for (Files* files : {&given, &expected}) (*files)[note[1]].insert(0, stars, 0, end);
    } else {
      throw std::runtime_error("unknown setup note: " + line);
    }
  }
  if ((setup.act || !setup.second_stdin.empty()) && setup.fifos.size() != 1) {
    throw std::runtime_error("a signal, a removal or a second run needs exactly one FIFO");
  }
  return setup;
}

// A folder for one run, removed with all it holds: the run folder "run", the
// files of the standard streams and, for an unprivileged run, a copy of the
// program.
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

bool write_all(int fd, std::string_view bytes) {
  for (ssize_t put = 0; !bytes.empty(); bytes.remove_prefix(static_cast<size_t>(put))) {
    if ((put = write(fd, bytes.data(), bytes.size())) < 0) return false;
  }
  return true;
}

// More than the program takes in one read: it reads at most 64 KiB at a time.
constexpr size_t kBeyondAnyRead = 1 << 20;

// Feeds one FIFO of the run from a thread of its own. It opens the FIFO for
// writing once the program has opened it for reading, and never should the
// program end first; the program meets the FIFO's end when the feeder closes
// it. A write the program no longer reads fails, as the FIFO has no reader
// left once the program has ended.
//
// The hand-shake, when the case starts a second run, signals the program or
// removes a file while the program waits for more of its position log: after
// the log the feeder writes blanks and a line feed, which a position log reads
// as nothing, more of them than the pipe holds plus kBeyondAnyRead. When that
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
  Feeder(fs::path fifo, std::string bytes, bool kept_open, std::function<void()> act)
      : path(std::move(fifo)), thread([=] {
          int fd = -1;  // the open fails until the program has the FIFO open
          while (!ended && (fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            usleep(1000);
          }
          if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0) return;
          if (write_all(fd, bytes) && act) {
            const size_t blanks = static_cast<size_t>(fcntl(fd, F_GETPIPE_SZ)) + kBeyondAnyRead;
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

  const fs::path path;
  std::atomic<bool> ended{false};
  std::promise<void> release;
  std::thread thread;  // started last, once all it uses is made
};

// In the child: reports why the program could not be started.
[[noreturn]] void fail(const std::string& what) {
  dprintf(STDERR_FILENO, "harness: %s: %s", what.c_str(), std::strerror(errno));
  _exit(127);
}

// In the child: makes the open descriptor `fd` the standard stream `target`.
// Should the tests run without a standard stream, an open takes its number,
// which is why standard error is made first.
void use_as(int target, int fd) {
  if (fd < 0 || (fd != target && (dup2(fd, target) < 0 || close(fd) != 0))) fail("stream");
}

// In the child: the standard streams, the signals as a fresh process has
// them, the run folder, the limits and the user. The files of the standard
// streams are in `temp`, their names starting with `streams`.
[[noreturn]] void exec_program(const std::vector<std::string>& argv, const fs::path& temp,
                               const std::string& streams, const std::string& input,
                               const RunSetup& setup) {
  if (chdir(temp.c_str()) != 0) fail("chdir");
  constexpr int kNew = O_WRONLY | O_CREAT | O_TRUNC;
  use_as(STDERR_FILENO, open((streams + "stderr").c_str(), kNew, 0600));
  if (setup.input == "file") use_as(STDIN_FILENO, open((streams + "stdin").c_str(), O_RDONLY));
  if (setup.input == "pipe") {
    // The answers are a few bytes, which the pipe holds before the program starts.
    int ends[2];
    if (pipe(ends) != 0 || !write_all(ends[1], input) || close(ends[1]) != 0) fail("pipe");
    use_as(STDIN_FILENO, ends[0]);
  }
  if (setup.input == "closed") close(STDIN_FILENO);
  if (setup.output == "file") use_as(STDOUT_FILENO, open((streams + "stdout").c_str(), kNew, 0600));
  if (setup.output == "/dev/full") use_as(STDOUT_FILENO, open("/dev/full", O_WRONLY));
  if (setup.output == "same-as-stderr") use_as(STDOUT_FILENO, dup(STDERR_FILENO));
  if (setup.output == "closed") close(STDOUT_FILENO);
  for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (setup.ignored != 0 && std::signal(setup.ignored, SIG_IGN) == SIG_ERR) fail("ignore-signal");
  if (chdir("run") != 0) fail("chdir");
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

// Lays out the run folder "run" in `temp`: the given files, folders, FIFOs
// and symbolic links, then the owners and modes the notes ask for.
void lay_out(const fs::path& temp, const Files& given, const RunSetup& setup) {
  const fs::path folder = temp / "run";
  fs::create_directory(folder);
  for (const auto& [path, bytes] : given) {
    fs::create_directories((folder / path).parent_path());
    if (bytes == "<directory>") {
      fs::create_directory(folder / path);
    } else if (bytes.rfind("<symbolic link to ", 0) == 0) {
      fs::create_symlink(bytes.substr(18, bytes.size() - 19), folder / path);
    } else if (setup.fifos.count(path) != 0) {
      check(mkfifo((folder / path).c_str(), 0600) == 0, "mkfifo " + path);
    } else {
      write_file(folder / path, bytes);
    }
  }
  if (setup.unprivileged) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temp)) {
      check(lchown(entry.path().c_str(), kNobody, kNobody) == 0, "lchown " + entry.path().string());
    }
  }
  for (const auto& [path, mode] : setup.modes) fs::permissions(folder / path, mode);
}

// At the hand-shake of a second run: returns once the second process waits
// for a lock, which /proc/locks shows as a line
// "1: -> FLOCK  ADVISORY  WRITE <pid> ...", or fails the test should the
// process end first or not wait within 20 s.
void await_waiting_for_lock(pid_t second) {
  const std::string waiter = std::to_string(second);
  siginfo_t end{};
  for (int tries = 0; tries < 2000 && end.si_pid != second; ++tries, usleep(10000)) {
    std::istringstream locks(read_file("/proc/locks"));  // read every 10 ms for 20 s
    for (std::string line; std::getline(locks, line);) {
      const std::vector<std::string> field = words(line);
      if (field.size() > 5 && field[1] == "->" && field[2] == "FLOCK" && field[5] == waiter) return;
    }
    waitid(P_PID, static_cast<id_t>(second), &end, WEXITED | WNOHANG | WNOWAIT);
  }
  ADD_FAILURE() << "the second run (process " << waiter << ") "
                << (end.si_pid == second ? "ended before it waited for a lock"
                                         : "did not wait for a lock in 20 s");
}

// Waits for the process to end and says how it ended; with WNOWAIT, leaves it
// unreaped.
std::string await_end(pid_t pid, int options = 0) {
  siginfo_t end;
  check(waitid(P_PID, static_cast<id_t>(pid), &end, WEXITED | options) == 0, "waitid");
  return (end.si_code == CLD_EXITED ? "exit " : "signal ") + std::to_string(end.si_status);
}

// Puts among `files` a run's standard output, standard error and end, as the
// files of `from` whose names start with `streams` hold them: the first run's,
// or with `streams` "second-" the second run's.
void put_run(Files& files, const fs::path& from, const std::string& streams, bool emulated) {
  const auto file = [&](const char* name) { return read_file(from / (streams + name)); };
  const std::string who = streams.empty() ? "" : "second run: ", end = file("status");
  std::string err = file("stderr");
  // Under qemu a program that a signal ends leaves one more line on
  // standard error, qemu's own, written as the emulator ends.
  const size_t qemu_line = ("\n" + err).rfind("\nqemu: uncaught target signal");
  if (emulated && qemu_line != std::string::npos) err.resize(qemu_line);
  files[who + "standard output"] = file("stdout");
  files[who + "standard error"] = err;
  files[who + "end of the process"] = end.substr(0, end.find('\n'));
}

// Runs the program on `given` and `input` as `setup` says; returns what the
// run left.
Files run(const Files& given, const std::string& input, const RunSetup& setup) {
  std::signal(SIGPIPE, SIG_IGN);  // a feeder may write to a FIFO the program has left
  TempFolder temp;
  fs::path program = fs::absolute(from_environment("STARMARK_PROGRAM", STARMARK_BINARY));
  // The program's own folder may be closed to the unprivileged user: that run
  // takes a copy, which the lay-out gives to the user with the rest.
  if (setup.unprivileged && fs::copy_file(program, temp.path / "starmark")) {
    program = temp.path / "starmark";
  }
  lay_out(temp.path, given, setup);
  const fs::path folder = temp.path / "run";
  std::vector<std::string> argv = words(from_environment("STARMARK_EMULATOR"));
  argv.push_back(program.string());
  write_file(temp.path / "stdin", input);
  write_file(temp.path / "stdout", "");  // stays empty when the notes give another
  if (!setup.second_stdin.empty()) fs::copy_file(setup.second_stdin, temp.path / "second-stdin");
  // A second run is forked at once, by this thread, which PR_SET_PDEATHSIG
  // watches, but starts the program only when the hand-shake sends it a byte
  // through `gate`; without one it ends when the runner closes `gate`.
  int gate[2];
  check(pipe2(gate, O_CLOEXEC) == 0, "pipe2");
  const auto start = [&](const std::string& streams, const RunSetup& how, bool gated) {
    const pid_t child = fork();
    check(child >= 0, "fork");
    char byte;
    if (child == 0 && gated && (close(gate[1]) != 0 || read(gate[0], &byte, 1) != 1)) _exit(0);
    if (child == 0) exec_program(argv, temp.path, streams, input, how);
    return child;
  };
  const pid_t pid = start("", setup, false);
  RunSetup own_streams = setup;
  own_streams.input = own_streams.output = "file";
  const pid_t second = !setup.second_stdin.empty() ? start("second-", own_streams, true) : 0;
  bool second_started = false;
  const std::function<void()> act = [&] {
    if (second != 0) {
      second_started = write(gate[1], "", 1) == 1;
      await_waiting_for_lock(second);
    }
    if (setup.act) setup.act(pid, folder);
  };
  std::map<std::string, Feeder> feeders;
  for (const auto& [path, kept_open] : setup.fifos) {
    feeders.try_emplace(path, folder / path, given.at(path), kept_open,
                        setup.act || second != 0 ? act : nullptr);
  }
  // The first run is reaped only once the feeders are done, so that its
  // number cannot pass to another process before.
  await_end(pid, WNOWAIT);
  feeders.clear();  // each ends wherever it stands
  write_file(temp.path / "status", await_end(pid));
  for (const int end : gate) close(end);
  if (second != 0) {
    const std::string end = await_end(second);
    write_file(temp.path / "second-status", second_started ? end : "never started: no hand-shake");
  }
  Files left = entries(folder);
  put_run(left, temp.path, "", argv.size() > 1);
  if (second != 0) put_run(left, temp.path, "second-", argv.size() > 1);
  return left;
}

const fs::path kCases = from_environment("STARMARK_CASES", STARMARK_CASES);

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCases)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  const fs::path folder = kCases / GetParam();
  Files given = entries(folder / "given", true);
  Files expected = entries(folder / "expected" / "files", true);
  const RunSetup setup = apply_notes(folder, given, expected);
  if (setup.limits.count(RLIMIT_AS) &&
      (kSanitized || !from_environment("STARMARK_EMULATOR").empty())) {
    GTEST_SKIP() << "memory-limit: the sanitizers or an emulator need far more address space";
  }
  put_run(expected, folder / "expected", "", false);
  if (!setup.second_stdin.empty()) put_run(expected, folder / "expected", "second-", false);
  expect_same(expected, run(given, text_of(folder / "stdin"), setup));
}

INSTANTIATE_TEST_SUITE_P(Folder, Case, testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
