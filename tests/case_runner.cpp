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
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "workload.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // by relative path: bytes, or what it is

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
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  return bytes.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  check(static_cast<bool>(stream << bytes), "write " + path.string());
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream split(text);
  std::vector<std::string> found;
  for (std::string word; split >> word;) found.push_back(word);
  return found;
}

std::string symlink_entry(const std::string& target) {
  return "<symbolic link to " + target + ">";
}

// What is below `root`. A case folder's symbolic links are read through: the
// example case takes the files of examples/.
Files entries(const fs::path& root, bool through_links = false) {
  Files found;
  if (!fs::exists(root)) return found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const fs::file_status status = through_links ? entry.status() : entry.symlink_status();
    std::string& what = found[entry.path().lexically_relative(root).string()];
    if (fs::is_regular_file(status)) {
      what = read_file(entry.path());
    } else if (fs::is_symlink(status)) {
      what = symlink_entry(fs::read_symlink(entry.path()).string());
    } else {
      what = fs::is_directory(status) ? "<directory>" : fs::is_fifo(status) ? "<fifo>" : "<other>";
    }
  }
  return found;
}

// A mismatch, with GoogleTest's escapes for line feeds and other control
// bytes; long texts are shown from a little before their first difference.
void expect_same(const std::string& what, const std::string& expected, const std::string& actual) {
  if (expected == actual) return;
  const auto first = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const size_t from =
      std::max(expected.size(), actual.size()) <= 3000
          ? 0
          : static_cast<size_t>(std::max<ptrdiff_t>(first.first - expected.begin() - 200, 0));
  EXPECT_EQ(expected.substr(from, 3000), actual.substr(from, 3000))
      << what << " differs (" << expected.size() << " bytes expected, " << actual.size()
      << " actual), shown from byte " << from;
}

// What a run leaves, or must leave.
struct Trace {
  std::string out;
  std::string err;
  std::string status;  // "exit N" or "signal N"
  Files files;
};

void expect_same(const Trace& expected, const Trace& actual) {
  expect_same("standard output", expected.out, actual.out);
  expect_same("standard error", expected.err, actual.err);
  expect_same("end of the process", expected.status, actual.status);
  for (const auto& [path, bytes] : expected.files) {
    if (actual.files.count(path) == 0) ADD_FAILURE() << "missing file " << path;
  }
  for (const auto& [path, bytes] : actual.files) {
    if (expected.files.count(path) == 0) {
      ADD_FAILURE() << "unexpected file " << path << ": "
                    << testing::PrintToString(bytes.substr(0, 3000));
    } else {
      expect_same("file " + path, expected.files.at(path), bytes);
    }
  }
}

int signal_number(const std::string& name) {
  const std::map<std::string, int> known = {{"HUP", SIGHUP},   {"INT", SIGINT},   {"QUIT", SIGQUIT},
                                            {"TRAP", SIGTRAP}, {"ABRT", SIGABRT}, {"FPE", SIGFPE},
                                            {"TERM", SIGTERM}, {"PIPE", SIGPIPE}};
  if (known.count(name) == 0) throw std::runtime_error("unknown signal " + name);
  return known.at(name);
}

// The start of the benchmarks' largest star list: its three header lines
// and its first `count` records.
std::string workload_stars(size_t count) {
  static const std::string stars = starmark_bench::star_list_text(starmark_bench::make_workload());
  size_t end = 0;
  for (size_t line = 0; line < 3 + count; ++line) end = stars.find('\n', end) + 1;
  return stars.substr(0, end);
}

// What a run is given besides its files: the notes of a case's setup file.
struct RunSetup {
  std::string input = "file";   // or "pipe", "closed"
  std::string output = "file";  // or "/dev/full", "closed", "same-as-stderr"
  bool unprivileged = false;
  int ignored_signal = 0;
  int signal = 0;
  std::string removed;
  std::vector<std::pair<std::string, mode_t>> modes;
  std::vector<std::string> directories;
  std::map<std::string, std::string> symlinks;   // path, target
  std::map<std::string, bool> fifos;             // path, kept open until the run ends
  std::map<std::string, std::string> workloads;  // path, the bytes it starts with
};

RunSetup parse_setup(const std::string& text) {
  RunSetup setup;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> w = words(line);
    const auto is = [&](const char* note, size_t count) {
      return w.size() == count && w[0] == note;
    };
    if (is("stdin", 2) && (w[1] == "pipe" || w[1] == "closed")) {
      setup.input = w[1];
    } else if (is("stdout", 2) &&
               (w[1] == "/dev/full" || w[1] == "closed" || w[1] == "same-as-stderr")) {
      setup.output = w[1];
    } else if (is("unprivileged", 1)) {
      setup.unprivileged = true;
    } else if (is("ignore-signal", 2)) {
      setup.ignored_signal = signal_number(w[1]);
    } else if (is("signal", 2)) {
      setup.signal = signal_number(w[1]);
    } else if (is("remove", 2)) {
      setup.removed = w[1];
    } else if (is("mode", 3)) {
      setup.modes.emplace_back(w[1], static_cast<mode_t>(std::stoul(w[2], nullptr, 8)));
    } else if (is("directory", 2)) {
      setup.directories.push_back(w[1]);
    } else if (is("symlink", 3)) {
      setup.symlinks[w[1]] = w[2];
    } else if (is("fifo", 2) || (is("fifo", 3) && w[2] == "kept-open")) {
      setup.fifos[w[1]] = w.size() == 3;
    } else if (is("workload-stars", 3)) {
      setup.workloads[w[1]] = workload_stars(std::stoul(w[2]));
    } else {
      throw std::runtime_error("unknown setup note: " + line);
    }
  }
  if ((setup.signal != 0 || !setup.removed.empty()) && setup.fifos.size() != 1) {
    throw std::runtime_error("a signal or a removal needs exactly one FIFO");
  }
  setup.unprivileged = setup.unprivileged && geteuid() == 0;
  return setup;
}

// A folder for one run, removed with all it holds: the run folder "run", the
// captured streams and, for an unprivileged run, a copy of the program.
struct TempFolder {
  const fs::path path = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/starmark-case-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    fs::permissions(pattern, fs::perms(0711));  // the unprivileged run passes through
    return fs::path(pattern);
  }();
  ~TempFolder() {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path, ignored);
  }
};

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

// More than the program takes in one read: it reads at most 64 KiB at a time.
constexpr size_t kBeyondAnyRead = 1 << 20;

// Feeds one FIFO of the run from a thread of its own. Its open for writing
// returns once the program has opened the FIFO for reading; the program meets
// the FIFO's end when the feeder closes it.
//
// The hand-shake, when the case signals the program or removes a file while
// the program waits for more of its position log: after the log the feeder
// writes blanks and a line feed, which a position log reads as nothing, more
// of them than the pipe holds plus kBeyondAnyRead. When that blocking write
// returns, at most the pipe's capacity is unread, so the program has made a
// read that began past the end of the log. It reads again only once it has
// taken every byte it holds, so that read came while it read the position
// after the log's last one, with every position of the log handled; all it
// still has to take are blanks. Only then does the feeder act. kill() returns
// with the signal pending, so the program handles it before it can see the
// end of the FIFO, which the feeder closes next.
class Feeder {
 public:
  Feeder(fs::path path, std::string bytes, bool kept_open, std::function<void()> act)
      : path_(std::move(path)),
        bytes_(std::move(bytes)),
        kept_open_(kept_open),
        act_(std::move(act)),
        released_(release_.get_future()),
        thread_([this] { feed(); }) {}
  Feeder(const Feeder&) = delete;
  Feeder& operator=(const Feeder&) = delete;

  // Called once the program has ended: lets the feeder end wherever it
  // stands. A reader of our own releases a feeder still waiting in its open,
  // which then writes nothing, and takes what a feeder still writes until it
  // closes.
  ~Feeder() {
    ended_ = true;
    release_.set_value();
    const int reader = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader >= 0) {
      fcntl(reader, F_SETFL, 0);
      char sink[4096];
      while (read(reader, sink, sizeof sink) > 0) {
      }
    }
    thread_.join();
    if (reader >= 0) close(reader);
  }

 private:
  void feed() {
    const int fd = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (!ended_ && write_all(fd, bytes_) && act_) {
      const size_t capacity = static_cast<size_t>(fcntl(fd, F_GETPIPE_SZ));
      const std::string blanks = std::string(capacity + kBeyondAnyRead, ' ') + "\n";
      if (write_all(fd, blanks) && !ended_) act_();
    }
    if (kept_open_) released_.wait();
    close(fd);
  }

  fs::path path_;
  std::string bytes_;
  bool kept_open_;
  std::function<void()> act_;
  std::atomic<bool> ended_{false};
  std::promise<void> release_;
  std::future<void> released_;
  std::thread thread_;
};

// In the child: reports why the program could not be started.
[[noreturn]] void fail(const std::string& what) {
  const std::string message = "harness: " + what + ": " + std::strerror(errno);
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) _exit(126);
  _exit(127);
}

// In the child: the standard streams (a negative descriptor closes one), the
// signals as a fresh process has them, the run folder, and the user.
[[noreturn]] void exec_program(const std::vector<std::string>& argv, const fs::path& folder,
                               const int (&streams)[3], const RunSetup& setup) {
  for (const int target : {STDERR_FILENO, STDIN_FILENO, STDOUT_FILENO}) {
    if (streams[target] < 0) close(target);
    if (streams[target] >= 0 && dup2(streams[target], target) < 0) fail("dup2");
  }
  for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (setup.ignored_signal != 0) std::signal(setup.ignored_signal, SIG_IGN);
  if (chdir(folder.c_str()) != 0) fail("chdir");
  // An abnormal end leaves no core file in the run folder, where it would
  // count as a file the run left.
  const rlimit no_core{0, 0};
  if (setrlimit(RLIMIT_CORE, &no_core) != 0) fail("setrlimit");
  if (setup.unprivileged &&
      (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
       setresuid(kNobody, kNobody, kNobody) != 0)) {
    fail("dropping privileges");
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // should the tests be stopped
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  fail("exec " + argv[0]);
}

int open_or_throw(const fs::path& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
  check(fd >= 0, "open " + path.string());
  return fd;
}

// Lays out the run folder: the given files, then what the notes make.
void lay_out(const fs::path& folder, const Files& given, const RunSetup& setup) {
  for (const auto& [path, bytes] : given) {
    fs::create_directories((folder / path).parent_path());
    if (setup.fifos.count(path) == 0) write_file(folder / path, bytes);
  }
  for (const std::string& path : setup.directories) fs::create_directory(folder / path);
  for (const auto& [path, target] : setup.symlinks) fs::create_symlink(target, folder / path);
  for (const auto& fifo : setup.fifos) {
    check(mkfifo((folder / fifo.first).c_str(), 0600) == 0, "mkfifo " + fifo.first);
  }
  if (setup.unprivileged) {
    check(lchown(folder.c_str(), kNobody, kNobody) == 0, "lchown");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      check(lchown(entry.path().c_str(), kNobody, kNobody) == 0, "lchown " + entry.path().string());
    }
  }
  for (const auto& [path, mode] : setup.modes) fs::permissions(folder / path, fs::perms(mode));
}

// Runs the program on `given` and `input` as `setup` says.
Trace run(const Files& given, const std::string& input, const RunSetup& setup) {
  std::signal(SIGPIPE, SIG_IGN);  // a feeder may write to a FIFO the program has left
  TempFolder temp;
  const fs::path folder = temp.path / "run";
  fs::create_directory(folder);
  lay_out(folder, given, setup);
  const char* chosen = std::getenv("STARMARK_PROGRAM");
  fs::path program = fs::absolute(chosen && *chosen ? chosen : STARMARK_BINARY);
  if (setup.unprivileged) {
    // The program's own folder may be closed to that user.
    fs::copy_file(program, temp.path / "starmark");
    program = temp.path / "starmark";
    fs::permissions(program, fs::perms(0755));
  }
  const char* emulator = std::getenv("STARMARK_EMULATOR");
  std::vector<std::string> argv = words(emulator ? emulator : "");
  argv.push_back(program.string());

  // Standard input, output and error, by their numbers 0, 1 and 2.
  int streams[3] = {-1, -1, open_or_throw(temp.path / "stderr", O_WRONLY | O_CREAT | O_TRUNC)};
  int input_pipe = -1;
  if (setup.input == "file") {
    write_file(temp.path / "stdin", input);
    streams[0] = open_or_throw(temp.path / "stdin", O_RDONLY);
  } else if (setup.input == "pipe") {
    int ends[2];
    check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
    streams[0] = ends[0];
    input_pipe = ends[1];
  }
  if (setup.output == "file") {
    streams[1] = open_or_throw(temp.path / "stdout", O_WRONLY | O_CREAT | O_TRUNC);
  } else if (setup.output == "/dev/full") {
    streams[1] = open_or_throw("/dev/full", O_WRONLY);
  } else if (setup.output == "same-as-stderr") {
    streams[1] = fcntl(streams[2], F_DUPFD_CLOEXEC, 0);
  }

  const pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) exec_program(argv, folder, streams, setup);
  for (const int fd : streams) {
    if (fd >= 0) close(fd);
  }
  {
    const auto act = [&] {
      if (setup.signal != 0) kill(pid, setup.signal);
      if (!setup.removed.empty()) fs::remove(folder / setup.removed);
    };
    const bool acts = setup.signal != 0 || !setup.removed.empty();
    std::vector<std::unique_ptr<Feeder>> feeders;
    for (const auto& [path, kept_open] : setup.fifos) {
      feeders.push_back(std::make_unique<Feeder>(folder / path, given.at(path), kept_open,
                                                 acts ? std::function<void()>(act) : nullptr));
    }
    if (input_pipe >= 0) {
      write_all(input_pipe, input);
      close(input_pipe);
    }
    // Waits for the end without reaping the process, so that its number
    // cannot pass to another process before the feeders are done.
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
      check(errno == EINTR, "waitid");
    }
  }
  int status = 0;
  check(waitpid(pid, &status, 0) == pid, "waitpid");

  Trace trace;
  if (setup.output == "file") trace.out = read_file(temp.path / "stdout");
  trace.err = read_file(temp.path / "stderr");
  // Under qemu a program that a signal ends leaves one more line on standard
  // error, qemu's own.
  const size_t qemu_line = ("\n" + trace.err).rfind("\nqemu: uncaught target signal");
  if (argv.size() > 1 && qemu_line != std::string::npos) {
    const size_t end = trace.err.find('\n', qemu_line);
    trace.err.erase(qemu_line, end == std::string::npos ? end : end + 1 - qemu_line);
  }
  trace.status = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                     : "exit " + std::to_string(WEXITSTATUS(status));
  trace.files = entries(folder);
  return trace;
}

fs::path cases_folder() {
  const char* chosen = std::getenv("STARMARK_CASES");
  return chosen && *chosen ? chosen : STARMARK_CASES;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(cases_folder())) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string text_of(const fs::path& path) {
  return fs::exists(path) ? read_file(path) : "";
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, Run) {
  const fs::path folder = cases_folder() / GetParam();
  const RunSetup setup = parse_setup(text_of(folder / "setup"));
  const fs::path expected = folder / "expected";
  const std::vector<std::string> status = words(read_file(expected / "status"));
  Trace trace = {read_file(expected / "stdout"), read_file(expected / "stderr"),
                 status.at(0) + " " + status.at(1), entries(expected / "files", true)};
  Files given = entries(folder / "given", true);
  for (auto it = given.begin(); it != given.end();) {
    it = it->second == "<directory>" ? given.erase(it) : std::next(it);
  }
  for (const std::string& path : setup.directories) trace.files[path] = "<directory>";
  for (const auto& [path, target] : setup.symlinks) trace.files[path] = symlink_entry(target);
  for (const auto& fifo : setup.fifos) trace.files[fifo.first] = "<fifo>";
  for (const auto& [path, start] : setup.workloads) {
    given[path] = start + given[path];
    trace.files[path] = start + trace.files[path];
  }
  expect_same(trace, run(given, text_of(folder / "stdin"), setup));
}

INSTANTIATE_TEST_SUITE_P(Folder, Case, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
