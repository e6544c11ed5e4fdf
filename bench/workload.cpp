#include "workload.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace starmark_bench {

namespace {

constexpr int32_t kImageWidth = 409600;  // 4096 pixels, in hundredths
constexpr int32_t kEdgeMargin = 500;     // stars keep 5 pixels from the edges
constexpr int32_t kDuplicates = 12;
constexpr int32_t kPositions = 200;
// A found position is at most 0.6 pixels from its star along each axis, so
// within 0.85 pixels of it.
constexpr int32_t kClickScatter = 60;
// Misses keep half a pixel beyond 10 pixels, clear of any rounding.
constexpr int64_t kMissClearance = 1050;
constexpr uint64_t kSeed = 20240314;

// splitmix64: a fixed sequence on every platform, unlike the distributions
// of the standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  int32_t between(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(next() % static_cast<uint64_t>(high - low + 1));
  }

 private:
  uint64_t state_;
};

BenchStar draw_star(Random& random) {
  BenchStar star{};
  star.x = random.between(kEdgeMargin, kImageWidth - kEdgeMargin);
  star.y = random.between(kEdgeMargin, kImageWidth - kEdgeMargin);
  // Faint stars are the most numerous.
  star.amag = 20800 - static_cast<int32_t>(7000 * std::pow(random.uniform(), 3));
  star.a = random.between(450, 850);
  star.b = random.between(-350, 350);
  star.c = random.between(-350, 350);
  return star;
}

bool clear_of_every_star(const std::vector<BenchStar>& stars, BenchPosition position) {
  return std::none_of(stars.begin(), stars.end(), [&](const BenchStar& star) {
    const int64_t dx = star.x - position.x;
    const int64_t dy = star.y - position.y;
    return dx * dx + dy * dy <= kMissClearance * kMissClearance;
  });
}

// Even misses fall on empty sky inside the image, odd ones outside it, 20 to
// 400 pixels beyond one of its four edges.
BenchPosition draw_miss(Random& random, int32_t k) {
  if (k % 2 == 0) {
    return {random.between(0, kImageWidth), random.between(0, kImageWidth)};
  }
  const int32_t along = random.between(0, kImageWidth);
  const int32_t beyond = random.between(2000, 40000);
  switch (k / 2 % 4) {
    case 0:
      return {-beyond, along};
    case 1:
      return {kImageWidth + beyond, along};
    case 2:
      return {along, -beyond};
    default:
      return {along, kImageWidth + beyond};
  }
}

BenchPosition click_near(Random& random, const BenchStar& star) {
  return {star.x + random.between(-kClickScatter, kClickScatter),
          star.y + random.between(-kClickScatter, kClickScatter)};
}

}  // namespace

Workload make_workload() {
  Random random(kSeed);
  Workload workload;
  workload.duplicates = kDuplicates;
  std::vector<BenchStar>& stars = workload.stars;
  stars.reserve(starmark::kMaxStars);
  for (int32_t j = 0; j < starmark::kMaxStars - kDuplicates; ++j)
    stars.push_back(draw_star(random));
  // Detection order: by y, then x.
  std::sort(stars.begin(), stars.end(), [](const BenchStar& p, const BenchStar& q) {
    return p.y != q.y ? p.y < q.y : p.x < q.x;
  });
  // A second detection of a star, further down the list: an exact tie that
  // the earlier record must win.
  std::vector<BenchStar> duplicated;
  for (int32_t k = 0; k < kDuplicates; ++k) {
    const int32_t source = random.between(0, static_cast<int32_t>(stars.size()) - 2);
    const int32_t place = random.between(source + 1, static_cast<int32_t>(stars.size()));
    BenchStar copy = stars[source];
    copy.amag += random.between(300, 1500);
    stars.insert(stars.begin() + place, copy);
    duplicated.push_back(copy);
  }
  for (size_t j = 0; j < stars.size(); ++j) stars[j].n = static_cast<int32_t>(j + 1);

  // Every 16th found position marks a duplicated star.
  for (int32_t k = 0; k < kPositions; ++k) {
    const size_t tie = static_cast<size_t>(k / 16);
    const BenchStar& star = k % 16 == 0 && tie < duplicated.size()
                                ? duplicated[tie]
                                : stars[random.between(0, static_cast<int32_t>(stars.size()) - 1)];
    workload.found.push_back(click_near(random, star));
  }
  for (int32_t k = 0; k < kPositions; ++k) {
    BenchPosition position;
    do {
      position = draw_miss(random, k);
    } while (!clear_of_every_star(stars, position));
    workload.miss.push_back(position);
  }
  return workload;
}

namespace {

bool write_file(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

void append(std::string* text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string* text, const char* format, ...) {
  char line[128];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  text->append(line, static_cast<size_t>(length));
}

std::string position_log_text(const std::vector<BenchPosition>& positions) {
  std::string text =
      "# Marked positions, image bench.fits, 4096 x 4096\n"
      "#       x        y\n";
  for (const BenchPosition& position : positions) {
    append(&text, "%.2f %.2f\n", position.x / 100.0, position.y / 100.0);
  }
  return text;
}

}  // namespace

std::string star_list_text(const Workload& workload) {
  std::string stars;
  append(&stars, " Star coordinates of image bench.fits, 4096 x 4096 pixels, %zu stars\n",
         workload.stars.size());
  stars += " Detection threshold 4.0 sigma above sky, FWHM 3.2 pixels, gain 2.5 e-/ADU\n";
  append(&stars, "%7s%9s%9s%9s%9s%9s%9s\n", "n", "x", "y", "amag", "a", "b", "c");
  for (const BenchStar& star : workload.stars) {
    append(&stars, "%7d%9.2f%9.2f%9.3f%9.3f%9.3f%9.3f\n", star.n, star.x / 100.0, star.y / 100.0,
           star.amag / 1000.0, star.a / 1000.0, star.b / 1000.0, star.c / 1000.0);
  }
  return stars;
}

bool write_workload(const Workload& workload, const std::string& folder) {
  return write_file(folder + "/" + kStarListName, star_list_text(workload)) &&
         write_file(folder + "/" + kFoundLogName, position_log_text(workload.found)) &&
         write_file(folder + "/" + kMissLogName, position_log_text(workload.miss));
}

float pixels(int32_t hundredths) {
  return static_cast<float>(hundredths / 100.0);
}

void fill_table(const Workload& workload, starmark::StarTable* table) {
  table->count = static_cast<int32_t>(workload.stars.size());
  for (size_t j = 0; j < workload.stars.size(); ++j) {
    const BenchStar& star = workload.stars[j];
    table->records[j] = {star.n,
                         pixels(star.x),
                         pixels(star.y),
                         static_cast<float>(star.amag / 1000.0),
                         static_cast<float>(star.a / 1000.0),
                         static_cast<float>(star.b / 1000.0),
                         static_cast<float>(star.c / 1000.0)};
  }
}

}  // namespace starmark_bench
