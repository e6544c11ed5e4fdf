// The end of the run: failing writes, FIFO inputs and signals.
#include "end_to_end.h"

namespace starmark_e2e {
namespace {

const Direction kWriting = Direction::kWriting;

// Position 1 finds star 12; position 2 finds nothing.
const std::string kStar12 = record(12, 102, 100, 12.2);
const std::string kStars = record(11, 100, 100, 12.1) + kStar12;
const std::string kPositions = "101.4 100\n150 150\n";
const std::string kEarlierRun =
    "results of an earlier run, longer than this run's output\n" + std::string(1000, '#') + "\n";

std::string stream_report(std::string_view error, std::string_view unit) {
  return fatal_report(error, unit, "", kWriting);
}

std::vector<Case> write_failure_cases() {
  const std::vector<Entry> files = {position_log(kPositions), star_list(kStars)};
  return {
      {"PsfOnFullDevice",
       files,
       answers(kLogName, kCooName, "/dev/full"),
       prompts(3) + not_found(2),
       stream_report("close: No space left on device", named(4, "/dev/full")),
       {},
       kAborted},
      {"StdoutOnFullDevice",
       files,
       standard_answers(),
       "",
       stream_report("close: No space left on device", unnamed(6)),
       {psf_list(kStar12)},
       kAborted,
       output_to(Stdout::kDevFull)},
      {"StdoutClosed",
       files,
       standard_answers(),
       "",
       stream_report("close: Bad file descriptor", unnamed(6)),
       {psf_list(kStar12)},
       kAborted,
       output_to(Stdout::kClosed)},
      // 200 not-found lines fill standard output's buffer within the run.
      {"StdoutFullDuringNotFoundLine",
       {position_log(repeated("500 500\n", 200)), star_list(kStars)},
       standard_answers(),
       "",
       fatal_report("write: No space left on device", unnamed(6),
                    "(1X,\x02 Could not find star\x02,I3)", kWriting),
       {psf_list("")},
       kAborted,
       output_to(Stdout::kDevFull)},
  };
}

INSTANTIATE_TEST_SUITE_P(WriteFailures, EndToEnd, testing::ValuesIn(write_failure_cases()),
                         case_name);

// Inputs that are FIFOs, as with process substitution, are read to their end.
std::vector<Case> fifo_cases() {
  return {
      {"BothInputsAreFifos",
       {fifo("pos.log", position_log(kPositions).content),
        fifo("stars.coo", star_list(kStars).content)},
       standard_answers(),
       prompts(3) + not_found(2),
       "",
       {psf_list(kStar12)}},
      // The run ends after the 200th position without waiting for the end of the log.
      {"PositionLogStaysOpenAfterTwoHundredPositions",
       {fifo("pos.log", position_log(repeated("500 500\n", 250)).content), star_list(kStars)},
       standard_answers(),
       prompts(3) + not_found_lines(1, 200),
       "",
       {psf_list("")},
       kStopped,
       fifos_held_open()},
  };
}

INSTANTIATE_TEST_SUITE_P(FifoInputs, EndToEnd, testing::ValuesIn(fifo_cases()), case_name);

// The signal arrives while the program waits for the third position.
Case signal_case(std::string name, int signal, std::string message, Outcome outcome,
                 std::string earlier_psf = "", int ignored_signal = 0) {
  Case test_case = {std::move(name),
                    {fifo("pos.log", position_log(kPositions).content), star_list(kStars)},
                    standard_answers(),
                    prompts(3) + not_found(2),
                    std::move(message),
                    {psf_list(kStar12)},
                    outcome,
                    signalled(signal, ignored_signal)};
  if (!earlier_psf.empty()) test_case.files.push_back(file("out.psf", earlier_psf));
  return test_case;
}

// A signal without a handler ends the run before any buffer is written.
Case hangup_case(std::string name, std::string earlier_psf) {
  Case test_case = signal_case(std::move(name), SIGHUP, "", killed_by(SIGHUP), earlier_psf);
  test_case.out = "";
  test_case.files_out = {file("out.psf", earlier_psf)};
  return test_case;
}

// A file removed while the run waits in its position loop: the table is
// loaded, and the PSF star list is written and cut through its open
// descriptor, so the run ends normally.
Case removal_case(std::string name, std::string removed) {
  Case test_case = signal_case(std::move(name), 0, "", kStopped);
  test_case.setting = removing(std::move(removed));
  return test_case;
}

std::vector<Case> signal_cases() {
  return {
      signal_case("Interrupt", SIGINT, "Interrupt\n", exited(1)),
      signal_case("InterruptCutsEarlierPsf", SIGINT, "Interrupt\n", exited(1), kEarlierRun),
      signal_case("Termination", SIGTERM, "Killed\n", exited(1)),
      signal_case("Quit", SIGQUIT, "Quit signal\n", kAborted),
      signal_case("FloatingPointException", SIGFPE, "Floating Exception\n", kAborted),
      signal_case("TraceTrap", SIGTRAP, "Trace trap\n", kAborted),
      signal_case("Abort", SIGABRT, "IOT Trap\n", kAborted),
      hangup_case("Hangup", ""),
      hangup_case("HangupKeepsEarlierPsf", kEarlierRun),
      // Ignored at the start, the signal stays ignored: the run ends at the end of the log.
      signal_case("IgnoredInterrupt", SIGINT, "", kStopped, "", SIGINT),
      signal_case("IgnoredQuit", SIGQUIT, "", kStopped, "", SIGQUIT),
      removal_case("StarListRemoved", "stars.coo"),
      removal_case("PsfStarListRemoved", "out.psf"),
  };
}

INSTANTIATE_TEST_SUITE_P(Signals, EndToEnd, testing::ValuesIn(signal_cases()), case_name);

}  // namespace
}  // namespace starmark_e2e
