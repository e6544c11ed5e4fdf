#include "status.h"

#include <cstring>

namespace starmark {

const char* program_error_text(ProgramError error) {
  switch (error) {
    case ProgramError::kErrorInFormat:
      return "error in format";
    case ProgramError::kNullFileName:
      return "null file name";
    case ProgramError::kNulInFileName:
      return "file name contains a NUL byte";
    case ProgramError::kOutputIsInput:
      return "output file is an input file";
    case ProgramError::kReadUnexpectedCharacter:
      return "read unexpected character";
    case ProgramError::kIncomprehensibleListInput:
      return "incomprehensible list input";
    case ProgramError::kCantWriteFile:
      return "can't write file";
  }
  return "unknown error";
}

std::string Status::message() const {
  std::string text = report_prefix_;
  text += ": ";
  switch (kind_) {
    case Kind::kOk:
      text += "no error";
      break;
    case Kind::kEndOfFile:
      text += "end of file";
      break;
    case Kind::kSystem:
      text += std::strerror(code_);
      break;
    case Kind::kProgram:
      text += program_error_text(static_cast<ProgramError>(code_));
      break;
  }
  return text;
}

}  // namespace starmark
