#include "units.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

namespace starmark {
namespace {

// With no more address space, and the free memory used up, a stream's
// buffer cannot be had.
void open_without_memory() {
  start_run();
  const rlimit none{0, 0};
  setrlimit(RLIMIT_AS, &none);
  // Each block is stored through a volatile, so that the compiler cannot
  // drop an allocation that nothing uses.
  for (void* volatile block; (block = std::malloc(1024)) != nullptr;) {
  }
  open_existing(kStarListUnit, "/dev/null");
}

// Memory that cannot be had ends the run with the program's own report.
TEST(UnitsDeathTest, MemoryThatCannotBeHadIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's allocator needs address space of its own";
#endif
  if (std::getenv("STARMARK_EMULATOR") != nullptr) {
    GTEST_SKIP() << "an emulator needs address space of its own";
  }
  EXPECT_DEATH(open_without_memory(),
               "^alloc: out of free space\napparent state: unit 3 named /dev/null\n");
}

}  // namespace
}  // namespace starmark
