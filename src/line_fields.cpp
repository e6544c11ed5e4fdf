#include "line_fields.h"

#include <algorithm>
#include <cstring>

namespace starmark {

namespace {

// The fatal report names a failed formatted transfer "fmt".
constexpr const char* kFormattedReportPrefix = "fmt";

// Past kLongestText bytes only a non-blank byte is kept, so that a longer
// text stays longer and a run of blanks at its end still counts as trailing.
void keep(char byte, std::string* text) {
  constexpr size_t kLongestText = 1 << 16;
  if (text->size() < kLongestText || (text->size() == kLongestText && byte != ' ')) {
    text->push_back(byte);
  }
}

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
  text->clear();
  for (;;) {
    const int byte = input.get();
    if (byte == '\n') return Status();
    if (byte == InputStream::kEndOfFile) return Status::end_of_file(kFormattedReportPrefix);
    if (byte == InputStream::kReadError) {
      return Status::system(kFormattedReportPrefix, input.error());
    }
    keep(static_cast<char>(byte), text);
  }
}

Status take_typed_line(const std::optional<std::string>& typed, std::string* text) {
  if (!typed) return Status::end_of_file(kFormattedReportPrefix);
  text->clear();
  for (const char byte : *typed) keep(byte, text);
  return Status();
}

}  // namespace starmark
