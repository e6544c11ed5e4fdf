// End-to-end harness: every case runs the built starmark binary in a fresh
// temporary folder with real files and a real standard input, then compares
// the exact bytes of standard output, standard error and every file left in
// the folder, and how the process ended.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <csignal>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace starmark_e2e {

enum class EntryType { kFile, kDirectory, kSymlink, kFifo };

// One thing in the run folder. `content` is a file's bytes, a symbolic link's
// target, or the bytes that the test feeds into a FIFO.
struct Entry {
  std::string path;  // relative to the run folder
  std::string content;
  EntryType type = EntryType::kFile;
  mode_t mode = 0644;
};

inline Entry file(std::string path, std::string content, mode_t mode = 0644) {
  return {std::move(path), std::move(content), EntryType::kFile, mode};
}
inline Entry directory(std::string path, mode_t mode = 0755) {
  return {std::move(path), "", EntryType::kDirectory, mode};
}
inline Entry symlink_to(std::string path, std::string target) {
  return {std::move(path), std::move(target), EntryType::kSymlink, 0777};
}
inline Entry fifo(std::string path, std::string content) {
  return {std::move(path), std::move(content), EntryType::kFifo, 0644};
}

// How the process ended: an exit status or a terminating signal.
struct Outcome {
  bool by_signal = false;
  int value = 0;
  bool operator==(const Outcome& other) const {
    return by_signal == other.by_signal && value == other.value;
  }
};
inline Outcome exited(int status) {
  return {false, status};
}
inline Outcome killed_by(int signal) {
  return {true, signal};
}
inline const Outcome kStopped = exited(0);
inline const Outcome kAborted = killed_by(SIGABRT);

enum class Stdin { kFile, kPipe, kClosed };
// kSameAsStderr: standard output and error share one file (2>&1), which the
// case's expected stderr then describes; its expected stdout is empty.
enum class Stdout { kFile, kDevFull, kClosed, kSameAsStderr };

// How the program is started and what the test does while it runs.
struct Setting {
  Stdin input = Stdin::kFile;
  Stdout output = Stdout::kFile;
  bool unprivileged = false;  // run as user and group 65534 when the tests run as root
  int ignored_signal = 0;     // set to SIG_IGN before exec
  // Sent once the program has taken every byte of its FIFOs and waits for more;
  // the FIFOs are closed shortly after.
  int signal = 0;
  bool hold_fifos = false;  // FIFOs stay open until the program ends
  // Removed, like the signal, once the program waits on its FIFOs; the
  // FIFOs are closed right after.
  std::string removed;
};

inline Setting piped_input() {
  Setting setting;
  setting.input = Stdin::kPipe;
  return setting;
}
inline Setting closed_input() {
  Setting setting;
  setting.input = Stdin::kClosed;
  return setting;
}
inline Setting output_to(Stdout output) {
  Setting setting;
  setting.output = output;
  return setting;
}
inline Setting as_nobody() {
  Setting setting;
  setting.unprivileged = true;
  return setting;
}
inline Setting signalled(int signal, int ignored_signal = 0) {
  Setting setting;
  setting.signal = signal;
  setting.ignored_signal = ignored_signal;
  return setting;
}
inline Setting fifos_held_open() {
  Setting setting;
  setting.hold_fifos = true;
  return setting;
}
inline Setting removing(std::string path) {
  Setting setting;
  setting.removed = std::move(path);
  return setting;
}

struct Case {
  std::string name;
  std::vector<Entry> files;  // laid into the folder before the run
  std::string input;         // standard input
  std::string out;           // expected standard output
  std::string err;           // expected standard error
  // Expected files created or changed; every other file must stay as laid.
  std::vector<Entry> files_out;
  Outcome outcome = kStopped;
  Setting setting = {};
};

void PrintTo(const Case& test_case, std::ostream* os);
std::string case_name(const testing::TestParamInfo<Case>& info);

// Runs the program for one case and reports every field that differs.
void run_and_check(const Case& test_case);

// Every table of cases is instantiated over this one test and named after
// its table, e.g. Dialogue/EndToEnd.Run/MissingStarList.
class EndToEnd : public testing::TestWithParam<Case> {};

// A run that completes: `records` in the star list, `positions` in the log.
// The PSF star list gets the header and `psf_records`, standard output the
// prompts and `more_output`.
Case completed_run(std::string name, std::string_view records, std::string_view positions,
                   std::string_view psf_records, std::string_view more_output = "");

// The prompts, as the program writes them.
inline constexpr std::string_view kPrompt1 = "  Imedit logfile name:\n";
inline constexpr std::string_view kPrompt2 = "  Image.coo file:\n";
inline constexpr std::string_view kPrompt3 = "  Output file of stars for PSF:\n";
std::string prompts(int count);

// The usual files and answers.
inline constexpr std::string_view kLogName = "pos.log";
inline constexpr std::string_view kCooName = "stars.coo";
inline constexpr std::string_view kPsfName = "out.psf";
inline constexpr std::string_view kLogHeader =
    "Image editor log, field 7\n  x       y     (pixels)\n";
inline constexpr std::string_view kCooLine1 = "Star list of field 7, frame 2";
inline constexpr std::string_view kCooLine2 =
    "      n        x        y     amag        a        b        c";
inline constexpr std::string_view kCooLine3 = "  (pixels, instrumental magnitudes)";
std::string answers(std::string_view log, std::string_view coo, std::string_view psf);
std::string standard_answers();
Entry position_log(std::string_view positions);  // the usual header, then `positions`
Entry star_list(std::string_view records);       // the usual header, then `records`
Entry psf_list(std::string_view records);        // the copied usual header, then `records`

// A text padded with blanks or cut to 80 characters.
std::string pad80(std::string_view text);
// The PSF star list's four header lines for the given star list header.
std::string psf_header(std::string_view line1, std::string_view line2, std::string_view line3);
// One star record line in the 61-column layout, with its line feed.
std::string record(int n, double x, double y, double amag, double a = 0, double b = 0,
                   double c = 0);
std::string not_found(int position);
// The not-found lines of positions first to last.
std::string not_found_lines(int first, int last);
// `line` `count` times over.
std::string repeated(std::string_view line, int count);

// The fatal-error report. `unit` is e.g. named(2, "pos.log") or unnamed(5);
// an empty `format` means no format line.
enum class Direction { kReading, kWriting };
std::string named(int unit, std::string_view name);
std::string unnamed(int unit);
std::string fatal_report(std::string_view error, std::string_view unit, std::string_view format,
                         Direction direction);

// A star list of `count` generated records on a 20-pixel grid: record j has
// n = j at grid_x(j), grid_y(j). `last_line` is appended after them.
std::string generated_star_list(int count, std::string_view last_line = "");
double grid_x(int j);
double grid_y(int j);
std::string grid_record(int j);

}  // namespace starmark_e2e
