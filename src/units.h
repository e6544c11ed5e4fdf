// The unit table: every file and stream of the run is addressed by a fixed
// unit number. This layer opens the files, buffers their lines, closes them at
// the end of the run (cutting the PSF star list to what the run wrote), prints
// the fatal-error report and handles the six signals.
//
// Readers and writers elsewhere return a Status; only this layer turns a
// failure into the fatal report and the abnormal end.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace starmark {

inline constexpr int kErrorUnit = 0;
inline constexpr int kPositionLogUnit = 2;
inline constexpr int kStarListUnit = 3;
inline constexpr int kPsfListUnit = 4;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;

// Errors whose text is the program's own rather than the system's.
enum class LibraryError {
  kErrorInFormat,
  kNullFileName,
  kNulInFileName,
  kOutputIsInput,
  kReadUnexpectedCharacter,
  kIncomprehensibleListInput,
  kCantWriteFile,
};
const char* library_error_text(LibraryError error);

// The outcome of one read, write or open: success, the end of a file, or a
// failure named by where it arose (the report's prefix) and what it was.
class [[nodiscard]] Status {
 public:
  enum class Kind { kOk, kEndOfFile, kSystem, kLibrary };

  Status() = default;
  static Status end_of_file(const char* prefix) { return {Kind::kEndOfFile, prefix, 0}; }
  static Status system(const char* prefix, int error_number) {
    return {Kind::kSystem, prefix, error_number};
  }
  static Status library(const char* prefix, LibraryError error) {
    return {Kind::kLibrary, prefix, static_cast<int>(error)};
  }

  bool ok() const { return kind_ == Kind::kOk; }
  bool end_of_file() const { return kind_ == Kind::kEndOfFile; }
  Kind kind() const { return kind_; }
  const char* prefix() const { return prefix_; }
  int code() const { return code_; }
  // The report's first line without its line feed, e.g. "fmt: end of file".
  std::string message() const;

 private:
  Status(Kind kind, const char* prefix, int code) : kind_(kind), prefix_(prefix), code_(code) {}
  Kind kind_ = Kind::kOk;
  const char* prefix_ = "";
  int code_ = 0;
};

// Buffered input of one file, a line or a byte at a time. Only the line feed
// ends a line. Once the end of the file has been met it stays met: no later
// read asks the file for more.
class InputStream {
 public:
  static constexpr int kEndOfFile = -1;
  static constexpr int kReadError = -2;

  explicit InputStream(int fd);
  // A stream over fixed text, for tests and fuzzing.
  static InputStream from_text(std::string_view text);

  // The next byte of the stream, or kEndOfFile, or kReadError (see error()).
  int get() {
    if (next_ < end_) return static_cast<unsigned char>(*next_++);
    return refill_and_get();
  }
  // The next byte without taking it.
  int peek() {
    if (next_ < end_) return static_cast<unsigned char>(*next_);
    const int byte = refill_and_get();
    if (byte >= 0) --next_;
    return byte;
  }

  // The start of the current line: up to `want` bytes, fewer where the line
  // feed or the end of the file comes first. Nothing is taken.
  struct LineStart {
    const char* data;
    size_t size;
    bool line_feed;  // the line ends with a line feed right after `size` bytes
    bool file_end;   // the file ends right after `size` bytes, with no line feed
  };
  Status peek_line(size_t want, LineStart* start, const char* prefix);
  // Takes `count` bytes of the current line, which peek_line has shown.
  void advance(size_t count) { next_ += count; }
  // Takes the rest of the current line and its line feed, or the rest of
  // the file when it ends the line.
  Status skip_line(const char* prefix);

  bool end_met() const { return end_met_; }
  int error() const { return error_; }

 private:
  int refill_and_get();
  // Reads more of the file behind what is buffered; false at its end or on error.
  bool fill();

  int fd_ = -1;
  bool text_only_ = false;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  char* next_ = nullptr;
  char* end_ = nullptr;
  bool end_met_ = false;
  int error_ = 0;
};

// Buffered output of one stream. A line is handed over whole; the bytes reach
// the file as the C library's streams would write them: a block at a time,
// or a line at a time on a terminal. (Standard error, unbuffered, is written
// directly.) The buffer is consistent at every instruction, so a signal
// handler can hand what is complete to the file.
class OutputStream {
 public:
  enum class Buffering { kFull, kLine };

  OutputStream(int fd, size_t block_size, Buffering buffering);

  Status write_line(std::string_view line, const char* prefix);
  // Hands every buffered byte to the file.
  Status flush(const char* prefix);
  // The same for a signal handler: only write(2), errors ignored.
  void flush_from_signal() noexcept;

 private:
  Status write_out(const char* data, size_t size, const char* prefix);

  int fd_;
  size_t block_size_;
  Buffering buffering_;
  std::unique_ptr<char[]> buffer_;
  std::atomic<size_t> committed_{0};
};

// Connects units 0, 5 and 6 to the standard streams and installs the signal
// handlers. Called once, before anything else of the run.
void start_run();

// Opens a named file on unit 2 or 3 for reading; the file must exist.
void open_old(int unit, const std::string& name);
// Opens a named file on unit 4 for writing without emptying it, creating it
// when it is missing.
void open_unknown(int unit, const std::string& name);

// The format text that the fatal report shows after a list-directed statement.
inline constexpr std::string_view kListDirected = "list io";

// What a read statement does when it meets the end of its file.
enum class EndBranch { kNone, kReturn };

// The input of a unit opened for reading, for the transfer of a statement.
InputStream& input_of(int unit);
// Starts a statement: records its unit, format text ("list io" for a
// list-directed one) and direction for the fatal report.
void begin_statement(int unit, std::string_view format, bool reading);
// Ends a read statement: true on success, false at the end of the file when
// there is an end branch; a failure never returns.
bool end_read_statement(const Status& status, EndBranch end_branch);
// Ends a write statement: hands its text, whole lines, to the unit's stream.
void end_write_statement(const Status& status, std::string_view text);

// A read statement: `transfer` reads from the unit's input and returns a Status.
template <typename Transfer>
bool read_statement(int unit, std::string_view format, EndBranch end_branch, Transfer&& transfer) {
  begin_statement(unit, format, true);
  InputStream& input = input_of(unit);
  if (input.end_met()) return end_read_statement(Status::end_of_file("read start"), end_branch);
  return end_read_statement(transfer(input), end_branch);
}

// A write statement: `transfer` appends the statement's lines to a string.
template <typename Transfer>
void write_statement(int unit, std::string_view format, Transfer&& transfer) {
  begin_statement(unit, format, false);
  std::string text;
  const Status status = transfer(text);
  end_write_statement(status, text);
}

// Reports a failure of the current statement, closes all units and ends the
// process abnormally.
[[noreturn]] void fatal(const Status& status);

// The plain stop: closes all units and exits with status 0.
[[noreturn]] void stop();

}  // namespace starmark
