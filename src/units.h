// The unit table: every file and stream of the run is addressed by a fixed
// unit number. This layer opens the files, runs the program's read and write
// statements on them, and closes them at the end of the run; it writes the
// PSF star list only through a stream that never leaves it a mix of two runs.
// A statement that fails ends the run with the fatal report
// (abnormal_end.h).
#pragma once

#include <string_view>

#include "streams.h"

namespace starmark {

inline constexpr int kErrorUnit = 0;
inline constexpr int kPositionLogUnit = 2;
inline constexpr int kStarListUnit = 3;
inline constexpr int kPsfListUnit = 4;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;

// The format text that the fatal report shows for a list-directed statement.
inline constexpr std::string_view kListDirectedFormat = "list io";

// Connects units 0, 5 and 6 to the standard streams and installs the signal
// handlers. Called once, before anything else of the run.
void start_run();

// Opens a named file on unit 2 or 3 for reading; the file must exist. The
// name's text is followed by a NUL, and names the unit until the run ends.
void open_existing(int unit, std::string_view name);
// Opens a named file on unit 4 for writing, creating it when it is missing.
// An existing file is emptied only by the first write; a regular one is
// locked until the run ends, so that a second run on it waits.
void open_or_create(int unit, std::string_view name);

// What a read statement does when it meets the end of its file.
enum class AtEndOfFile { kFatal, kReturnFalse };

// The two halves of a read statement (read_statement). The start gives the
// unit's stream, or the end of the file when the file has already ended; the
// end takes the transfer's status and returns as read_statement does.
Status begin_read_statement(int unit, std::string_view format, InputStream** input);
bool end_read_statement(const Status& status, AtEndOfFile at_end);

// One read statement on `unit` under `format` (as the fatal report shows it),
// whose items `transfer`, a callable Status(InputStream&), reads from the
// unit's stream: true when it read them, false at the end of the file when
// `at_end` says so; any other failure is fatal.
template <typename Transfer>
bool read_statement(int unit, std::string_view format, AtEndOfFile at_end, Transfer&& transfer) {
  InputStream* input = nullptr;
  const Status start = begin_read_statement(unit, format, &input);
  return end_read_statement(start.ok() ? transfer(*input) : start, at_end);
}

// One write statement on `unit` under `format`: `lines`, each ended by a line
// feed, go to the unit's stream; a failure is fatal.
void write_statement(int unit, std::string_view format, std::string_view lines);

// The plain stop: closes all units and exits with status 0.
[[noreturn]] void stop();

}  // namespace starmark
