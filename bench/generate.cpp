// Writes the largest workload (star list and both position logs) into the
// folder given as the only argument.
#include <cstdio>

#include "workload.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  return starmark_bench::write_workload(starmark_bench::make_workload(), argv[1]) ? 0 : 1;
}
