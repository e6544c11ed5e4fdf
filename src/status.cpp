#include "status.h"

#include <cstring>

namespace starmark {

const char* program_error_text(ProgramError error) {
  switch (error) {
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
    case ProgramError::kOutOfFreeSpace:
      return "out of free space";
  }
  return "unknown error";
}

const char* Status::text() const {
  switch (kind_) {
    case Kind::kOk:
      return "no error";
    case Kind::kEndOfFile:
      return "end of file";
    case Kind::kSystem:
      return std::strerror(code_);
    case Kind::kProgram:
      return program_error_text(static_cast<ProgramError>(code_));
  }
  return "unknown error";
}

}  // namespace starmark
