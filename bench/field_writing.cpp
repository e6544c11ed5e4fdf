// The six reals of 200 star records, "(2F9.2,4F9.3)", written by the C
// library's formatting (as the record writer wrote them before) and by the
// exact fixed-point writer (fixed_field.h); bench/run counts each with
// callgrind's --toggle-collect.
// Exits non-zero when the two write different bytes.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "fixed_field.h"
#include "star_list.h"
#include "workload.h"

namespace {

constexpr int kRecords = 200;
constexpr int kRealColumns = 54;

// Stars spread over the whole list, as the positions of a run find them.
int star_of_record(const starmark::StarTable& table, int record) {
  return record * (table.count / kRecords);
}

// A field by "%#.*f" of the widened magnitude, the minus ours (none for a
// value that rounds to zero), asterisks where it does not fit.
void write_real_field(float value, int width, int decimals, std::string* text) {
  char digits[64];
  const int length = std::snprintf(digits, sizeof digits, "%#.*f", decimals,
                                   std::fabs(static_cast<double>(value)));
  const std::string shown(digits, static_cast<size_t>(length));
  const bool minus = value < 0 && shown.find_first_not_of("0.") != std::string::npos;
  const int needed = length + (minus ? 1 : 0);
  if (needed > width) {
    text->append(static_cast<size_t>(width), '*');
    return;
  }
  text->append(static_cast<size_t>(width - needed), ' ');
  if (minus) text->push_back('-');
  text->append(shown);
}

__attribute__((noinline)) void write_by_c_library(const starmark::StarTable& table,
                                                  std::string* text) {
  for (int record = 0; record < kRecords; ++record) {
    const int j = star_of_record(table, record);
    write_real_field(table.records[j].x, 9, 2, text);
    write_real_field(table.records[j].y, 9, 2, text);
    write_real_field(table.records[j].amag, 9, 3, text);
    write_real_field(table.records[j].a, 9, 3, text);
    write_real_field(table.records[j].b, 9, 3, text);
    write_real_field(table.records[j].c, 9, 3, text);
  }
}

__attribute__((noinline)) void write_exactly(const starmark::StarTable& table, std::string* text) {
  text->resize(kRecords * kRealColumns);
  char* field = text->data();
  for (int record = 0; record < kRecords; ++record) {
    const int j = star_of_record(table, record);
    starmark::write_fixed_field(table.records[j].x, 9, 2, field);
    starmark::write_fixed_field(table.records[j].y, 9, 2, field + 9);
    starmark::write_fixed_field(table.records[j].amag, 9, 3, field + 18);
    starmark::write_fixed_field(table.records[j].a, 9, 3, field + 27);
    starmark::write_fixed_field(table.records[j].b, 9, 3, field + 36);
    starmark::write_fixed_field(table.records[j].c, 9, 3, field + 45);
    field += kRealColumns;
  }
}

}  // namespace

int main() {
  const auto table = std::make_unique<starmark::StarTable>();
  starmark_bench::fill_table(starmark_bench::make_workload(), table.get());
  std::string by_c_library;
  by_c_library.reserve(kRecords * kRealColumns);
  write_by_c_library(*table, &by_c_library);
  std::string exactly;
  write_exactly(*table, &exactly);
  if (exactly != by_c_library) {
    std::fprintf(stderr, "the two writers differ\n");
    return 1;
  }
  std::printf("%d records, the same %zu bytes\n", kRecords, exactly.size());
  return 0;
}
