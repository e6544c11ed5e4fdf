// The outcome of every read, write and open: readers and writers return a
// Status, and only the unit layer turns a failure into the fatal report.
#pragma once

#include <cstring>
#include <string>

namespace starmark {

// The failures whose text is the program's own rather than the system's.
inline constexpr const char* kNullFileName = "null file name";
inline constexpr const char* kNulInFileName = "file name contains a NUL byte";
inline constexpr const char* kOutputIsInput = "output file is an input file";
inline constexpr const char* kReadUnexpectedCharacter = "read unexpected character";
inline constexpr const char* kIncomprehensibleListInput = "incomprehensible list input";
inline constexpr const char* kCantWriteFile = "can't write file";
inline constexpr const char* kOutOfFreeSpace = "out of free space";

// Success, the end of a file, or a failure named by where it arose (the
// report's prefix, such as "fmt" or "open") and what it was.
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status end_of_file(const char* report_prefix) {
    return {Kind::kEndOfFile, report_prefix, "end of file"};
  }
  static Status system(const char* report_prefix, int error_number) {
    return {Kind::kSystem, report_prefix, nullptr, error_number};
  }
  // `text` is one of the program's own texts above.
  static Status program(const char* report_prefix, const char* text) {
    return {Kind::kProgram, report_prefix, text};
  }

  bool ok() const { return kind_ == Kind::kOk; }
  bool end_of_file() const { return kind_ == Kind::kEndOfFile; }
  // The report's first line is "prefix: text", e.g. "fmt: end of file".
  const char* prefix() const { return report_prefix_; }
  const char* text() const { return kind_ == Kind::kSystem ? std::strerror(error_number_) : text_; }
  std::string message() const { return std::string(prefix()) + ": " + text(); }

 private:
  enum class Kind { kOk, kEndOfFile, kSystem, kProgram };
  Status(Kind kind, const char* report_prefix, const char* text, int error_number = 0)
      : kind_(kind), report_prefix_(report_prefix), text_(text), error_number_(error_number) {}
  Kind kind_ = Kind::kOk;
  const char* report_prefix_ = "";
  const char* text_ = "no error";
  int error_number_ = 0;
};

}  // namespace starmark
