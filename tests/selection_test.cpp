#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "float_bits.h"
#include "plain_scan.h"
#include "star_grid.h"

namespace starmark {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct Star {
  float x;
  float y;
};

std::unique_ptr<StarTable> table_of(const std::vector<Star>& stars) {
  auto table = std::make_unique<StarTable>();
  for (size_t j = 0; j < stars.size(); ++j) {
    table->records[j] = {static_cast<int32_t>(j + 1), stars[j].x, stars[j].y, 0, 0, 0, 0};
  }
  table->count = static_cast<int32_t>(stars.size());
  return table;
}

// The plain scan's nearest star; the program's search must agree with it in
// every bit.
Nearest nearest_checked(const StarTable& table, float xs, float ys) {
  const Nearest fast = std::make_unique<StarGrid>()->build(table).find_nearest(xs, ys);
  const Nearest plain = find_nearest_plain(table, xs, ys);
  EXPECT_TRUE(bits_of(fast.distance) == bits_of(plain.distance) && fast.index == plain.index)
      << std::setprecision(9) << "table of " << table.count << ", position (" << xs << ", " << ys
      << "): the grid gives star " << fast.index << " at " << fast.distance
      << ", find_nearest_plain star " << plain.index << " at " << plain.distance;
  return plain;
}

// The nearest star, at the limits of the distance, among stars and at
// positions that are not numbers, infinite or huge; kSearchStart and -1 when
// no star is nearer.
TEST(Selection, NearestStarAtTheLimits) {
  const float below_ten = std::nextafter(10.0f, 0.0f);
  const Star nowhere{kNaN, kNaN};
  const struct {
    std::vector<Star> stars;
    Star position;
    int32_t index;
    float distance;
  } cases[] = {
      {{{3.0f, 0.0f}}, {0, 0}, 0, 3.0f},
      {{{0.0f, -3.0f}}, {0, 0}, 0, 3.0f},
      {{{3.0f, 4.0f}}, {0, 0}, 0, 5.0f},
      {{{below_ten, 0.0f}}, {0, 0}, 0, below_ten},
      {{{-6.0f, 8.0f}}, {0, 0}, -1, kSearchStart},
      {{{10.0f, 1e-4f}}, {0, 0}, -1, kSearchStart},
      // Its square is below 100, but its distance rounds to 10.0.
      {{{6.0f, std::nextafter(8.0f, 0.0f)}}, {0, 0}, -1, kSearchStart},
      {{}, {0, 0}, -1, kSearchStart},
      {{{1.0f, 1.0f}}, {kNaN, 0.0f}, -1, kSearchStart},
      {{{1.0f, 1.0f}}, {0.0f, kNaN}, -1, kSearchStart},
      {{{kNaN, 0.0f}, {0.0f, kNaN}, {1.0f, 0.0f}}, {0, 0}, 2, 1.0f},
      {{nowhere, nowhere, nowhere, nowhere, nowhere}, {0, 0}, -1, kSearchStart},
      {{{kInfinity, 0.0f}, {0.0f, -kInfinity}}, {0, 0}, -1, kSearchStart},
      {{{kInfinity, kInfinity}}, {kInfinity, kInfinity}, -1, kSearchStart},
      {{{1e20f, 0.0f}, {0.0f, 1.0f}}, {0, 0}, 1, 1.0f},
      {{{1e30f, -1e30f}, {1e30f, 1e30f}}, {1e30f, 1e30f}, 1, 0.0f},
      {{{3e38f, 3e38f}, {-3e38f, 3e38f}}, {-3e38f, -3e38f}, -1, kSearchStart},
      {{{1e30f, 1e30f}, {-1e30f, 2.0f}, {kNaN, 1.0f}, {0.5f, 0.5f}}, {0, 0}, 3, 0.70710677f}};
  for (const auto& c : cases) {
    const Nearest nearest = nearest_checked(*table_of(c.stars), c.position.x, c.position.y);
    EXPECT_EQ(nearest.index, c.index)
        << "stars " << c.stars.size() << ", position " << c.position.x << ", " << c.position.y;
    EXPECT_EQ(bits_of(nearest.distance), bits_of(c.distance)) << nearest.distance;
  }
}

// Stars around a position: scattered, repeated, mirrored, on a ring (so
// that many distances round alike), a few steps off an earlier star, far
// away, or not finite.
Star random_star(std::mt19937_64& random, const std::vector<Star>& earlier, float xs, float ys,
                 float ring) {
  std::uniform_real_distribution<float> offset(-12.0f, 12.0f);
  std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
  const Star previous = earlier.empty() ? Star{xs, ys} : earlier[random() % earlier.size()];
  switch (random() % 10) {
    case 0:
      return previous;
    case 1:
      return {xs - (previous.x - xs), ys - (previous.y - ys)};
    case 2:
    case 3: {
      const float a = angle(random);
      return {xs + ring * std::cos(a), ys + ring * std::sin(a)};
    }
    case 4: {
      const int steps = static_cast<int>(random() % 5) - 2;
      return {previous.x + steps * std::fabs(previous.x) * 0x1p-23f, previous.y};
    }
    case 5:
      return {xs + offset(random) * 100, ys + offset(random) * 100};
    case 6: {
      const float specials[] = {kNaN, kInfinity, -kInfinity, 1e20f, -1e30f, 3e38f, 0.0f};
      return {specials[random() % 7], random() % 2 ? ys : specials[random() % 7]};
    }
    case 7:  // tiny offsets, subnormal ones for a position at the origin
      return {xs + std::ldexp(offset(random), -static_cast<int>(random() % 150)),
              ys + std::ldexp(offset(random), -static_cast<int>(random() % 150))};
    default:
      return {xs + offset(random), ys + offset(random)};
  }
}

Star random_position(std::mt19937_64& random) {
  std::uniform_real_distribution<float> field(-1000.0f, 1000.0f);
  std::uniform_real_distribution<float> nudge(-0.01f, 0.01f);
  switch (random() % 10) {
    case 8:  // at a corner of the search's cells, which are 32 pixels wide
      return {32.0f * static_cast<float>(static_cast<int>(random() % 64) - 32) + nudge(random),
              32.0f * static_cast<float>(static_cast<int>(random() % 64) - 32) + nudge(random)};
    case 9: {  // at the bound of the cells, 2^60, within or beyond it
      const float bound = random() % 2 ? 0x1p60f : -0x1p60f;
      return {random() % 2 ? bound : std::nextafter(bound, 0.0f), field(random)};
    }
    case 0:
      return {0.0f, 0.0f};
    case 3:  // small, so that offsets keep most of their bits
      return {static_cast<float>(random() % 81) / 4 - 10,
              static_cast<float>(random() % 81) / 4 - 10};
    case 1:
      return {kNaN, field(random)};
    case 2:
      return {field(random) * 1e6f, field(random)};
    default:
      return {field(random), field(random)};
  }
}

// Repeated, mirrored and ring stars tie, and stars a few steps off or at
// tiny and subnormal offsets tie only once their distances are rounded: the
// plain scan gives every tie to the earlier star, so must the search.
TEST(Selection, RandomTablesMatchThePlainScan) {
  std::mt19937_64 random(977);
  const size_t sizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15, 16, 17, 31, 33, 64, 65, 257};
  for (int trial = 0; trial < 4000 && !HasFailure(); ++trial) {
    const size_t size = trial % 2 == 0 ? sizes[trial / 2 % std::size(sizes)] : random() % 2000;
    const Star position = random_position(random);
    const float ring = std::uniform_real_distribution<float>(0.5f, 9.5f)(random);
    std::vector<Star> stars;
    while (stars.size() < size)
      stars.push_back(random_star(random, stars, position.x, position.y, ring));
    const std::unique_ptr<StarTable> table = table_of(stars);
    for (int probe = 0; probe < 8; ++probe) {
      // The table's own position, or one right at or near one of its stars.
      Star at = position;
      if (probe > 0 && size > 0) {
        at = stars[random() % size];
        at.x += probe % 2 ? 0.0f : std::uniform_real_distribution<float>(-2.0f, 2.0f)(random);
      }
      nearest_checked(*table, at.x, at.y);
    }
  }
}

}  // namespace
}  // namespace starmark
