// Times the nearest-star search over the largest table: find_nearest, the
// program's search (building the star grid, then searching each position),
// against find_nearest_plain, the scan one star at a time, for the 200
// positions that find their star and the 200 that miss. Before timing, it
// checks that both searches agree on every position. After the run it prints
// how many times faster find_nearest is.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "plain_scan.h"
#include "star_grid.h"
#include "workload.h"

namespace {

using starmark::Nearest;
using starmark::StarTable;
using starmark_bench::BenchPosition;

struct Point {
  float x;
  float y;
};

// One search of every position, as a run makes it.
using SearchAll = void (*)(const StarTable&, const std::vector<Point>&);

// The program's search: the grid is built once, then asked for each position.
void grid_search(const StarTable& table, const std::vector<Point>& positions) {
  const auto grid = std::make_unique<starmark::StarGrid>();
  grid->build(table);
  for (const Point& point : positions) {
    benchmark::DoNotOptimize(grid->find_nearest(point.x, point.y));
  }
}

// The plain scan measures every star for each position.
void plain_search(const StarTable& table, const std::vector<Point>& positions) {
  for (const Point& point : positions) {
    benchmark::DoNotOptimize(starmark::find_nearest_plain(table, point.x, point.y));
  }
}

std::vector<Point> points(const std::vector<BenchPosition>& positions) {
  std::vector<Point> result;
  for (const BenchPosition& position : positions) {
    result.push_back({starmark_bench::pixels(position.x), starmark_bench::pixels(position.y)});
  }
  return result;
}

void search_all(benchmark::State& state, const StarTable* table, SearchAll search,
                const std::vector<Point>* positions) {
  for (auto _ : state) search(*table, *positions);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(positions->size()));
}

// Both searches must choose the same star at the same distance; found
// positions lie within 1 pixel of their star, and misses find none.
bool searches_agree(const StarTable& table, const std::vector<Point>& positions, bool found) {
  const auto grid = std::make_unique<starmark::StarGrid>();
  grid->build(table);
  for (size_t k = 0; k < positions.size(); ++k) {
    const Point point = positions[k];
    const Nearest fast = grid->find_nearest(point.x, point.y);
    const Nearest plain = starmark::find_nearest_plain(table, point.x, point.y);
    if (fast.index != plain.index || fast.distance != plain.distance) {
      std::fprintf(stderr,
                   "position %zu (%.2f, %.2f): find_nearest gives star index %d at %.9g, "
                   "find_nearest_plain star index %d at %.9g\n",
                   k + 1, point.x, point.y, fast.index, fast.distance, plain.index, plain.distance);
      return false;
    }
    if (found ? plain.index < 0 || !(plain.distance < 1.0f) : plain.index >= 0) {
      std::fprintf(stderr, "position %zu (%.2f, %.2f) %s, yet its nearest star is at %.9g\n", k + 1,
                   point.x, point.y, found ? "should find its star" : "should miss",
                   plain.distance);
      return false;
    }
  }
  return true;
}

// The console report, which also keeps each benchmark's CPU time per
// iteration (the median of the repetitions when there are several): on a
// shared machine CPU time is the steadier measure of a single-threaded search.
class SpeedUpReporter : public benchmark::ConsoleReporter {
 public:
  explicit SpeedUpReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && medians_.count(name) == 0)) {
        times_[name] = run.GetAdjustedCPUTime();
        if (median) medians_.insert(name);
      }
    }
  }

  void print_speed_up(const std::string& positions) const {
    const auto fast = times_.find("find_nearest/" + positions);
    const auto plain = times_.find("find_nearest_plain/" + positions);
    if (fast == times_.end() || plain == times_.end()) return;
    std::printf(
        "speed-up over the plain scan, %s: %.2fx (CPU %.3f ms -> %.3f ms per 200 positions)\n",
        positions.c_str(), plain->second / fast->second, plain->second, fast->second);
  }

 private:
  std::map<std::string, double> times_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  const starmark_bench::Workload workload = starmark_bench::make_workload();
  const auto table = std::make_unique<StarTable>();
  starmark_bench::fill_table(workload, table.get());
  const std::vector<Point> found = points(workload.found);
  const std::vector<Point> miss = points(workload.miss);
  if (!searches_agree(*table, found, true) || !searches_agree(*table, miss, false)) return 1;

  const struct {
    const char* name;
    SearchAll search;
    const std::vector<Point>* positions;
  } cases[] = {
      {"find_nearest/found", grid_search, &found},
      {"find_nearest_plain/found", plain_search, &found},
      {"find_nearest/miss", grid_search, &miss},
      {"find_nearest_plain/miss", plain_search, &miss},
  };
  for (const auto& bench : cases) {
    benchmark::RegisterBenchmark(bench.name, search_all, table.get(), bench.search, bench.positions)
        ->Unit(benchmark::kMillisecond);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Colours only on a terminal, as the library's own console report.
  SpeedUpReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                 : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::cout.flush();
  reporter.print_speed_up("found");
  reporter.print_speed_up("miss");
  benchmark::Shutdown();
  return 0;
}
