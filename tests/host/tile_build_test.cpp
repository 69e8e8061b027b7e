// tile_build_test.cpp - threshold tiles shared between threads, built side
// by side before a page, and lone pixels turned with a neighbour on bricks
// of any shape.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "screening/halftone_screen.h"
#include "screening/lone_pixels.h"
#include "screening/tile_cache.h"
#include "screening/tile_preparation.h"

namespace {

using riphost::ThresholdTile;

riphost::ScreenSpec spec_of(riphost::DotShape dot, double ruling, double angle) {
  riphost::ScreenSpec spec;
  spec.name = "t";
  spec.dot = dot;
  spec.ruling = ruling;
  spec.angle = angle;
  return spec;
}

// Tiles as for a page of 300 x 300 pixels: small ones, quick to build.
riphost::TileLimits small_page() {
  riphost::TileLimits limits;
  limits.page_extent = 300.0 * 1.4142;
  return limits;
}

TEST(TileCacheTest, ThreadsAskingForOneTileAtOnceShareOneBuild) {
  riphost::TileKey key;
  key.shape = 101, key.P = 7;  // a key no screen makes
  std::atomic<int> builds{0};
  auto make = [&] {
    ++builds;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the others ask meanwhile
    return ThresholdTile(8, 1, 0, 42);
  };
  std::vector<std::shared_ptr<const ThresholdTile>> got(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t) threads.emplace_back([&, t] { got[t] = riphost::shared_tile(key, make); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(builds.load(), 1);
  for (const auto& tile : got) {
    ASSERT_EQ(tile, got[0]);
    EXPECT_EQ(tile->at(3, 0), 42);
  }
}

TEST(TileCacheTest, AFailedBuildIsReportedAndTheNextAskBuildsAgain) {
  riphost::TileKey key;
  key.shape = 102, key.P = 9;
  EXPECT_THROW(riphost::shared_tile(key, []() -> ThresholdTile { throw std::runtime_error("no memory"); }),
               std::runtime_error);
  const auto tile = riphost::shared_tile(key, [] { return ThresholdTile(4, 2, 1, 7); });
  EXPECT_EQ(tile->at(0, 1), 7);
}

// The screens of a page made after their tiles were prepared take the very
// tiles prepared; a screen that cannot be made is passed over.
TEST(PreparedTilesTest, ScreensMadeAfterwardsTakeThePreparedTiles) {
  const riphost::TileLimits limits = small_page();
  std::vector<riphost::TileRequest> requests;
  for (double angle : {15.0, 75.0, 0.0, 45.0}) {
    requests.push_back({2400.0, spec_of(riphost::DotShape::Ellipse, 133.0, angle), limits});
  }
  requests.push_back(requests[1]);                                                 // asked twice
  requests.push_back({2400.0, spec_of(riphost::DotShape::Round, 0.5, 0.0), limits});  // too coarse
  const riphost::PreparedTiles prepared(requests, 2);
  EXPECT_EQ(prepared.size(), 5u);
  std::vector<const ThresholdTile*> seen;
  for (std::size_t r = 0; r + 1 < requests.size(); ++r) {
    const riphost::HalftoneScreen screen(requests[r].ppi, requests[r].spec, requests[r].limits);
    // Held by this screen and the prepared set (and the cache, unless other
    // tiles of this process pushed it out).
    EXPECT_GE(screen.tile_ptr().use_count(), 2) << r;
    seen.push_back(&screen.tile());
  }
  EXPECT_EQ(seen[4], seen[1]);
  EXPECT_NE(seen[0], seen[1]);
}

// A tile with a smooth ramp of thresholds and pixels planted alone in it:
// removal leaves no pixel alone within 5 % to 95 %, whatever the brick's
// shape (one row with a shift, several rows, a shift that wraps rows).
struct BrickCase {
  const char* name;
  std::int64_t width, height, shift;
};

class LonePixelTest : public ::testing::TestWithParam<BrickCase> {};

TEST_P(LonePixelTest, PlantedLonePixelsAreTurnedWithANeighbour) {
  const BrickCase& c = GetParam();
  ThresholdTile tile(c.width, c.height, c.shift);
  // Thresholds rising slowly along the brick: no pixel is alone.
  for (std::int64_t r = 0; r < c.height; ++r) {
    for (std::int64_t x = 0; x < c.width; ++x) tile.brick_row(r)[x] = static_cast<std::uint16_t>(20000 + (x + r) % 7);
  }
  std::mt19937 random(7);
  int planted = 0;
  for (int i = 0; i < 40; ++i) {
    const std::int64_t x = static_cast<std::int64_t>(random() % static_cast<unsigned>(c.width));
    const std::int64_t y = static_cast<std::int64_t>(random() % 4096);
    if (riphost::lone_levels(tile, x, y) > 0) continue;
    // A dark or light pixel in the ramp, not next to another planted one.
    bool near = false;
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) near = near || tile.at(x + dx, y + dy) < 10000 || tile.at(x + dx, y + dy) > 40000;
    }
    if (near) continue;
    tile.at_index(tile.index_of(x, y)) = i % 2 ? 5000 : 60000;
    ASSERT_GT(riphost::lone_levels(tile, x, y), 0u);
    ++planted;
  }
  ASSERT_GT(planted, 10);
  EXPECT_GE(riphost::remove_lone_pixels(tile), static_cast<std::uint64_t>(planted));
  for (std::int64_t y = 0; y < 2 * c.height + 3; ++y) {
    for (std::int64_t x = 0; x < c.width; ++x) ASSERT_EQ(riphost::lone_levels(tile, x, y), 0u) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Bricks, LonePixelTest,
                         ::testing::Values(BrickCase{"OneRowShifted", 4099, 1, 1731}, BrickCase{"Rows", 300, 17, 0},
                                           BrickCase{"RowsShifted", 257, 9, 200}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
