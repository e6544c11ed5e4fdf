// The outcome of every read, write and open: readers and writers return a
// Status, and only the unit layer turns a failure into the fatal report.
#pragma once

#include <string>

namespace starmark {

// The failures whose text is the program's own rather than the system's.
enum class ProgramError {
  kNullFileName,
  kNulInFileName,
  kOutputIsInput,
  kReadUnexpectedCharacter,
  kIncomprehensibleListInput,
  kCantWriteFile,
  kOutOfFreeSpace,
};
const char* program_error_text(ProgramError error);

// Success, the end of a file, or a failure named by where it arose (the
// report's prefix, such as "fmt" or "open") and what it was.
class [[nodiscard]] Status {
 public:
  enum class Kind { kOk, kEndOfFile, kSystem, kProgram };

  Status() = default;
  static Status end_of_file(const char* report_prefix) { return {Kind::kEndOfFile, report_prefix}; }
  static Status system(const char* report_prefix, int error_number) {
    return {Kind::kSystem, report_prefix, error_number};
  }
  static Status program(const char* report_prefix, ProgramError error) {
    return {Kind::kProgram, report_prefix, static_cast<int>(error)};
  }

  bool ok() const { return kind_ == Kind::kOk; }
  bool end_of_file() const { return kind_ == Kind::kEndOfFile; }
  Kind kind() const { return kind_; }
  // The report's first line is "prefix: text", e.g. "fmt: end of file".
  const char* prefix() const { return report_prefix_; }
  const char* text() const;
  std::string message() const { return std::string(prefix()) + ": " + text(); }

 private:
  Status(Kind kind, const char* report_prefix, int code = 0)
      : kind_(kind), report_prefix_(report_prefix), code_(code) {}
  Kind kind_ = Kind::kOk;
  const char* report_prefix_ = "";
  int code_ = 0;
};

}  // namespace starmark
