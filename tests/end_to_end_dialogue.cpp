// The console dialogue and the opening of the three files.
#include "end_to_end.h"

namespace starmark_e2e {
namespace {

const Direction kReading = Direction::kReading;
const Direction kWriting = Direction::kWriting;

std::vector<Entry> inputs() {
  return {position_log(""), star_list("")};
}

std::string open_report(std::string_view error, int unit, std::string_view name) {
  return fatal_report(std::string("open: ") + std::string(error), named(unit, name), "", kReading);
}

std::string answer_read_report() {
  return fatal_report("fmt: end of file", unnamed(5), "(A)", kReading);
}

const std::string kLongLog = "position_log_of_the_night_of_the_fifth.log";
const std::string kLongCoo = "a_star_list_with_a_name_longer_than_thirty.coo";
const std::string kLongPsf = "psf_stars_selected_from_the_long_star_list.psf";

std::vector<Case> dialogue_cases() {
  return {
      {"NormalRunWritesThreePrompts", inputs(), standard_answers(), prompts(3), "", {psf_list("")}},
      {"AnswersFromPipe",
       inputs(),
       standard_answers(),
       prompts(3),
       "",
       {psf_list("")},
       kStopped,
       piped_input()},
      {"TrailingBlanksAreRemoved",
       inputs(),
       "pos.log   \nstars.coo \nout.psf    \n",
       prompts(3),
       "",
       {psf_list("")}},
      {"LongNamesAreUsedWhole",
       {file(kLongLog, std::string(kLogHeader)), file(kLongCoo, star_list("").content)},
       answers(kLongLog, kLongCoo, kLongPsf),
       prompts(3),
       "",
       {file(kLongPsf, psf_list("").content)}},
      {"LeadingBlankIsPartOfName",
       {file(" pos.log", std::string(kLogHeader)), star_list("")},
       answers(" pos.log", kCooName, kPsfName),
       prompts(3),
       "",
       {psf_list("")}},
      {"CarriageReturnIsPartOfName",
       inputs(),
       "pos.log\r\nstars.coo\nout.psf\n",
       prompts(1),
       open_report("No such file or directory", 2, "pos.log\r"),
       {},
       kAborted},
      {"EmptyAnswerIsNullName",
       inputs(),
       "\nstars.coo\nout.psf\n",
       prompts(1),
       open_report("null file name", 2, ""),
       {},
       kAborted},
      {"BlankStarListAnswerIsNullName",
       inputs(),
       "pos.log\n    \nout.psf\n",
       prompts(2),
       open_report("null file name", 3, ""),
       {},
       kAborted},
      {"BlankPsfAnswerIsNullName",
       inputs(),
       "pos.log\nstars.coo\n \n",
       prompts(3),
       open_report("null file name", 4, ""),
       {},
       kAborted},
      {"EmptyInput", inputs(), "", prompts(1), answer_read_report(), {}, kAborted},
      {"LastAnswerWithoutLineFeed",
       inputs(),
       "pos.log\nstars.coo\nout.psf",
       prompts(3),
       answer_read_report(),
       {},
       kAborted},
      {"LongLastAnswerWithoutLineFeed",
       inputs(),
       "pos.log\nstars.coo\n" + kLongPsf,
       prompts(3),
       answer_read_report(),
       {},
       kAborted},
      {"ClosedInput",
       inputs(),
       "",
       prompts(1),
       fatal_report("fmt: Bad file descriptor", unnamed(5), "(A)", kReading),
       {},
       kAborted,
       closed_input()},
      {"NameTooLong",
       inputs(),
       answers(std::string(300, 'p'), kCooName, kPsfName),
       prompts(1),
       open_report("File name too long", 2, std::string(300, 'p')),
       {},
       kAborted},
      {"NulByteInName",
       inputs(),
       answers(kLogName, kCooName, std::string("out\0.psf", 8)),
       prompts(3),
       open_report("file name contains a NUL byte", 4, std::string("out\0.psf", 8)),
       {},
       kAborted},
      {"MissingStarList",
       inputs(),
       answers(kLogName, "none.coo", kPsfName),
       prompts(2),
       open_report("No such file or directory", 3, "none.coo"),
       {},
       kAborted},
      {"PsfInMissingDirectory",
       inputs(),
       answers(kLogName, kCooName, "nodir/out.psf"),
       prompts(3),
       open_report("No such file or directory", 4, "nodir/out.psf"),
       {},
       kAborted},
      // A directory opens for reading; its first read fails.
      {"StarListIsDirectory",
       {position_log(""), directory("stars.coo")},
       standard_answers(),
       prompts(3),
       fatal_report("fmt: Is a directory", named(3, "stars.coo"), "(A)", kReading),
       {file("out.psf", "")},
       kAborted},
      {"PositionLogIsDirectory",
       {directory("pos.log"), star_list("")},
       standard_answers(),
       prompts(3),
       fatal_report("fmt: Is a directory", named(2, "pos.log"), "(A)", kReading),
       {psf_list("")},
       kAborted},
      // A missing position log. Standard error is unbuffered, standard output is not.
      {"ReportPrecedesBufferedPrompts",
       inputs(),
       answers("none.log", kCooName, kPsfName),
       "",
       open_report("No such file or directory", 2, "none.log") + std::string(kPrompt1),
       {},
       kAborted,
       output_to(Stdout::kSameAsStderr)},
  };
}

INSTANTIATE_TEST_SUITE_P(Dialogue, EndToEnd, testing::ValuesIn(dialogue_cases()), case_name);

// Run as an unprivileged user, since permissions do not hold for root.
std::vector<Case> permission_cases() {
  return {
      {"NormalRun",
       inputs(),
       standard_answers(),
       prompts(3),
       "",
       {psf_list("")},
       kStopped,
       as_nobody()},
      {"UnreadablePositionLog",
       {file("pos.log", std::string(kLogHeader), 0200), star_list("")},
       standard_answers(),
       prompts(1),
       open_report("Permission denied", 2, "pos.log"),
       {},
       kAborted,
       as_nobody()},
      {"UnreadableStarList",
       {position_log(""), file("stars.coo", star_list("").content, 0200)},
       standard_answers(),
       prompts(2),
       open_report("Permission denied", 3, "stars.coo"),
       {},
       kAborted,
       as_nobody()},
      {"ReadOnlyPsfIsLeftAlone",
       {position_log(""), star_list(""), file("out.psf", "results of an earlier run\n", 0444)},
       standard_answers(),
       prompts(3),
       fatal_report("write start: can't write file", named(4, "out.psf"), "(A)", kWriting),
       {},
       kAborted,
       as_nobody()},
      {"PsfInUnwritableDirectory",
       {position_log(""), star_list(""), directory("sealed", 0555)},
       answers(kLogName, kCooName, "sealed/out.psf"),
       prompts(3),
       open_report("Permission denied", 4, "sealed/out.psf"),
       {},
       kAborted,
       as_nobody()},
  };
}

INSTANTIATE_TEST_SUITE_P(Permissions, EndToEnd, testing::ValuesIn(permission_cases()), case_name);

// The PSF star list must never be one of the files being read.
std::vector<Case> output_is_input_cases() {
  const std::vector<Entry> files = {position_log("100 100\n"), star_list(record(1, 100, 100, 12))};
  const std::string report_log = open_report("output file is an input file", 4, "pos.log");
  return {
      {"PsfNamedLikePositionLog",
       files,
       answers(kLogName, kCooName, "pos.log"),
       prompts(3),
       report_log,
       {},
       kAborted},
      {"PsfNamesStarListThroughDot",
       files,
       answers(kLogName, kCooName, "./stars.coo"),
       prompts(3),
       open_report("output file is an input file", 4, "./stars.coo"),
       {},
       kAborted},
      {"PsfIsSymlinkToStarList",
       {files[0], files[1], symlink_to("link.psf", "stars.coo")},
       answers(kLogName, kCooName, "link.psf"),
       prompts(3),
       open_report("output file is an input file", 4, "link.psf"),
       {},
       kAborted},
  };
}

INSTANTIATE_TEST_SUITE_P(OutputIsInput, EndToEnd, testing::ValuesIn(output_is_input_cases()),
                         case_name);

}  // namespace
}  // namespace starmark_e2e
