#include "line_fields.h"

#include <algorithm>
#include <cstring>

namespace starmark {

namespace {

// The fatal report names a failed formatted transfer "fmt".
constexpr const char* kFormattedReportPrefix = "fmt";

}  // namespace

Status read_fixed_line(InputStream& input, char* value, size_t size) {
  InputStream::LineStart line;
  if (Status status = input.peek_line(size, &line, kFormattedReportPrefix); !status.ok()) {
    return status;
  }
  const size_t taken = std::min(line.size, size);
  if (taken < size && line.file_end) return Status::end_of_file(kFormattedReportPrefix);
  std::memcpy(value, line.data, taken);
  std::memset(value + taken, ' ', size - taken);
  if (!line.line_feed) return input.skip_line(kFormattedReportPrefix);
  input.advance(line.size + 1);
  return Status();
}

Status read_whole_line(InputStream& input, std::string* text) {
  // Past kLongestText bytes only a non-blank byte is kept, so that a longer
  // text stays longer and a run of blanks at its end still counts as
  // trailing.
  constexpr size_t kLongestText = 1 << 16;
  text->clear();
  for (;;) {
    const int byte = input.get();
    if (byte == '\n') return Status();
    if (byte == InputStream::kEndOfFile) return Status::end_of_file(kFormattedReportPrefix);
    if (byte == InputStream::kReadError) {
      return Status::system(kFormattedReportPrefix, input.error());
    }
    if (text->size() < kLongestText || (text->size() == kLongestText && byte != ' ')) {
      text->push_back(static_cast<char>(byte));
    }
  }
}

}  // namespace starmark
