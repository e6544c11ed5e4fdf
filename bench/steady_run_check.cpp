// Runs the built program on the largest workload many times, each run a new
// process in the same folder with the same answers, and checks that every
// run stops with status 0, leaves the same bytes on standard output, standard
// error and in the PSF star list, and that its peak memory (the child's
// ru_maxrss from wait4) stays steady: the last runs within 3% of the first
// ones, and no run more than 10% above them.
// The PSF star list of one run is still there when the next one starts, as
// when a user repeats a run.
//
// Usage: steady_run_check STARMARK [RUNS]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "workload.h"

namespace {

constexpr int kDefaultRuns = 300;
constexpr double kDriftTolerance = 0.03;
constexpr double kExcessTolerance = 0.10;
constexpr const char* kPsfListName = "found.psf";

struct RunResult {
  int status;
  long peak_kib;
  std::string stdout_bytes;
  std::string stderr_bytes;
  std::string psf_bytes;
};

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

[[noreturn]] void child_fails(const char* what) {
  std::fprintf(stderr, "%s: %s\n", what, std::strerror(errno));
  _exit(127);
}

void redirect(const char* path, int flags, int target) {
  const int fd = open(path, flags, 0644);
  if (fd < 0 || dup2(fd, target) < 0) child_fails(path);
  close(fd);
}

bool run_once(const char* program, const std::filesystem::path& folder, RunResult* result) {
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return false;
  }
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) child_fails("chdir");
    redirect("answers", O_RDONLY, STDIN_FILENO);
    redirect("stdout", O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
    redirect("stderr", O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
    execl(program, program, static_cast<char*>(nullptr));
    child_fails(program);
  }
  struct rusage usage {};
  int status = 0;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return false;
    }
  }
  result->status = status;
  result->peak_kib = usage.ru_maxrss;
  result->stdout_bytes = read_file(folder / "stdout");
  result->stderr_bytes = read_file(folder / "stderr");
  result->psf_bytes = read_file(folder / kPsfListName);
  return true;
}

// The first differing byte of two outputs, for the report.
void report_difference(int run, const char* what, const std::string& first,
                       const std::string& now) {
  const auto [at_first, at_now] = std::mismatch(first.begin(), first.end(), now.begin(), now.end());
  std::fprintf(stderr, "run %d: %s differs from run 1 at byte %zu (lengths %zu and %zu)\n", run,
               what, static_cast<size_t>(at_first - first.begin()), first.size(), now.size());
}

bool same_output(int run, const RunResult& first, const RunResult& now) {
  bool same = true;
  const struct {
    const char* what;
    const std::string RunResult::*bytes;
  } outputs[] = {{"standard output", &RunResult::stdout_bytes},
                 {"standard error", &RunResult::stderr_bytes},
                 {"the PSF star list", &RunResult::psf_bytes}};
  for (const auto& output : outputs) {
    if (first.*output.bytes != now.*output.bytes) {
      report_difference(run, output.what, first.*output.bytes, now.*output.bytes);
      same = false;
    }
  }
  return same;
}

// The three answers of the dialogue: the position log, the star list, the
// PSF star list.
bool write_answers(const std::filesystem::path& folder) {
  std::ofstream answers(folder / "answers", std::ios::binary);
  answers << starmark_bench::kFoundLogName << '\n'
          << starmark_bench::kStarListName << '\n'
          << kPsfListName << '\n';
  answers.close();
  return !answers.fail();
}

// The median peak of `count` runs from `begin`.
long median_kib(const std::vector<long>& peaks, size_t begin, size_t count) {
  std::vector<long> window(peaks.begin() + begin, peaks.begin() + begin + count);
  std::nth_element(window.begin(), window.begin() + count / 2, window.end());
  return window[count / 2];
}

bool check_runs(const char* program, const std::filesystem::path& folder, int runs) {
  RunResult first{};
  std::vector<long> peaks;
  bool identical = true;
  const auto start = std::chrono::steady_clock::now();
  for (int run = 1; run <= runs; ++run) {
    RunResult now{};
    if (!run_once(program, folder, &now)) return false;
    if (!WIFEXITED(now.status) || WEXITSTATUS(now.status) != 0) {
      std::fprintf(stderr, "run %d: did not stop with status 0 (wait status %#x)\n", run,
                   now.status);
      std::fprintf(stderr, "its standard error:\n%s", now.stderr_bytes.c_str());
      return false;
    }
    if (run == 1) {
      first = now;
    } else {
      identical = same_output(run, first, now) && identical;
    }
    peaks.push_back(now.peak_kib);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Single runs vary by a few pages with the address layout, so the first
  // and the last tenth of the runs are compared by their medians.
  const size_t window = std::max<size_t>(1, peaks.size() / 10);
  const long first_kib = median_kib(peaks, 0, window);
  const long last_kib = median_kib(peaks, peaks.size() - window, window);
  const long most_kib = *std::max_element(peaks.begin(), peaks.end());
  const double drift = static_cast<double>(last_kib - first_kib) / first_kib;
  const double excess = static_cast<double>(most_kib - first_kib) / first_kib;
  std::printf(
      "%d runs in %.1f s: outputs %s; peak memory (median of %zu runs) first %ld KiB, "
      "last %ld KiB (%+.1f%%); least %ld KiB, most %ld KiB\n",
      runs, seconds, identical ? "identical" : "DIFFER", window, first_kib, last_kib, 100 * drift,
      *std::min_element(peaks.begin(), peaks.end()), most_kib);
  std::fflush(stdout);
  bool steady = true;
  if (std::abs(drift) > kDriftTolerance) {
    std::fprintf(stderr, "peak memory drifts by more than %.0f%% from the first runs to the last\n",
                 100 * kDriftTolerance);
    steady = false;
  }
  if (excess > kExcessTolerance) {
    std::fprintf(stderr, "a run's peak memory exceeds that of the first runs by more than %.0f%%\n",
                 100 * kExcessTolerance);
    steady = false;
  }
  return identical && steady;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s STARMARK [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc == 3 ? std::atoi(argv[2]) : kDefaultRuns;
  if (runs < 1) {
    std::fprintf(stderr, "RUNS must be a positive number\n");
    return 2;
  }
  const std::filesystem::path program = std::filesystem::absolute(argv[1]);

  std::string pattern =
      (std::filesystem::temp_directory_path() / "starmark-steady.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path folder = pattern;
  const bool passed = starmark_bench::write_workload(starmark_bench::make_workload(), folder) &&
                      write_answers(folder) && check_runs(program.c_str(), folder, runs);
  std::filesystem::remove_all(folder);
  return passed ? 0 : 1;
}
