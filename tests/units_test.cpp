#include "units.h"

#include <gtest/gtest.h>

#include <new>

namespace starmark {
namespace {

// Memory that cannot be had ends the run with the program's own report, not
// with an exception that escapes.
TEST(UnitsDeathTest, MemoryThatCannotBeHadIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reports an impossible allocation itself";
#endif
  EXPECT_DEATH(
      {
        start_run();
        // More than any machine has: the allocation itself fails.
        volatile size_t size = size_t{1} << 62;
        char* volatile memory = new char[size];
        delete[] memory;
      },
      "^alloc: out of free space\napparent state: unit 5 \\(unnamed\\)\n");
}

}  // namespace
}  // namespace starmark
