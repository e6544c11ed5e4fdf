// The positions of the position log and the choice of the nearest star.
#include "end_to_end.h"

namespace starmark_e2e {
namespace {

// Three stars far enough apart that each position below picks one of them.
const std::string kStar1 = record(1, 12.5, 100, 11.1);
const std::string kStar2 = record(2, 4.5, 4.5, 12.2);
const std::string kStar3 = record(3, 12.5, 4.5, 13.3);

Case position_case(std::string name, std::string_view positions, std::string_view psf_records,
                   std::string_view not_found_lines = "") {
  return completed_run(std::move(name), kStar1 + kStar2 + kStar3, positions, psf_records,
                       not_found_lines);
}

Case bad_position_case(std::string name, std::string_view positions, std::string_view prefix,
                       std::string_view psf_records) {
  Case test_case = position_case(std::move(name), positions, psf_records);
  test_case.err = fatal_report(std::string(prefix) + ": incomprehensible list input",
                               named(2, "pos.log"), "list io", Direction::kReading);
  test_case.outcome = kAborted;
  return test_case;
}

std::vector<Case> position_cases() {
  return {
      position_case("BlankAndCommaSeparators", "12.5 100\n12.5,100\n12.5 , 100\n",
                    kStar1 + kStar1 + kStar1),
      // The rest of the line holding the second value is never read.
      position_case("SecondValueOnNextLine", "12.5\n100 4.5 4.5\n4.5 4.5\n", kStar1 + kStar2),
      // The third value of 3*4.5 is not left over for the next position.
      position_case("RepeatCountLargerThanNeeded", "3*4.5\n12.5 100\n", kStar2 + kStar1),
      position_case("ValueAfterManyBlanks", std::string(70000, ' ') + "12.5 100\n", kStar1),
      position_case("NullValueKeepsPrevious", "12.5 100\n,4.5\n", kStar1 + kStar3),
      // A coordinate that never had a value matches no star.
      position_case("FirstPositionWithoutXs", ",4.5\n4.5 4.5\n", kStar2, not_found(1)),
      position_case("FirstPositionSlash", "/\n12.5 100\n", kStar1, not_found(1)),
      position_case("LastLineWithoutLineFeed", "4.5 4.5\n12.5 100", kStar2 + kStar1),
      position_case("LastLineWithThirdValueWithoutLineFeed", "4.5 4.5\n12.5 100 7", kStar2),
      bad_position_case("LetterEndsNumber", "12.5 100\n1.5abc 2\n", "invalid number", kStar1),
      bad_position_case("ZeroRepeatCount", "0*4 5\n", "bad repetition count", ""),
      bad_position_case("ExponentTooLarge", "1e123456789 5\n", "exponent field", ""),
  };
}

INSTANTIATE_TEST_SUITE_P(Positions, EndToEnd, testing::ValuesIn(position_cases()), case_name);

std::vector<Case> selection_cases() {
  const std::string star11 = record(11, 100, 100, 12.1, 0.5, -0.25, 1.5);
  const std::string star12 = record(12, 102, 100, 12.2, 0.5, -0.25, 1.5);
  const std::string star13 = record(13, 200, 200, 12.3, 0.5, -0.25, 1.5);
  return {
      completed_run("WorkedRun", star11 + star12 + star13,
                    "101.4 100.0\n101.0 100.0\n150.0 150.0\n199.0 197.5\n",
                    star12 + star11 + star13, not_found(3)),
      completed_run("DistanceThreeIsNotAccepted", star11, "103 100\n102.9 100\n100 95\n", star11,
                    not_found(1) + not_found(3)),
      // The differences are single-precision values: 3.1 lies 2.9999999...
      // from 0.1, which rounds to 3.0.
      completed_run("DifferenceRoundedToSinglePrecision", record(1, 0.1, 0, 12), "3.1 0\n0.1 2.9\n",
                    record(1, 0.1, 0, 12), not_found(1)),
      // Positions 201 to 250 lie on the star but are never read.
      completed_run("OnlyFirstTwoHundredPositions", star11,
                    repeated("500 500\n", 200) + repeated("100 100\n", 50), "",
                    not_found_lines(1, 200)),
  };
}

INSTANTIATE_TEST_SUITE_P(Selection, EndToEnd, testing::ValuesIn(selection_cases()), case_name);

}  // namespace
}  // namespace starmark_e2e
