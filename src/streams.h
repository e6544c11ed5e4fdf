// Buffered streams: the input of a file, read a byte or a line at a time,
// and the output of a file, handed over a line at a time and written out a
// block at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

#include "status.h"

namespace starmark {

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
  // The next `count` bytes when that many are buffered, whatever they hold;
  // null otherwise. Nothing is read or taken.
  const char* buffered(size_t count) const {
    return static_cast<size_t>(end_ - next_) >= count ? next_ : nullptr;
  }
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

// Writes all of `data` with write(2) alone, so that a signal handler may use
// it too: 0, or the error number of the failed write.
int write_all(int fd, const char* data, size_t size) noexcept;

}  // namespace starmark
