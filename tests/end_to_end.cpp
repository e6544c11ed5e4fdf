#include "end_to_end.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace starmark_e2e {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uid_t kNobody = 65534;
constexpr auto kRunTimeLimit = std::chrono::seconds(60);
// How long the program may go on after the test sees it waiting on a FIFO,
// before the test acts.
constexpr auto kSettleTime = milliseconds(150);

std::string escaped(std::string_view bytes) {
  std::string text = "\"";
  for (const unsigned char byte : bytes) {
    switch (byte) {
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '"':
        text += "\\\"";
        break;
      default:
        if (byte < 0x20 || byte >= 0x7f) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", byte);
          text += hex;
        } else {
          text += static_cast<char>(byte);
        }
    }
  }
  return text + "\"";
}

// Both sides of a mismatch; long texts are shown around their first difference.
std::string both_sides(const std::string& expected, const std::string& actual) {
  constexpr size_t kWhole = 3000;
  std::ostringstream shown;
  if (expected.size() <= kWhole && actual.size() <= kWhole) {
    shown << "  expected: " << escaped(expected) << "\n  actual:   " << escaped(actual);
    return shown.str();
  }
  size_t first = 0;
  while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) {
    ++first;
  }
  const size_t from = first > 200 ? first - 200 : 0;
  shown << "  " << expected.size() << " bytes expected, " << actual.size()
        << " bytes actual, first difference at byte " << first << "; from byte " << from
        << ":\n  expected: " << escaped(expected.substr(from, 600))
        << "\n  actual:   " << escaped(actual.substr(from, 600));
  return shown.str();
}

std::string describe(const Outcome& outcome) {
  if (!outcome.by_signal) return "exit status " + std::to_string(outcome.value);
  return "signal " + std::to_string(outcome.value) + " (" + strsignal(outcome.value) + ")";
}

bool running_as_root() {
  return geteuid() == 0;
}

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string read_whole(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    chmod(path.c_str(), 0600);  // a write-only input, when the tests do not run as root
    stream.open(path, std::ios::binary);
  }
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  return bytes.str();
}

void write_whole(const std::string& path, std::string_view bytes) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  check(static_cast<bool>(stream), "write " + path);
}

void remove_tree(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return;
  if (S_ISDIR(status.st_mode)) {
    chmod(path.c_str(), 0700);
    if (DIR* folder = opendir(path.c_str())) {
      while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") remove_tree(path + "/" + name);
      }
      closedir(folder);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

// A folder that holds the run folder and the captured streams.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/starmark-e2e-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    path_ = pattern;
    check(chmod(path_.c_str(), 0711) == 0, "chmod");  // the unprivileged run passes through
  }
  ~TempFolder() { remove_tree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// What the folder holds, by relative path: a file's bytes, or the kind of
// entry for anything else.
std::string rendered(const Entry& entry) {
  switch (entry.type) {
    case EntryType::kFile:
      return entry.content;
    case EntryType::kDirectory:
      return "<directory>";
    case EntryType::kSymlink:
      return "<symbolic link to " + entry.content + ">";
    case EntryType::kFifo:
      return "<fifo>";
  }
  return "";
}

void list_folder(const std::string& root, const std::string& relative,
                 std::map<std::string, std::string>* entries) {
  DIR* folder = opendir((root + "/" + relative).c_str());
  check(folder != nullptr, "opendir " + relative);
  while (const dirent* item = readdir(folder)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = relative.empty() ? name : relative + "/" + name;
    const std::string full = root + "/" + path;
    struct stat status;
    check(lstat(full.c_str(), &status) == 0, "lstat " + path);
    if (S_ISREG(status.st_mode)) {
      (*entries)[path] = read_whole(full);
    } else if (S_ISDIR(status.st_mode)) {
      (*entries)[path] = rendered(directory(path));
      list_folder(root, path, entries);
    } else if (S_ISLNK(status.st_mode)) {
      std::string target(4096, '\0');
      const ssize_t size = readlink(full.c_str(), target.data(), target.size());
      target.resize(size > 0 ? static_cast<size_t>(size) : 0);
      (*entries)[path] = rendered(symlink_to(path, target));
    } else if (S_ISFIFO(status.st_mode)) {
      (*entries)[path] = rendered(fifo(path, ""));
    } else {
      (*entries)[path] = "<other>";
    }
  }
  closedir(folder);
}

// Lays the entries; modes are set afterwards, innermost first, so that a
// read-only folder can still be filled.
void lay_out(const std::string& root, const std::vector<Entry>& entries, bool for_nobody) {
  for (const Entry& entry : entries) {
    const std::string path = root + "/" + entry.path;
    switch (entry.type) {
      case EntryType::kFile:
        write_whole(path, entry.content);
        break;
      case EntryType::kDirectory:
        check(mkdir(path.c_str(), 0700) == 0, "mkdir " + entry.path);
        break;
      case EntryType::kSymlink:
        check(symlink(entry.content.c_str(), path.c_str()) == 0, "symlink " + entry.path);
        break;
      case EntryType::kFifo:
        check(mkfifo(path.c_str(), 0600) == 0, "mkfifo " + entry.path);
        break;
    }
  }
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    const std::string path = root + "/" + entry->path;
    if (for_nobody) check(lchown(path.c_str(), kNobody, kNobody) == 0, "lchown " + entry->path);
    if (entry->type != EntryType::kSymlink) {
      check(chmod(path.c_str(), entry->mode) == 0, "chmod " + entry->path);
    }
  }
}

int open_or_throw(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
  check(fd >= 0, "open " + path);
  return fd;
}

// The FIFOs of a run, opened by the test for reading and writing so that the
// program's open never blocks; the program sees their end when the test
// closes them.
class Fifos {
 public:
  Fifos(const std::string& root, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
      if (entry.type != EntryType::kFifo) continue;
      const int fd = open_or_throw(root + "/" + entry.path, O_RDWR | O_NONBLOCK);
      fds_.push_back(fd);
      const ssize_t written = write(fd, entry.content.data(), entry.content.size());
      check(written == static_cast<ssize_t>(entry.content.size()), "fill fifo " + entry.path);
    }
  }
  ~Fifos() { close_all(); }
  Fifos(const Fifos&) = delete;
  Fifos& operator=(const Fifos&) = delete;

  bool empty() const { return fds_.empty(); }
  bool drained(int fd) const {
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 && pending == 0;
  }
  bool all_drained() const {
    for (const int fd : fds_) {
      if (!drained(fd)) return false;
    }
    return true;
  }
  void close_drained() {
    for (auto fd = fds_.begin(); fd != fds_.end();) {
      if (drained(*fd)) {
        close(*fd);
        fd = fds_.erase(fd);
      } else {
        ++fd;
      }
    }
  }
  void close_all() {
    for (const int fd : fds_) close(fd);
    fds_.clear();
  }

 private:
  std::vector<int> fds_;
};

// True when the process sleeps, as it does while it waits on a FIFO.
bool sleeping(pid_t pid) {
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat_line;
  std::getline(stat_file, stat_line);
  const size_t name_end = stat_line.rfind(')');
  return name_end != std::string::npos && name_end + 2 < stat_line.size() &&
         stat_line[name_end + 2] == 'S';
}

// In the child: reports why the program could not be started.
[[noreturn]] void fail(const char* what) {
  const std::string message = std::string("harness: ") + what + ": " + std::strerror(errno);
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) _exit(126);
  _exit(127);
}

[[noreturn]] void exec_program(const std::string& folder, int input_fd, int output_fd, int error_fd,
                               const Setting& setting) {
  if (dup2(error_fd, STDERR_FILENO) < 0) fail("dup2 stderr");
  if (input_fd >= 0) {
    if (dup2(input_fd, STDIN_FILENO) < 0) fail("dup2 stdin");
  } else {
    close(STDIN_FILENO);
  }
  if (output_fd >= 0) {
    if (dup2(output_fd, STDOUT_FILENO) < 0) fail("dup2 stdout");
  } else {
    close(STDOUT_FILENO);
  }
  for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (setting.ignored_signal != 0) std::signal(setting.ignored_signal, SIG_IGN);
  if (chdir(folder.c_str()) != 0) fail("chdir");
  if (setting.unprivileged && running_as_root()) {
    if (setgroups(0, nullptr) != 0) fail("setgroups");
    if (setresgid(kNobody, kNobody, kNobody) != 0) fail("setresgid");
    if (setresuid(kNobody, kNobody, kNobody) != 0) fail("setresuid");
  }
  execl(STARMARK_BINARY, STARMARK_BINARY, static_cast<char*>(nullptr));
  fail("exec " STARMARK_BINARY);
}

// Waits for the program, feeding its FIFOs, and signalling it or removing a
// file of `folder` as the setting asks.
Outcome wait_for(pid_t pid, Fifos& fifos, const Setting& setting, const std::string& folder) {
  const auto deadline = Clock::now() + kRunTimeLimit;
  bool signal_sent = false;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the program did not end within " << kRunTimeLimit.count() << " s";
      return killed_by(SIGKILL);
    }
    const bool acts = setting.signal != 0 || !setting.removed.empty();
    if (acts && !signal_sent && fifos.all_drained() && sleeping(pid)) {
      std::this_thread::sleep_for(kSettleTime);
      if (setting.signal != 0) kill(pid, setting.signal);
      if (!setting.removed.empty())
        check(unlink((folder + "/" + setting.removed).c_str()) == 0, "unlink");
      signal_sent = true;
      std::this_thread::sleep_for(kSettleTime);
      fifos.close_all();
    } else if (!acts && !setting.hold_fifos) {
      fifos.close_drained();
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
  fifos.close_all();
  if (WIFSIGNALED(status)) return killed_by(WTERMSIG(status));
  return exited(WEXITSTATUS(status));
}

struct Result {
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;
  Outcome outcome;
};

Result run(const Case& test_case) {
  const Setting& setting = test_case.setting;
  const bool for_nobody = setting.unprivileged && running_as_root();
  TempFolder temp;
  const std::string folder = temp.path() + "/run";
  check(mkdir(folder.c_str(), 0755) == 0, "mkdir run");
  if (for_nobody) check(chown(folder.c_str(), kNobody, kNobody) == 0, "chown run");
  lay_out(folder, test_case.files, for_nobody);

  int input_fd = -1;
  if (setting.input == Stdin::kFile) {
    write_whole(temp.path() + "/stdin", test_case.input);
    input_fd = open_or_throw(temp.path() + "/stdin", O_RDONLY);
  } else if (setting.input == Stdin::kPipe) {
    int ends[2];
    check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
    // The pipe holds the whole input before the program starts.
    const ssize_t written = write(ends[1], test_case.input.data(), test_case.input.size());
    check(written == static_cast<ssize_t>(test_case.input.size()), "fill stdin pipe");
    close(ends[1]);
    input_fd = ends[0];
  }
  const std::string out_path = temp.path() + "/stdout";
  const std::string err_path = temp.path() + "/stderr";
  const int error_fd = open_or_throw(err_path, O_WRONLY | O_CREAT | O_TRUNC);
  int output_fd = -1;
  switch (setting.output) {
    case Stdout::kFile:
      output_fd = open_or_throw(out_path, O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case Stdout::kDevFull:
      output_fd = open_or_throw("/dev/full", O_WRONLY);
      break;
    case Stdout::kSameAsStderr:
      output_fd = dup(error_fd);
      break;
    case Stdout::kClosed:
      break;
  }

  Result result;
  {
    Fifos fifos(folder, test_case.files);
    const pid_t pid = fork();
    check(pid >= 0, "fork");
    if (pid == 0) exec_program(folder, input_fd, output_fd, error_fd, setting);
    for (const int fd : {input_fd, output_fd, error_fd}) {
      if (fd >= 0) close(fd);
    }
    result.outcome = wait_for(pid, fifos, setting, folder);
  }
  if (setting.output == Stdout::kFile) result.out = read_whole(out_path);
  result.err = read_whole(err_path);
  list_folder(folder, "", &result.files);
  return result;
}

void expect_same(const char* field, const std::string& expected, const std::string& actual) {
  if (expected != actual) ADD_FAILURE() << field << " differs:\n" << both_sides(expected, actual);
}

}  // namespace

void PrintTo(const Case& test_case, std::ostream* os) {
  *os << test_case.name;
}

std::string case_name(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

void run_and_check(const Case& test_case) {
  std::signal(SIGPIPE, SIG_IGN);
  const Result result = run(test_case);

  expect_same("standard output", test_case.out, result.out);
  expect_same("standard error", test_case.err, result.err);
  if (!(test_case.outcome == result.outcome)) {
    ADD_FAILURE() << "end of the process differs:\n  expected: " << describe(test_case.outcome)
                  << "\n  actual:   " << describe(result.outcome);
  }

  std::map<std::string, std::string> expected_files;
  for (const Entry& entry : test_case.files) expected_files[entry.path] = rendered(entry);
  for (const Entry& entry : test_case.files_out) expected_files[entry.path] = rendered(entry);
  expected_files.erase(test_case.setting.removed);
  for (const auto& [path, expected] : expected_files) {
    const auto actual = result.files.find(path);
    if (actual == result.files.end()) {
      ADD_FAILURE() << "file " << escaped(path) << " is missing; expected:\n  "
                    << escaped(expected.substr(0, 3000));
    } else {
      expect_same(("file " + escaped(path)).c_str(), expected, actual->second);
    }
  }
  for (const auto& [path, actual] : result.files) {
    if (expected_files.count(path) == 0) {
      ADD_FAILURE() << "unexpected file " << escaped(path) << ":\n  " << escaped(actual);
    }
  }
}

TEST_P(EndToEnd, Run) {
  run_and_check(GetParam());
}

Case completed_run(std::string name, std::string_view records, std::string_view positions,
                   std::string_view psf_records, std::string_view more_output) {
  return {std::move(name),
          {position_log(positions), star_list(records)},
          standard_answers(),
          prompts(3) + std::string(more_output),
          "",
          {psf_list(psf_records)}};
}

std::string prompts(int count) {
  const std::string_view all[] = {kPrompt1, kPrompt2, kPrompt3};
  std::string text;
  for (int i = 0; i < count; ++i) text += all[i];
  return text;
}

std::string answers(std::string_view log, std::string_view coo, std::string_view psf) {
  return std::string(log) + "\n" + std::string(coo) + "\n" + std::string(psf) + "\n";
}

std::string standard_answers() {
  return answers(kLogName, kCooName, kPsfName);
}

Entry position_log(std::string_view positions) {
  return file(std::string(kLogName), std::string(kLogHeader) + std::string(positions));
}

Entry star_list(std::string_view records) {
  return file(std::string(kCooName), std::string(kCooLine1) + "\n" + std::string(kCooLine2) + "\n" +
                                         std::string(kCooLine3) + "\n" + std::string(records));
}

Entry psf_list(std::string_view records) {
  return file(std::string(kPsfName),
              psf_header(kCooLine1, kCooLine2, kCooLine3) + std::string(records));
}

std::string pad80(std::string_view text) {
  std::string line(text.substr(0, 80));
  line.resize(80, ' ');
  return line;
}

std::string psf_header(std::string_view line1, std::string_view line2, std::string_view line3) {
  return pad80(line1) + "\n" + pad80(line2) + "\n\n" + pad80(line3) + "\n";
}

std::string record(int n, double x, double y, double amag, double a, double b, double c) {
  char line[80];
  std::snprintf(line, sizeof line, "%7d%9.2f%9.2f%9.3f%9.3f%9.3f%9.3f\n", n, x, y, amag, a, b, c);
  return line;
}

std::string not_found(int position) {
  char line[32];
  std::snprintf(line, sizeof line, "  Could not find star%3d\n", position);
  return line;
}

std::string not_found_lines(int first, int last) {
  std::string lines;
  for (int i = first; i <= last; ++i) lines += not_found(i);
  return lines;
}

std::string repeated(std::string_view line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}

std::string named(int unit, std::string_view name) {
  return "unit " + std::to_string(unit) + " named " + std::string(name);
}

std::string unnamed(int unit) {
  return "unit " + std::to_string(unit) + " (unnamed)";
}

std::string fatal_report(std::string_view error, std::string_view unit, std::string_view format,
                         Direction direction) {
  std::string report = std::string(error) + "\napparent state: " + std::string(unit) + "\n";
  if (!format.empty()) report += "last format: " + std::string(format) + "\n";
  report += direction == Direction::kReading ? "lately reading" : "lately writing";
  return report + " sequential formatted external IO\n";
}

double grid_x(int j) {
  return (j % 250) * 20 + 5.25;
}
double grid_y(int j) {
  return (j / 250) * 20 + 5.5;
}

std::string grid_record(int j) {
  return record(j, grid_x(j), grid_y(j), 12.5 + (j % 8) * 0.125, 0.25, -1.5, 0.1);
}

std::string generated_star_list(int count, std::string_view last_line) {
  std::string text =
      std::string(kCooLine1) + "\n" + std::string(kCooLine2) + "\n" + std::string(kCooLine3) + "\n";
  text.reserve(text.size() + static_cast<size_t>(count) * 62 + last_line.size());
  for (int j = 1; j <= count; ++j) text += grid_record(j);
  return text + std::string(last_line);
}

}  // namespace starmark_e2e
