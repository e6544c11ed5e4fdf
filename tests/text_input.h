// An input stream over fixed text: the text in an anonymous file in memory,
// read as the program reads any file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <string_view>

#include "streams.h"

namespace starmark {

class TextInput {
 public:
  explicit TextInput(std::string_view text) : fd_(memfd_create("text", MFD_CLOEXEC)), stream_(fd_) {
    for (size_t written = 0; written < text.size();) {
      const ssize_t put = ::write(fd_, text.data() + written, text.size() - written);
      if (put <= 0) break;
      written += static_cast<size_t>(put);
    }
    ::lseek(fd_, 0, SEEK_SET);
  }
  ~TextInput() { ::close(fd_); }
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  InputStream& stream() { return stream_; }

 private:
  int fd_;
  InputStream stream_;
};

}  // namespace starmark
