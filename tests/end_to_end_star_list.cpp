// The star list: the header copy, the star records and the table's capacity.
#include "end_to_end.h"

namespace starmark_e2e {
namespace {

using namespace std::string_literals;

const Direction kReading = Direction::kReading;

std::string header_end_report(int unit, std::string_view name) {
  return fatal_report("fmt: end of file", named(unit, name), "(A)", kReading);
}

const std::string kLong100 =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456789"
    "abcdefghijklmnopqrstuvwxyz!";
const std::string kExact80 =
    pad80("Third header line, exactly eighty characters, with blanks at its end");
const std::string kEarlierRun =
    "results of an earlier run, longer than this run's output\n" + std::string(1000, '#') + "\n";

std::vector<Case> header_cases() {
  const Entry empty_log = position_log("");
  return {
      {"ShortLinesPaddedLongLinesCut",
       {empty_log, file("stars.coo", "Field 7\n" + kLong100 + "\n\n")},
       standard_answers(),
       prompts(3),
       "",
       {file("out.psf", psf_header("Field 7", kLong100, ""))}},
      {"HeaderBytesCopiedVerbatim",
       {empty_log, file("stars.coo", "\tTab\0NUL\r\n  leading blanks\n x\ry \x01\xff\n"s)},
       standard_answers(),
       prompts(3),
       "",
       {file("out.psf", psf_header("\tTab\0NUL\r"s, "  leading blanks", " x\ry \x01\xff"))}},
      {"HeaderLineLongerThanAnyBuffer",
       {empty_log, file("stars.coo", std::string(100000, 'h') + "\nh2\nh3\n")},
       standard_answers(),
       prompts(3),
       "",
       {file("out.psf", psf_header(std::string(80, 'h'), "h2", "h3"))}},
      {"EmptyStarList",
       {empty_log, file("stars.coo", "")},
       standard_answers(),
       prompts(3),
       header_end_report(3, "stars.coo"),
       {file("out.psf", "")},
       kAborted},
      // Nothing is written before the first header read fails.
      {"EmptyStarListLeavesEarlierPsf",
       {empty_log, file("stars.coo", ""), file("out.psf", kEarlierRun)},
       standard_answers(),
       prompts(3),
       header_end_report(3, "stars.coo"),
       {},
       kAborted},
      {"StarListOfOneLine",
       {empty_log, file("stars.coo", "h1\n"), file("out.psf", kEarlierRun)},
       standard_answers(),
       prompts(3),
       header_end_report(3, "stars.coo"),
       {file("out.psf", pad80("h1") + "\n")},
       kAborted},
      {"ShortThirdLineWithoutLineFeed",
       {empty_log, file("stars.coo", "h1\nh2\nh3")},
       standard_answers(),
       prompts(3),
       header_end_report(3, "stars.coo"),
       {file("out.psf", pad80("h1") + "\n" + pad80("h2") + "\n\n")},
       kAborted},
      // The line fills the buffer, so it is taken; the table then stays empty.
      {"FullThirdLineWithoutLineFeed",
       {position_log("100 100\n"), file("stars.coo", "h1\nh2\n" + kExact80)},
       standard_answers(),
       prompts(3) + not_found(1),
       "",
       {file("out.psf", psf_header("h1", "h2", kExact80))}},
      {"LongFirstLineWithoutLineFeed",
       {empty_log, file("stars.coo", kLong100)},
       standard_answers(),
       prompts(3),
       fatal_report("read start: end of file", named(3, "stars.coo"), "(A)", kReading),
       {file("out.psf", pad80(kLong100) + "\n")},
       kAborted},
      {"PositionLogOfOneLine",
       {file("pos.log", "only one line\n"), star_list("")},
       standard_answers(),
       prompts(3),
       header_end_report(2, "pos.log"),
       {psf_list("")},
       kAborted},
      {"EarlierLongerPsfIsCut",
       {position_log("100 100\n"), star_list(record(1, 100, 100, 12)),
        file("out.psf", kEarlierRun)},
       standard_answers(),
       prompts(3),
       "",
       {psf_list(record(1, 100, 100, 12))}},
  };
}

INSTANTIATE_TEST_SUITE_P(HeaderCopy, EndToEnd, testing::ValuesIn(header_cases()), case_name);

std::vector<Case> record_cases() {
  const std::string round_trip = "      1   100.00   200.00   12.345    0.100   -0.200    0.300\n";
  return {
      completed_run("RecordWrittenBackUnchanged", round_trip, "100 200\n", round_trip),
      completed_run("ImpliedDecimalsAndMissingFields", "      5    12345\n", "123.45 0\n",
                    record(5, 123.45, 0, 0)),
      completed_run(
          "LongTailAfterColumn61Ignored",
          round_trip.substr(0, 61) + std::string(70000, 'x') + "\n" + record(2, 50, 50, 12),
          "100 200\n50 50\n", round_trip + record(2, 50, 50, 12)),
      completed_run("LastRecordWithoutLineFeedNotLoaded",
                    record(1, 10, 10, 11) + record(2, 50, 50, 12).substr(0, 61), "10 10\n50 50\n",
                    record(1, 10, 10, 11), not_found(2)),
      // The table is loaded before any position is read.
      {"LetterInField",
       {position_log("100 200\n"), star_list(round_trip + "      2   1O0.00   200.00\n")},
       standard_answers(),
       prompts(3),
       fatal_report("fmt: read unexpected character", named(3, "stars.coo"), "(I7,2F9.2,4F9.3)",
                    kReading),
       {psf_list("")},
       kAborted},
  };
}

INSTANTIATE_TEST_SUITE_P(StarRecords, EndToEnd, testing::ValuesIn(record_cases()), case_name);

// Record j of a generated list sits at grid position j.
std::string grid_position(int j) {
  return std::to_string(grid_x(j)) + " " + std::to_string(grid_y(j)) + "\n";
}

// A star list of `count` generated records, made only when the case runs,
// then `last_lines`.
struct CapacityCase {
  Case test_case;  // its star list holds only the last lines
  int count;
};

void PrintTo(const CapacityCase& capacity_case, std::ostream* os) {
  *os << capacity_case.test_case.name;
}

CapacityCase capacity_case(std::string name, int count, std::string last_lines,
                           std::string positions, std::string out_after_prompts,
                           std::string psf_records) {
  return {{std::move(name),
           {position_log(positions), file(std::string(kCooName), std::move(last_lines))},
           standard_answers(),
           prompts(3) + out_after_prompts,
           "",
           {psf_list(psf_records)}},
          count};
}

std::vector<CapacityCase> capacity_cases() {
  // Record 50,000 is n 50000 at (5.25, 4005.5), amag 12.5, a 0.25, b -1.5, c 0.1.
  const std::string capacity_line = " 50000 50000  5.25  4005.5  12.5  0.25 -1.5  0.100000001\n";
  const std::string positions =
      grid_position(1) + grid_position(50000) + grid_position(50001) + "99999 99999\n";
  const std::string wide_last =
      record(50000, -12345.67, -23456.78, -1234.567, -0.123, -0.789, -0.321);
  return {
      capacity_case("FortyNineThousandNineHundredNinetyNineRecords", 49999, "", positions,
                    not_found(2) + not_found(3) + not_found(4), grid_record(1)),
      capacity_case("FiftyThousandRecords", 50000, "", positions,
                    capacity_line + not_found(3) + not_found(4),
                    grid_record(1) + grid_record(50000)),
      // Record 50,001 is never read, so its bad character goes unnoticed.
      capacity_case("FiftyThousandAndOneRecords", 50000, grid_record(50001).replace(10, 1, "X"),
                    positions, capacity_line + not_found(3) + not_found(4),
                    grid_record(1) + grid_record(50000)),
      // The last item would take the line past 79 characters, so it starts a new one.
      capacity_case("CapacityLineWraps", 49999, wide_last,
                    grid_position(1) + "-12345.67 -23456.78\n",
                    " 50000 50000 -12345.6699 -23456.7793 -1234.56702 -0.123000003 -0.788999975\n"
                    " -0.32100001\n",
                    grid_record(1) + wide_last),
  };
}

class GeneratedStarList : public testing::TestWithParam<CapacityCase> {};
TEST_P(GeneratedStarList, Run) {
  Case test_case = GetParam().test_case;
  for (Entry& entry : test_case.files) {
    if (entry.path == kCooName)
      entry.content = generated_star_list(GetParam().count, entry.content);
  }
  run_and_check(test_case);
}
INSTANTIATE_TEST_SUITE_P(Capacity, GeneratedStarList, testing::ValuesIn(capacity_cases()),
                         [](const testing::TestParamInfo<CapacityCase>& info) {
                           return info.param.test_case.name;
                         });

}  // namespace
}  // namespace starmark_e2e
