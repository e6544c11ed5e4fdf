// The unit table: every file and stream of the run is addressed by a fixed
// unit number. This layer opens the files, runs the read and write
// statements on them, and closes them at the end of the run, cutting the PSF
// star list only through a stream that never leaves it a mix of two runs. A
// statement that fails ends the run with the fatal report (abnormal_end.h).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "format.h"
#include "list_io.h"
#include "streams.h"

namespace starmark {

inline constexpr int kErrorUnit = 0;
inline constexpr int kPositionLogUnit = 2;
inline constexpr int kStarListUnit = 3;
inline constexpr int kPsfListUnit = 4;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;

// Connects units 0, 5 and 6 to the standard streams and installs the signal
// handlers. Called once, before anything else of the run.
void start_run();

// Opens a named file on unit 2 or 3 for reading; the file must exist.
void open_existing(int unit, const std::string& name);
// Opens a named file on unit 4 for writing, creating it when it is missing.
// An existing file is emptied only by the first write; a regular one is
// locked until the run ends, so that a second run on it waits.
void open_or_create(int unit, const std::string& name);

// What a read statement does when it meets the end of its file.
enum class AtEndOfFile { kFatal, kReturnFalse };

// One read statement on a unit: true when it read its items, false at the
// end of the file when `at_end` says so; any other failure is fatal.
bool read_statement(int unit, const Format& format, std::initializer_list<ReadItem> items,
                    AtEndOfFile at_end);
bool read_list_statement(int unit, float* values, size_t count, AtEndOfFile at_end);

// The two halves of a read statement whose transfer its caller makes
// (read_statement_with). The start gives the unit's stream, or the end of the
// file when the file has already ended; the end takes the transfer's status
// and returns as read_statement does.
Status begin_read_statement(int unit, std::string_view format, InputStream** input);
bool end_read_statement(const Status& status, AtEndOfFile at_end);

// One read statement on `unit` under `format` whose items `transfer`, a
// callable Status(InputStream&), reads from the unit's stream: a record read
// in a form of its own (star_list.h). As read_statement otherwise, its fatal
// report included.
template <typename Transfer>
bool read_statement_with(int unit, std::string_view format, AtEndOfFile at_end,
                         Transfer&& transfer) {
  InputStream* input = nullptr;
  const Status start = begin_read_statement(unit, format, &input);
  return end_read_statement(start.ok() ? transfer(*input) : start, at_end);
}

// One write statement on a unit; a failure is fatal.
void write_statement(int unit, const Format& format, std::initializer_list<WriteItem> items);
void write_list_statement(int unit, std::initializer_list<ListItem> items);

// The plain stop: closes all units and exits with status 0.
[[noreturn]] void stop();

}  // namespace starmark
