#include "streams.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace starmark {

void FreeBuffer::operator()(char* buffer) const {
  std::free(buffer);
}

// ---------------------------------------------------------------------------
// Input

namespace {
constexpr size_t kInputBufferSize = 64 * 1024;
}

InputStream::InputStream(int fd)
    : fd_(fd), buffer_(static_cast<char*>(std::malloc(kInputBufferSize))) {
  next_ = end_ = buffer_.get();
}

bool InputStream::fill() {
  if (end_met_ || error_ != 0) return false;
  // Keep the unread bytes, which a line peek still needs, at the front.
  const size_t kept = static_cast<size_t>(end_ - next_);
  if (next_ != buffer_.get()) {
    std::memmove(buffer_.get(), next_, kept);
    next_ = buffer_.get();
    end_ = next_ + kept;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, end_, kInputBufferSize - kept);
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

SignalBlock::SignalBlock() {
  sigset_t every;
  sigfillset(&every);
  sigprocmask(SIG_BLOCK, &every, &previous_);
}

SignalBlock::~SignalBlock() {
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

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

OutputStream::OutputStream(int fd, size_t block_size, Buffering buffering, bool replaces_file)
    : fd_(fd),
      block_size_(block_size),
      buffering_(buffering),
      replaces_file_(replaces_file),
      buffer_(static_cast<char*>(std::malloc(block_size_))) {}

int OutputStream::write_block(const char* data, size_t size) noexcept {
  if (!replaces_file_ || size == 0) return write_all(fd_, data, size);
  if (!emptied_) {
    if (::ftruncate(fd_, 0) != 0) return errno;
    emptied_ = true;
  }
  const int error = write_all(fd_, data, size);
  if (error == 0) {
    file_end_ += static_cast<off_t>(size);
    return 0;
  }
  // Some of the block may have gone out before the write failed: keep only
  // the lines it ended.
  const size_t taken = static_cast<size_t>(::lseek(fd_, 0, SEEK_CUR) - file_end_);
  if (const void* last = ::memrchr(data, '\n', std::min(taken, size))) {
    file_end_ += static_cast<const char*>(last) - data + 1;
  }
  if (::ftruncate(fd_, file_end_) == 0) ::lseek(fd_, file_end_, SEEK_SET);
  return error;
}

Status OutputStream::write_out(const char* data, size_t size, const char* prefix) {
  const int error = write_block(data, size);
  return error == 0 ? Status() : Status::system(prefix, error);
}

Status OutputStream::write_line(std::string_view line, const char* prefix) {
  size_t committed = committed_.load(std::memory_order_relaxed);
  if (committed + line.size() < block_size_ && buffering_ != Buffering::kLine) {
    std::memcpy(buffer_.get() + committed, line.data(), line.size());
    std::atomic_signal_fence(std::memory_order_release);
    committed_.store(committed + line.size(), std::memory_order_release);
    return Status();
  }
  // From the write of a block to the buffering of the rest of the line, no
  // signal may end the run.
  SignalBlock block;
  Status status;
  if (buffering_ == Buffering::kWholeLines) {
    if (committed + line.size() > block_size_) {
      status = write_out(buffer_.get(), committed, prefix);
      committed = 0;
    }
    if (status.ok() && line.size() > block_size_) {
      status = write_out(line.data(), line.size(), prefix);
      line.remove_prefix(line.size());
    }
  } else {
    while (status.ok() &&
           (committed + line.size() >= block_size_ || buffering_ == Buffering::kLine)) {
      // The line fills the block (or ends the line of a terminal): the part
      // that fits goes out with the block, the rest starts the next one.
      const size_t part = std::min(line.size(), block_size_ - committed);
      std::memcpy(buffer_.get() + committed, line.data(), part);
      status = write_out(buffer_.get(), committed + part, prefix);
      line.remove_prefix(part);
      committed = 0;
      if (line.empty()) break;
    }
  }
  if (status.ok()) {
    std::memcpy(buffer_.get() + committed, line.data(), line.size());
    committed += line.size();
  }
  committed_.store(status.ok() ? committed : 0, std::memory_order_release);
  return status;
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
  write_block(buffer_.get(), committed);
}

}  // namespace starmark
