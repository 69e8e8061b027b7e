// area_index_test.cpp - the screen of every pixel of a row with many screen
// areas: the index's segments against painting the areas one by one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "screening/area_index.h"

namespace {

using riphost::AreaIndex;
using riphost::ScreenArea;
using riphost::ScreenSegment;

// Screen of each pixel of row y: areas painted in order, later over earlier.
std::vector<std::size_t> painted(const std::vector<ScreenArea>& areas, int width, long long y) {
  std::vector<std::size_t> screen(static_cast<std::size_t>(width), 0);
  for (const ScreenArea& a : areas) {
    if (y < a.y || y >= static_cast<long long>(a.y) + a.height) continue;
    for (long long x = std::max(a.x, 0); x < std::min<long long>(static_cast<long long>(a.x) + a.width, width); ++x) {
      screen[static_cast<std::size_t>(x)] = a.screen;
    }
  }
  return screen;
}

// Checks the segments: they cover the row in order, touching ones differ,
// and each pixel's screen is the painted one.
void expect_row(const std::vector<ScreenSegment>& segments, const std::vector<std::size_t>& expected, long long y) {
  ASSERT_FALSE(segments.empty());
  EXPECT_EQ(segments.front().x0, 0) << "row " << y;
  EXPECT_EQ(segments.back().x1, static_cast<int>(expected.size())) << "row " << y;
  for (std::size_t s = 0; s < segments.size(); ++s) {
    ASSERT_LT(segments[s].x0, segments[s].x1) << "row " << y;
    if (s > 0) {
      ASSERT_EQ(segments[s].x0, segments[s - 1].x1) << "row " << y;
      ASSERT_NE(segments[s].screen, segments[s - 1].screen) << "row " << y;
    }
    for (int x = segments[s].x0; x < segments[s].x1; ++x) {
      ASSERT_EQ(segments[s].screen, expected[static_cast<std::size_t>(x)]) << "pixel " << x << " of row " << y;
    }
  }
}

class AreaIndexTest : public ::testing::TestWithParam<int> {};

TEST_P(AreaIndexTest, SegmentsAreTheAreasPaintedInOrder) {
  std::mt19937 random(static_cast<unsigned>(GetParam()));
  const int width = 150 + GetParam() * 37;
  std::vector<ScreenArea> areas;
  const int count = 1 + GetParam() * 15;
  for (int i = 0; i < count; ++i) {
    ScreenArea a;
    a.screen = random() % 4;
    a.x = static_cast<int>(random() % (width + 40)) - 20;  // some reach past the row's ends
    a.y = static_cast<int>(random() % 120);
    a.width = 1 + static_cast<int>(random() % 90);
    a.height = 1 + static_cast<int>(random() % 60);
    areas.push_back(a);
  }
  AreaIndex index(areas, width);
  for (long long y = 0; y < 200; ++y) expect_row(index.row(y), painted(areas, width, y), y);
  // Rows asked again, out of order.
  for (long long y : {50, 3, 199, 0, 77, 76}) expect_row(index.row(y), painted(areas, width, y), y);
}

INSTANTIATE_TEST_SUITE_P(RandomAreas, AreaIndexTest, ::testing::Range(0, 8));

TEST(AreaIndexTest, NoAreasIsOneSegmentOfTheFirstScreen) {
  AreaIndex index({}, 64);
  const auto& segments = index.row(5);
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(segments[0].x0, 0);
  EXPECT_EQ(segments[0].x1, 64);
  EXPECT_EQ(segments[0].screen, 0u);
}

}  // namespace
