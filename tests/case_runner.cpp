// Whole runs of the built starmark. Each run gets a fresh temporary folder
// with real files and a real standard input; the test then compares the exact
// bytes of standard output, standard error and every file left in the folder,
// and how the process ended. The cases are folders under tests/cases, found
// when the tests run (its README.md describes them), and the star lists at
// the table's capacity, generated here.
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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "workload.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
const std::string kDirectory = "<directory>";
const std::string kFifo = "<fifo>";

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
  stream << bytes;
  check(static_cast<bool>(stream), "write " + path.string());
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

// Everything below `root` by relative path: a file's bytes, or what the entry is.
std::map<std::string, std::string> entries(const fs::path& root) {
  std::map<std::string, std::string> found;
  if (!fs::exists(root)) return found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = entry.path().lexically_relative(root).string();
    const fs::file_status status = entry.symlink_status();
    if (fs::is_regular_file(status)) {
      found[path] = read_file(entry.path());
    } else if (fs::is_directory(status)) {
      found[path] = kDirectory;
    } else if (fs::is_symlink(status)) {
      found[path] = symlink_entry(fs::read_symlink(entry.path()).string());
    } else {
      found[path] = fs::is_fifo(status) ? kFifo : "<other>";
    }
  }
  return found;
}

// Bytes with line feeds, control characters and bytes above 0x7E visible.
std::string escaped(std::string_view bytes) {
  std::string text = "\"";
  for (const unsigned char byte : bytes) {
    if (byte == '\n') {
      text += "\\n";
    } else if (byte == '\\' || byte == '"') {
      text += std::string("\\") + static_cast<char>(byte);
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      text += hex;
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text + "\"";
}

// Both sides of a mismatch; long texts are shown around their first difference.
void expect_same(const std::string& what, const std::string& expected, const std::string& actual) {
  if (expected == actual) return;
  size_t from = 0;
  if (expected.size() > 3000 || actual.size() > 3000) {
    const auto first =
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    from = static_cast<size_t>(std::max<ptrdiff_t>(first.first - expected.begin() - 200, 0));
  }
  ADD_FAILURE() << what << " differs (" << expected.size() << " bytes expected, " << actual.size()
                << " actual" << (from > 0 ? ", shown from byte " + std::to_string(from) : "")
                << "):\n  expected: " << escaped(expected.substr(from, 3000))
                << "\n  actual:   " << escaped(actual.substr(from, 3000));
}

// What a run leaves, or must leave.
struct Trace {
  std::string out;
  std::string err;
  std::string status;  // "exit N" or "signal N"
  std::map<std::string, std::string> files;
};

void expect_same(const Trace& expected, const Trace& actual) {
  expect_same("standard output", expected.out, actual.out);
  expect_same("standard error", expected.err, actual.err);
  expect_same("end of the process", expected.status, actual.status);
  std::map<std::string, std::string> all = expected.files;
  all.insert(actual.files.begin(), actual.files.end());
  for (const auto& [path, bytes] : all) {
    if (expected.files.count(path) == 0) {
      ADD_FAILURE() << "unexpected file " << escaped(path) << ": "
                    << escaped(bytes.substr(0, 3000));
    } else if (actual.files.count(path) == 0) {
      ADD_FAILURE() << "missing file " << escaped(path) << ": " << escaped(bytes.substr(0, 3000));
    } else {
      expect_same("file " + escaped(path), expected.files.at(path), actual.files.at(path));
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
  std::map<std::string, std::string> symlinks;  // path, target
  std::map<std::string, bool> fifos;            // path, kept open until the run ends
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
    } else {
      throw std::runtime_error("unknown setup note: " + line);
    }
  }
  if ((setup.signal != 0 || !setup.removed.empty()) && setup.fifos.size() != 1) {
    throw std::runtime_error("a signal or a removal needs exactly one FIFO");
  }
  return setup;
}

// A folder for one run: the run folder "run", the captured streams and,
// for an unprivileged run, a copy of the program.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/starmark-case-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    path_ = pattern;
    fs::permissions(path_, fs::perms(0711));  // the unprivileged run passes through
  }
  ~TempFolder() {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
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

bool running_as_root() {
  return geteuid() == 0;
}

// The emulator's words, then the program.
std::vector<std::string> command(const fs::path& program) {
  const char* emulator = std::getenv("STARMARK_EMULATOR");
  std::vector<std::string> argv = words(emulator ? emulator : "");
  argv.push_back(program.string());
  return argv;
}

fs::path program() {
  const char* chosen = std::getenv("STARMARK_PROGRAM");
  return fs::absolute(chosen && *chosen ? chosen : STARMARK_BINARY);
}

// In the child: reports why the program could not be started.
[[noreturn]] void fail(const char* what) {
  const std::string message = std::string("harness: ") + what + ": " + std::strerror(errno);
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) _exit(126);
  _exit(127);
}

[[noreturn]] void exec_program(const std::vector<std::string>& argv, const fs::path& folder,
                               int input_fd, int output_fd, int error_fd, const RunSetup& setup) {
  if (dup2(error_fd, STDERR_FILENO) < 0) fail("dup2 stderr");
  if (input_fd < 0) close(STDIN_FILENO);
  if (input_fd >= 0 && dup2(input_fd, STDIN_FILENO) < 0) fail("dup2 stdin");
  if (output_fd < 0) close(STDOUT_FILENO);
  if (output_fd >= 0 && dup2(output_fd, STDOUT_FILENO) < 0) fail("dup2 stdout");
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
  if (setup.unprivileged && running_as_root()) {
    if (setgroups(0, nullptr) != 0) fail("setgroups");
    if (setresgid(kNobody, kNobody, kNobody) != 0) fail("setresgid");
    if (setresuid(kNobody, kNobody, kNobody) != 0) fail("setresuid");
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // should the tests be stopped
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  fail(("exec " + argv[0]).c_str());
}

int open_or_throw(const fs::path& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
  check(fd >= 0, "open " + path.string());
  return fd;
}

// Lays out the run folder: the given files, then what the notes make.
void lay_out(const fs::path& folder, const std::map<std::string, std::string>& given,
             const RunSetup& setup) {
  for (const auto& [path, bytes] : given) {
    fs::create_directories((folder / path).parent_path());
    if (setup.fifos.count(path) == 0) write_file(folder / path, bytes);
  }
  for (const std::string& path : setup.directories) fs::create_directory(folder / path);
  for (const auto& [path, target] : setup.symlinks) fs::create_symlink(target, folder / path);
  for (const auto& fifo : setup.fifos) {
    check(mkfifo((folder / fifo.first).c_str(), 0600) == 0, "mkfifo " + fifo.first);
  }
  if (setup.unprivileged && running_as_root()) {
    check(lchown(folder.c_str(), kNobody, kNobody) == 0, "lchown");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      check(lchown(entry.path().c_str(), kNobody, kNobody) == 0, "lchown " + entry.path().string());
    }
  }
  for (const auto& [path, mode] : setup.modes) fs::permissions(folder / path, fs::perms(mode));
}

// Under qemu a program that a signal ends leaves one more line on standard
// error, qemu's own.
void drop_emulator_line(std::string* err) {
  // Offsets in `lines` are those of `err` plus one: the line feed before a line.
  const std::string lines = "\n" + *err;
  const size_t at = lines.rfind("\nqemu: uncaught target signal");
  if (at == std::string::npos) return;
  const size_t end = lines.find('\n', at + 1);
  err->erase(at, end == std::string::npos ? std::string::npos : end - at);
}

// Runs the program on `given` and `input` as `setup` says.
Trace run(const std::map<std::string, std::string>& given, const std::string& input,
          const RunSetup& setup) {
  std::signal(SIGPIPE, SIG_IGN);  // a feeder may write to a FIFO the program has left
  TempFolder temp;
  const fs::path folder = temp.path() / "run";
  fs::create_directory(folder);
  lay_out(folder, given, setup);
  fs::path program_path = program();
  if (setup.unprivileged && running_as_root()) {
    // The program's own folder may be closed to that user.
    fs::copy_file(program_path, temp.path() / "starmark");
    program_path = temp.path() / "starmark";
    fs::permissions(program_path, fs::perms(0755));
  }
  const std::vector<std::string> argv = command(program_path);

  int input_fd = -1;
  int input_pipe = -1;
  if (setup.input == "file") {
    write_file(temp.path() / "stdin", input);
    input_fd = open_or_throw(temp.path() / "stdin", O_RDONLY);
  } else if (setup.input == "pipe") {
    int ends[2];
    check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
    input_fd = ends[0];
    input_pipe = ends[1];
  }
  const int error_fd = open_or_throw(temp.path() / "stderr", O_WRONLY | O_CREAT | O_TRUNC);
  int output_fd = -1;
  if (setup.output == "file") {
    output_fd = open_or_throw(temp.path() / "stdout", O_WRONLY | O_CREAT | O_TRUNC);
  } else if (setup.output == "/dev/full") {
    output_fd = open_or_throw("/dev/full", O_WRONLY);
  } else if (setup.output == "same-as-stderr") {
    output_fd = fcntl(error_fd, F_DUPFD_CLOEXEC, 0);
  }

  const pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) exec_program(argv, folder, input_fd, output_fd, error_fd, setup);
  for (const int fd : {input_fd, output_fd, error_fd}) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
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
  check(waitpid(pid, &status, 0) == pid, "waitpid");

  Trace trace;
  if (setup.output == "file") trace.out = read_file(temp.path() / "stdout");
  trace.err = read_file(temp.path() / "stderr");
  if (argv.size() > 1) drop_emulator_line(&trace.err);
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
  std::string status;
  for (const std::string& word : words(read_file(expected / "status"))) {
    status += (status.empty() ? "" : " ") + word;
  }
  Trace trace = {read_file(expected / "stdout"), read_file(expected / "stderr"), status,
                 entries(expected / "files")};
  for (const std::string& path : setup.directories) trace.files[path] = kDirectory;
  for (const auto& [path, target] : setup.symlinks) trace.files[path] = symlink_entry(target);
  for (const auto& fifo : setup.fifos) trace.files[fifo.first] = kFifo;
  std::map<std::string, std::string> given = entries(folder / "given");
  for (auto it = given.begin(); it != given.end();) {
    it = it->second == kDirectory ? given.erase(it) : std::next(it);
  }
  expect_same(trace, run(given, text_of(folder / "stdin"), setup));
}

INSTANTIATE_TEST_SUITE_P(Folder, Case, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// The table holds 50,000 stars. These star lists hold the first 49,999
// stars of the benchmarks' largest workload, then the lines of the case.
struct CapacityCase {
  const char* name;
  std::string last_lines;
  std::vector<starmark_bench::BenchPosition> positions;  // after the position of star 1
  std::string out;                                       // after the prompts
  std::string psf_records;                               // after the record of star 1
};

void PrintTo(const CapacityCase& capacity_case, std::ostream* os) {
  *os << capacity_case.name;
}

const std::string kStar50000 = "  50000     5.25  4005.50   12.500    0.250   -1.500    0.100\n";
// Announced when the table is full: the count, then star 50,000's fields.
const std::string kFullTable = " 50000 50000  5.25  4005.5  12.5  0.25 -1.5  0.100000001\n";
const std::vector<starmark_bench::BenchPosition> kPositions = {
    {525, 400550}, {2525, 400550}, {9999900, 9999900}};

const CapacityCase kCapacityCases[] = {
    {"FortyNineThousandNineHundredNinetyNineRecords", "", kPositions,
     "  Could not find star  2\n  Could not find star  3\n  Could not find star  4\n", ""},
    {"FiftyThousandRecords", kStar50000, kPositions,
     kFullTable + "  Could not find star  3\n  Could not find star  4\n", kStar50000},
    // Record 50,001 is never read, so its bad character goes unnoticed.
    {"FiftyThousandAndOneRecords",
     kStar50000 + "  50001   X25.25  4005.50   12.625    0.250   -1.500    0.100\n", kPositions,
     kFullTable + "  Could not find star  3\n  Could not find star  4\n", kStar50000},
    // The last item would take the line past 79 characters, so it starts a new one.
    {"CapacityLineWraps",
     "  50000-12345.67-23456.78-1234.567   -0.123   -0.789   -0.321\n",
     {{-1234567, -2345678}},
     " 50000 50000 -12345.6699 -23456.7793 -1234.56702 -0.123000003 -0.788999975\n"
     " -0.32100001\n",
     "  50000-12345.67-23456.78-1234.567   -0.123   -0.789   -0.321\n"},
};

class Capacity : public testing::TestWithParam<CapacityCase> {};

TEST_P(Capacity, Run) {
  static const starmark_bench::Workload workload = starmark_bench::make_workload();
  static const std::string stars = starmark_bench::star_list_text(workload);
  const auto end_of_line = [&](int line) {
    size_t end = 0;
    for (int passed = 0; passed < line; ++passed) end = stars.find('\n', end) + 1;
    return end;
  };
  // Three header lines, then the records.
  const std::string star1_record = stars.substr(end_of_line(3), end_of_line(4) - end_of_line(3));

  const CapacityCase& c = GetParam();
  std::vector<starmark_bench::BenchPosition> positions = {
      {workload.stars[0].x, workload.stars[0].y}};
  positions.insert(positions.end(), c.positions.begin(), c.positions.end());
  const std::map<std::string, std::string> given = {
      {"pos.log", starmark_bench::position_log_text(positions)},
      {"stars.coo", stars.substr(0, end_of_line(3 + 49999)) + c.last_lines}};
  Trace expected = {
      "  Imedit logfile name:\n  Image.coo file:\n  Output file of stars for PSF:\n" + c.out, "",
      "exit 0", given};
  // The header lines are padded with blanks to 80 characters.
  expected.files["out.psf"] =
      " Star coordinates of image bench.fits, 4096 x 4096 pixels, 50000 stars          \n"
      " Detection threshold 4.0 sigma above sky, FWHM 3.2 pixels, gain 2.5 e-/ADU      \n"
      "\n"
      "      n        x        y     amag        a        b        c                   \n" +
      star1_record + c.psf_records;
  expect_same(expected, run(given, "pos.log\nstars.coo\nout.psf\n", RunSetup()));
}

INSTANTIATE_TEST_SUITE_P(Generated, Capacity, testing::ValuesIn(kCapacityCases),
                         [](const testing::TestParamInfo<CapacityCase>& info) {
                           return info.param.name;
                         });

}  // namespace
