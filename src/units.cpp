#include "units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace starmark {

const char* library_error_text(LibraryError error) {
  switch (error) {
    case LibraryError::kErrorInFormat:
      return "error in format";
    case LibraryError::kNullFileName:
      return "null file name";
    case LibraryError::kNulInFileName:
      return "file name contains a NUL byte";
    case LibraryError::kOutputIsInput:
      return "output file is an input file";
    case LibraryError::kReadUnexpectedCharacter:
      return "read unexpected character";
    case LibraryError::kIncomprehensibleListInput:
      return "incomprehensible list input";
    case LibraryError::kCantWriteFile:
      return "can't write file";
  }
  return "unknown error";
}

std::string Status::message() const {
  std::string text = prefix_;
  text += ": ";
  switch (kind_) {
    case Kind::kOk:
      text += "no error";
      break;
    case Kind::kEndOfFile:
      text += "end of file";
      break;
    case Kind::kSystem:
      text += std::strerror(code_);
      break;
    case Kind::kLibrary:
      text += library_error_text(static_cast<LibraryError>(code_));
      break;
  }
  return text;
}

// ---------------------------------------------------------------------------
// Input

namespace {
constexpr size_t kInputBufferSize = 64 * 1024;
}

InputStream::InputStream(int fd)
    : fd_(fd), buffer_(new char[kInputBufferSize]), capacity_(kInputBufferSize) {
  next_ = end_ = buffer_.get();
}

InputStream InputStream::from_text(std::string_view text) {
  InputStream stream(-1);
  stream.text_only_ = true;
  stream.buffer_.reset(new char[text.size() + 1]);
  stream.capacity_ = text.size() + 1;
  std::memcpy(stream.buffer_.get(), text.data(), text.size());
  stream.next_ = stream.buffer_.get();
  stream.end_ = stream.next_ + text.size();
  return stream;
}

bool InputStream::fill() {
  if (end_met_ || error_ != 0) return false;
  if (text_only_) {
    end_met_ = true;
    return false;
  }
  // Keep the unread bytes, which a line peek still needs, at the front.
  const size_t kept = static_cast<size_t>(end_ - next_);
  if (next_ != buffer_.get()) {
    std::memmove(buffer_.get(), next_, kept);
    next_ = buffer_.get();
    end_ = next_ + kept;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, end_, capacity_ - kept);
    if (got > 0) {
      end_ += got;
      return true;
    }
    if (got == 0) {
      end_met_ = true;
      return false;
    }
    if (errno != EINTR) {
      error_ = errno;
      return false;
    }
  }
}

int InputStream::refill_and_get() {
  if (!fill()) return error_ != 0 ? kReadError : kEndOfFile;
  return static_cast<unsigned char>(*next_++);
}

Status InputStream::peek_line(size_t want, LineStart* start, const char* prefix) {
  for (;;) {
    const size_t available = static_cast<size_t>(end_ - next_);
    const size_t scan = available < want ? available : want;
    if (const void* line_feed = std::memchr(next_, '\n', scan)) {
      *start = {next_, static_cast<size_t>(static_cast<const char*>(line_feed) - next_), true,
                false};
      return Status();
    }
    if (available >= want) {
      *start = {next_, want, false, false};
      return Status();
    }
    if (!fill()) {
      if (error_ != 0) return Status::system(prefix, error_);
      *start = {next_, available, false, true};
      return Status();
    }
  }
}

Status InputStream::skip_line(const char* prefix) {
  for (;;) {
    const void* line_feed = std::memchr(next_, '\n', static_cast<size_t>(end_ - next_));
    if (line_feed != nullptr) {
      next_ = static_cast<char*>(const_cast<void*>(line_feed)) + 1;
      return Status();
    }
    next_ = end_;
    if (!fill()) {
      return error_ != 0 ? Status::system(prefix, error_) : Status();
    }
  }
}

// ---------------------------------------------------------------------------
// Output

namespace {

// Writes all of `data` with write(2) alone, so that a signal handler may use
// it too: 0, or the error number of the failed write.
int write_all(int fd, const char* data, size_t size) noexcept {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += put;
    size -= static_cast<size_t>(put);
  }
  return 0;
}

// The signals whose handlers close the units. While the run writes a block
// out or closes, they wait, so that no block is written twice and no closing
// is left half done.
void block_handled_signals(sigset_t* previous);
void restore_signals(const sigset_t& previous);

class SignalBlock {
 public:
  SignalBlock() { block_handled_signals(&previous_); }
  ~SignalBlock() { restore_signals(previous_); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace

OutputStream::OutputStream(int fd, size_t block_size, Buffering buffering)
    : fd_(fd),
      block_size_(block_size > 0 ? block_size : 1),
      buffering_(buffering),
      buffer_(new char[block_size_]) {}

Status OutputStream::write_out(const char* data, size_t size, const char* prefix) {
  const int error = write_all(fd_, data, size);
  return error == 0 ? Status() : Status::system(prefix, error);
}

Status OutputStream::write_line(std::string_view line, const char* prefix) {
  size_t committed = committed_.load(std::memory_order_relaxed);
  while (committed + line.size() >= block_size_ || buffering_ == Buffering::kLine) {
    // The line fills the block (or ends the line of a terminal): the part that
    // fits goes out with the block, the rest starts the next one.
    const size_t part = std::min(line.size(), block_size_ - committed);
    SignalBlock block;
    std::memcpy(buffer_.get() + committed, line.data(), part);
    committed_.store(0, std::memory_order_release);
    const Status status = write_out(buffer_.get(), committed + part, prefix);
    line.remove_prefix(part);
    committed = 0;
    if (!status.ok()) return status;
    if (line.empty()) return Status();
  }
  std::memcpy(buffer_.get() + committed, line.data(), line.size());
  std::atomic_signal_fence(std::memory_order_release);
  committed_.store(committed + line.size(), std::memory_order_release);
  return Status();
}

Status OutputStream::flush(const char* prefix) {
  SignalBlock block;
  const size_t committed = committed_.load(std::memory_order_acquire);
  committed_.store(0, std::memory_order_release);
  return write_out(buffer_.get(), committed, prefix);
}

void OutputStream::flush_from_signal() noexcept {
  const size_t committed = committed_.load(std::memory_order_acquire);
  committed_.store(0, std::memory_order_release);
  write_all(fd_, buffer_.get(), committed);
}

// ---------------------------------------------------------------------------
// The unit table

namespace {

constexpr int kUnitCount = 7;

struct Unit {
  bool connected = false;
  // Opened by the run (units 2, 3 and 4), as opposed to a standard stream.
  bool named = false;
  std::string name;
  int fd = -1;
  std::optional<InputStream> input;
  std::optional<OutputStream> output;
  // The file exists but may not be written; the first write fails.
  bool write_refused = false;
  // A regular file opened for writing, cut at its closing to what was written.
  bool cut_at_close = false;
  bool written = false;
};

Unit g_units[kUnitCount];
// What a signal handler may touch: published once a stream is complete.
std::atomic<OutputStream*> g_signal_outputs[kUnitCount];
std::atomic<int> g_cut_fd{-1};
std::atomic<bool> g_psf_written{false};
std::atomic<bool> g_closed{false};

// The statement in progress (or the last one), for the fatal report.
struct Statement {
  int unit = kInputUnit;
  std::string_view format;
  bool format_current = false;
  bool reading = false;
} g_statement;

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

void block_handled_signals(sigset_t* previous) {
  sigset_t set;
  sigemptyset(&set);
  for (const HandledSignal& handled : kHandledSignals) sigaddset(&set, handled.number);
  sigprocmask(SIG_BLOCK, &set, previous);
}

void restore_signals(const sigset_t& previous) {
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void write_to_standard_error(std::string_view text) {
  write_all(STDERR_FILENO, text.data(), text.size());
}

void report(const Status& status) {
  const Unit& unit = g_units[g_statement.unit];
  std::string text = status.message();
  text += "\napparent state: unit ";
  text += std::to_string(g_statement.unit);
  text += unit.named ? " named " + unit.name + "\n" : std::string(" (unnamed)\n");
  if (g_statement.format_current) {
    text += "last format: ";
    text += g_statement.format;
    text += '\n';
  }
  text += g_statement.reading ? "lately reading" : "lately writing";
  text += " sequential formatted external IO\n";
  write_to_standard_error(text);
}

// Cuts the PSF star list to what this run wrote: the writes started at its
// beginning, so that is the file offset.
int cut_written_file(int fd) {
  const off_t written = ::lseek(fd, 0, SEEK_CUR);
  if (written < 0 || ::ftruncate(fd, written) != 0) return errno;
  return 0;
}

// Closes every unit in ascending order, once per run; false if a unit's
// output could not be written, after reporting it.
bool close_all_units() {
  SignalBlock block;
  if (g_closed.exchange(true)) return true;
  bool all_written = true;
  g_statement.format_current = false;
  g_statement.reading = false;
  for (int number = 0; number < kUnitCount; ++number) {
    Unit& unit = g_units[number];
    if (!unit.connected) continue;
    g_statement.unit = number;
    if (unit.output) {
      Status status = unit.output->flush("close");
      if (status.ok() && unit.cut_at_close && unit.written) {
        const int error = cut_written_file(unit.fd);
        if (error != 0) status = Status::system("close", error);
      }
      if (status.ok() && unit.named && ::close(unit.fd) != 0) {
        status = Status::system("close", errno);
      }
      if (!status.ok()) {
        report(status);
        all_written = false;
      }
    } else if (unit.named && unit.fd >= 0) {
      ::close(unit.fd);
    }
  }
  return all_written;
}

[[noreturn]] void abnormal_end() {
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

// ---------------------------------------------------------------------------
// Signals

void close_units_from_signal() {
  if (g_closed.exchange(true)) return;
  for (int number = 0; number < kUnitCount; ++number) {
    if (OutputStream* output = g_signal_outputs[number].load()) output->flush_from_signal();
    if (number == kPsfListUnit && g_psf_written.load()) {
      const int fd = g_cut_fd.load();
      if (fd >= 0) cut_written_file(fd);
    }
  }
}

[[noreturn]] void end_by_signal(const HandledSignal& signal) {
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

void connect(int number, int fd) {
  Unit& unit = g_units[number];
  unit.connected = true;
  unit.fd = fd;
}

// Names the unit for reports; fails for names the system cannot take.
Status name_unit(int number, const std::string& name) {
  Unit& unit = g_units[number];
  unit.named = true;
  unit.name = name;
  if (name.empty()) return Status::library("open", LibraryError::kNullFileName);
  if (name.find('\0') != std::string::npos) {
    return Status::library("open", LibraryError::kNulInFileName);
  }
  return Status();
}

bool same_file(const struct stat& file, int number) {
  const Unit& unit = g_units[number];
  struct stat other {};
  return unit.connected && ::fstat(unit.fd, &other) == 0 && other.st_dev == file.st_dev &&
         other.st_ino == file.st_ino;
}

bool is_an_input(const struct stat& file) {
  return same_file(file, kPositionLogUnit) || same_file(file, kStarListUnit);
}

size_t block_size_of(int fd) {
  struct stat file {};
  if (::fstat(fd, &file) == 0 && file.st_blksize > 0) return static_cast<size_t>(file.st_blksize);
  return BUFSIZ;
}

void publish_output(int number, int fd, OutputStream::Buffering buffering) {
  Unit& unit = g_units[number];
  unit.output.emplace(fd, block_size_of(fd), buffering);
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

}  // namespace

void start_run() {
  install_signal_handlers();
  const int input_fd = standard_descriptor(STDIN_FILENO);
  const int output_fd = standard_descriptor(STDOUT_FILENO);
  connect(kErrorUnit, standard_descriptor(STDERR_FILENO));
  connect(kInputUnit, input_fd);
  g_units[kInputUnit].input.emplace(input_fd);
  connect(kOutputUnit, output_fd);
  publish_output(
      kOutputUnit, output_fd,
      ::isatty(output_fd) == 1 ? OutputStream::Buffering::kLine : OutputStream::Buffering::kFull);
}

void open_old(int number, const std::string& name) {
  g_statement.unit = number;
  if (Status status = name_unit(number, name); !status.ok()) fatal(status);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fatal(Status::system("open", errno));
  connect(number, fd);
  g_units[number].input.emplace(fd);
}

void open_unknown(int number, const std::string& name) {
  g_statement.unit = number;
  if (Status status = name_unit(number, name); !status.ok()) fatal(status);
  Unit& unit = g_units[number];
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int open_error = errno;
    struct stat file {};
    const bool exists = ::stat(name.c_str(), &file) == 0;
    if (exists && is_an_input(file)) fatal(Status::library("open", LibraryError::kOutputIsInput));
    if (!exists || (open_error != EACCES && open_error != EPERM && open_error != EROFS)) {
      fatal(Status::system("open", open_error));
    }
    // It exists but may not be written: that shows at the first write.
    unit.connected = true;
    unit.write_refused = true;
    return;
  }
  struct stat file {};
  if (::fstat(fd, &file) == 0 && is_an_input(file)) {
    ::close(fd);
    fatal(Status::library("open", LibraryError::kOutputIsInput));
  }
  connect(number, fd);
  unit.cut_at_close = S_ISREG(file.st_mode);
  if (unit.cut_at_close) g_cut_fd.store(fd);
  publish_output(number, fd, OutputStream::Buffering::kFull);
}

InputStream& input_of(int number) {
  return *g_units[number].input;
}

void begin_statement(int number, std::string_view format, bool reading) {
  g_statement = {number, format, true, reading};
  Unit& unit = g_units[number];
  if (reading) return;
  if (unit.write_refused) fatal(Status::library("write start", LibraryError::kCantWriteFile));
  if (!unit.written) {
    unit.written = true;
    if (number == kPsfListUnit) g_psf_written.store(true);
  }
}

bool end_read_statement(const Status& status, EndBranch end_branch) {
  if (status.end_of_file() && end_branch == EndBranch::kReturn) return false;
  if (!status.ok()) fatal(status);
  if (g_statement.format != kListDirected) g_statement.format_current = false;
  return true;
}

void end_write_statement(const Status& status, std::string_view text) {
  if (!status.ok()) fatal(status);
  OutputStream& output = *g_units[g_statement.unit].output;
  while (!text.empty()) {
    const size_t line_end = text.find('\n');
    const size_t length = line_end == std::string_view::npos ? text.size() : line_end + 1;
    if (Status written = output.write_line(text.substr(0, length), "write"); !written.ok()) {
      fatal(written);
    }
    text.remove_prefix(length);
  }
  if (g_statement.format != kListDirected) g_statement.format_current = false;
}

void fatal(const Status& status) {
  report(status);
  close_all_units();
  abnormal_end();
}

void stop() {
  const bool all_written = close_all_units();
  if (!all_written) abnormal_end();
  std::exit(0);
}

}  // namespace starmark
