#include "line_fields.h"

#include <algorithm>
#include <cstring>

namespace starmark {

namespace {

// The fatal report names a failed formatted transfer "fmt".
constexpr const char* kFormattedReportPrefix = "fmt";

void keep(char byte, Answer* answer) {
  if (answer->size < Answer::kLongest || (answer->size == Answer::kLongest && byte != ' ')) {
    answer->text[answer->size++] = byte;
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

Status read_whole_line(InputStream& input, Answer* answer) {
  answer->size = 0;
  for (;;) {
    const int byte = input.get();
    if (byte == '\n') return Status();
    if (byte == InputStream::kEndOfFile) return Status::end_of_file(kFormattedReportPrefix);
    if (byte == InputStream::kReadError) {
      return Status::system(kFormattedReportPrefix, input.error());
    }
    keep(static_cast<char>(byte), answer);
  }
}

Status take_typed_line(const char* typed, Answer* answer) {
  if (typed == nullptr) return Status::end_of_file(kFormattedReportPrefix);
  answer->size = 0;
  for (; *typed != '\0'; ++typed) keep(*typed, answer);
  return Status();
}

}  // namespace starmark
