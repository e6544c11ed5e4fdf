#include "units.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "abnormal_end.h"

namespace starmark {

namespace {

constexpr int kUnitCount = 7;

struct Unit {
  bool connected = false;
  // Opened by the run (units 2, 3 and 4), as opposed to a standard stream.
  bool named = false;
  std::string_view name;
  int fd = -1;
  std::optional<InputStream> input;
  std::optional<OutputStream> output;
  // The file exists but may not be written; the first write fails.
  bool write_refused = false;
};

Unit g_units[kUnitCount];
// What a signal handler may touch: published once a stream is complete.
std::atomic<OutputStream*> g_signal_outputs[kUnitCount];
std::atomic<bool> g_closed{false};

// The statement in progress (or the last one), for the fatal report.
StatementState g_statement{kInputUnit, {}, false, false};

bool close_all_units();

// Reports a failure of the current statement, closes all units and ends the
// process abnormally.
[[noreturn]] void fatal(const Status& status) {
  const Unit& unit = g_units[g_statement.unit];
  report_failure(status, g_statement, unit.named ? &unit.name : nullptr);
  close_all_units();
  abnormal_end();
}

[[noreturn]] void out_of_free_space() {
  fatal(Status::program("alloc", kOutOfFreeSpace));
}

void connect(int number, int fd) {
  Unit& unit = g_units[number];
  unit.connected = true;
  unit.fd = fd;
}

void connect_input(int number, int fd) {
  connect(number, fd);
  if (!g_units[number].input.emplace(fd).allocated()) out_of_free_space();
}

// Names the unit for reports; fails for names the system cannot take.
Status name_unit(int number, std::string_view name) {
  Unit& unit = g_units[number];
  unit.named = true;
  unit.name = name;
  if (name.empty()) return Status::program("open", kNullFileName);
  if (name.find('\0') != std::string_view::npos) {
    return Status::program("open", kNulInFileName);
  }
  return Status();
}

bool same_file(const struct stat& file, int number) {
  const Unit& unit = g_units[number];
  struct stat other {};
  return unit.connected && ::fstat(unit.fd, &other) == 0 && other.st_dev == file.st_dev &&
         other.st_ino == file.st_ino;
}

// The PSF star list may not be a file that the run reads, nor the regular
// file behind a standard stream (`>> log` answered /dev/stdout); a terminal,
// pipe or device is no file that writing could destroy.
bool is_an_input(const struct stat& file) {
  return same_file(file, kPositionLogUnit) || same_file(file, kStarListUnit) ||
         (S_ISREG(file.st_mode) && (same_file(file, kInputUnit) || same_file(file, kOutputUnit) ||
                                    same_file(file, kErrorUnit)));
}

size_t block_size_of(int fd) {
  struct stat file {};
  if (::fstat(fd, &file) == 0 && file.st_blksize > 0) return static_cast<size_t>(file.st_blksize);
  return BUFSIZ;
}

void publish_output(int number, int fd, OutputStream::Buffering buffering,
                    bool replaces_file = false) {
  Unit& unit = g_units[number];
  unit.output.emplace(fd, block_size_of(fd), buffering, replaces_file);
  if (!unit.output->allocated()) out_of_free_space();
  g_signal_outputs[number].store(&*unit.output);
}

// A standard stream that the caller closed stays closed for the run: its
// descriptor is held on /dev/null, so that no file the run opens takes its
// place, and the unit gets none (its reads and writes fail).
int standard_descriptor(int fd) {
  if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) return fd;
  ::open("/dev/null", O_RDWR);
  return -1;
}

// ---------------------------------------------------------------------------
// Statements

void begin_statement(int number, std::string_view format, bool reading) {
  g_statement = {number, format, true, reading};
  if (!reading && g_units[number].write_refused)
    fatal(Status::program("write start", kCantWriteFile));
}

// After a formatted statement the report shows no format; after a
// list-directed one it still shows "list io".
void end_statement() {
  if (g_statement.format != kListDirectedFormat) g_statement.format_current = false;
}

// Hands the text of a write statement, whole lines, to the unit's stream.
void write_out(std::string_view text) {
  OutputStream& output = *g_units[g_statement.unit].output;
  while (!text.empty()) {
    const size_t line_end = text.find('\n');
    const size_t length = line_end == std::string_view::npos ? text.size() : line_end + 1;
    if (Status written = output.write_line(text.substr(0, length), "write"); !written.ok()) {
      fatal(written);
    }
    text.remove_prefix(length);
  }
  end_statement();
}

void close_units_from_signal() noexcept {
  if (g_closed.exchange(true)) return;
  for (std::atomic<OutputStream*>& output : g_signal_outputs) {
    if (OutputStream* stream = output.load()) stream->flush_from_signal();
  }
}

}  // namespace

void start_run() {
  install_signal_handlers(close_units_from_signal);
  const int input_fd = standard_descriptor(STDIN_FILENO);
  const int output_fd = standard_descriptor(STDOUT_FILENO);
  connect(kErrorUnit, standard_descriptor(STDERR_FILENO));
  connect_input(kInputUnit, input_fd);
  connect(kOutputUnit, output_fd);
  publish_output(
      kOutputUnit, output_fd,
      ::isatty(output_fd) == 1 ? OutputStream::Buffering::kLine : OutputStream::Buffering::kFull);
}

void open_existing(int number, std::string_view name) {
  g_statement.unit = number;
  if (Status status = name_unit(number, name); !status.ok()) fatal(status);
  const int fd = ::open(name.data(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fatal(Status::system("open", errno));
  connect_input(number, fd);
}

void open_or_create(int number, std::string_view name) {
  g_statement.unit = number;
  if (Status status = name_unit(number, name); !status.ok()) fatal(status);
  Unit& unit = g_units[number];
  const int fd = ::open(name.data(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int open_error = errno;
    struct stat file {};
    const bool exists = ::stat(name.data(), &file) == 0;
    if (exists && is_an_input(file)) fatal(Status::program("open", kOutputIsInput));
    if (!exists || (open_error != EACCES && open_error != EPERM && open_error != EROFS)) {
      fatal(Status::system("open", open_error));
    }
    // It exists but may not be written: that shows at the first write.
    unit.write_refused = true;
    return;
  }
  struct stat file {};
  if (::fstat(fd, &file) == 0 && is_an_input(file)) {
    ::close(fd);
    fatal(Status::program("open", kOutputIsInput));
  }
  connect(number, fd);
  const bool regular = S_ISREG(file.st_mode);
  // A second run on the file waits here until the first has ended. The
  // wait ends only with the lock, or with the run: no handled signal
  // returns. A file system without locks is written without one.
  if (regular) ::flock(fd, LOCK_EX);
  publish_output(number, fd, OutputStream::Buffering::kWholeLines, regular);
}

Status begin_read_statement(int unit, std::string_view format, InputStream** input) {
  begin_statement(unit, format, true);
  *input = &*g_units[unit].input;
  return (*input)->end_met() ? Status::end_of_file("read start") : Status();
}

bool end_read_statement(const Status& status, AtEndOfFile at_end) {
  if (status.end_of_file() && at_end == AtEndOfFile::kReturnFalse) return false;
  if (!status.ok()) fatal(status);
  end_statement();
  return true;
}

void write_statement(int unit, std::string_view format, std::string_view lines) {
  begin_statement(unit, format, false);
  write_out(lines);
}

namespace {

bool close_all_units() {
  SignalBlock block;
  if (g_closed.exchange(true)) return true;
  bool all_written = true;
  g_statement.format_current = false;
  g_statement.reading = false;
  for (Unit& unit : g_units) {
    if (!unit.connected) continue;
    g_statement.unit = static_cast<int>(&unit - g_units);
    Status status = unit.output ? unit.output->flush("close") : Status();
    if (unit.named && unit.fd >= 0 && ::close(unit.fd) != 0 && status.ok()) {
      status = Status::system("close", errno);
    }
    if (!status.ok()) {
      report_failure(status, g_statement, unit.named ? &unit.name : nullptr);
      all_written = false;
    }
  }
  return all_written;
}

}  // namespace

void stop() {
  if (!close_all_units()) abnormal_end();
  std::exit(0);
}

}  // namespace starmark
