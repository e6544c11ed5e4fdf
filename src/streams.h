// Buffered streams: the input of a file, read a byte or a line at a time,
// and the output of a file, handed over a line at a time and written out a
// block at a time.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

#include "status.h"

namespace starmark {

// Stream buffers come from malloc: memory that runs out shows as a stream
// without a buffer, which the unit layer reports.
struct FreeBuffer {
  void operator()(char* buffer) const;
};
using StreamBuffer = std::unique_ptr<char[], FreeBuffer>;

// Buffered input of one file, a line or a byte at a time. Only the line feed
// ends a line. Once the end of the file has been met it stays met: no later
// read asks the file for more.
class InputStream {
 public:
  static constexpr int kEndOfFile = -1;
  static constexpr int kReadError = -2;

  explicit InputStream(int fd);

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

  bool allocated() const { return buffer_ != nullptr; }
  bool end_met() const { return end_met_; }
  int error() const { return error_; }

 private:
  int refill_and_get();
  // Reads more of the file behind what is buffered; false at its end or on error.
  bool fill();

  int fd_ = -1;
  StreamBuffer buffer_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  bool end_met_ = false;
  int error_ = 0;
};

// While a block goes out, every signal that can be held waits: a handled
// signal would otherwise end the run between the write of a block and the
// buffering of the rest of its line, and one with its default action (a
// hang-up, a file size limit) before a short write is cut back.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};

// Buffered output of one stream. A line is handed over whole, and reaches the
// stream whole or not at all, whatever signal comes. The buffer is consistent
// at every instruction, so a signal handler can hand what is complete to the
// file.
class OutputStream {
 public:
  enum class Buffering {
    // A block at a time, as the C library writes a file or a pipe: a line that
    // crosses a block's end goes out split between two blocks.
    kFull,
    // A line at a time, as on a terminal.
    kLine,
    // Blocks of whole lines only: a line that does not fit goes out with the
    // next block.
    kWholeLines,
  };

  // With `replaces_file`, the stream's first write empties the file, and after
  // a write that falls short the file is cut back to its last whole line: the
  // file holds either what it held or whole lines of this stream.
  OutputStream(int fd, size_t block_size, Buffering buffering, bool replaces_file = false);

  bool allocated() const { return buffer_ != nullptr; }
  Status write_line(std::string_view line, const char* prefix);
  // Hands every buffered byte to the file.
  Status flush(const char* prefix);
  // The same for a signal handler: only system calls, errors ignored.
  void flush_from_signal() noexcept;

 private:
  Status write_out(const char* data, size_t size, const char* prefix);
  // Writes a block with system calls alone: 0, or the error number.
  int write_block(const char* data, size_t size) noexcept;

  int fd_;
  size_t block_size_;
  Buffering buffering_;
  bool replaces_file_;
  bool emptied_ = false;
  off_t file_end_ = 0;  // where the next block goes, after the last whole line
  StreamBuffer buffer_;
  std::atomic<size_t> committed_{0};
};

// Writes all of `data` with write(2) alone, so that a signal handler may use
// it too: 0, or the error number of the failed write.
int write_all(int fd, const char* data, size_t size) noexcept;

}  // namespace starmark
