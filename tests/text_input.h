// An input stream over fixed text: the text in an anonymous file in memory,
// read as the program reads any file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "streams.h"

namespace starmark {

struct TextInput {
  // A file in memory takes the whole text in one write; pwrite leaves the
  // offset at the start.
  explicit TextInput(std::string_view text) : fd_(memfd_create("text", MFD_CLOEXEC)), stream_(fd_) {
    if (::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) ::abort();
  }
  ~TextInput() { ::close(fd_); }  // never copied: its stream cannot be
  InputStream& stream() { return stream_; }

  int fd_;
  InputStream stream_;
};

}  // namespace starmark
