// halftone_test.cpp - riphost's screens measured on flat tints: tone, the
// smallest and largest dots, lone pixels and dot-size noise for every shape
// at the usual angles and rulings; the supercell's geometry; the shapes'
// joins; FM screens; the word kernels against their reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "common/host_error.h"
#include "screening/fm_tile.h"
#include "screening/halftone_screen.h"
#include "screening/supercell.h"
#include "screening/word_kernels.h"

namespace {

using riphost::DotShape;
using riphost::HalftoneScreen;
using riphost::ScreenSpec;
using riphost::TileLimits;

constexpr double kPpi = 2400.0;

ScreenSpec spec_of(DotShape dot, double ruling, double angle, int dot_size = 1) {
  ScreenSpec spec;
  spec.name = "t";
  spec.dot = dot;
  spec.ruling = ruling;
  spec.angle = angle;
  spec.dot_size = dot_size;
  return spec;
}

// Tiles as for a page of side x side pixels: dots within a hundredth of a
// pixel of the exact screen over the page.
TileLimits page_limits(int side) {
  TileLimits limits;
  limits.page_extent = side * std::numbers::sqrt2;
  return limits;
}

// The thresholds of the side x side pixels at the page's top-left corner,
// row by row, read as the screener reads them.
std::vector<std::uint16_t> patch(HalftoneScreen& screen, int side) {
  std::vector<std::uint16_t> t(static_cast<std::size_t>(side) * side);
  const std::int64_t width = screen.tile().width();
  for (int y = 0; y < side; ++y) {
    screen.start_row(y);
    for (int x = 0; x < side; ++x) t[static_cast<std::size_t>(y) * side + x] = screen.row()[(screen.column() + x) % width];
  }
  return t;
}

// Pixels inked at each 8-bit tint k (level 257 k).
std::vector<long> inked_per_tint(const std::vector<std::uint16_t>& t) {
  std::vector<long> below(65537, 0);
  for (std::uint16_t v : t) ++below[v + 1u];
  for (std::size_t i = 1; i < below.size(); ++i) below[i] += below[i - 1];
  std::vector<long> inked(256);
  for (unsigned k = 0; k < 256; ++k) inked[k] = below[k * 257u];  // thresholds below the level
  return inked;
}

// Tints (8-bit) from 5 % to 95 % at which some inner pixel of the patch has
// no neighbour of its own colour.
std::vector<int> tints_with_lone_pixels(const std::vector<std::uint16_t>& t, int side) {
  std::vector<bool> lone(256, false);
  for (int y = 1; y + 1 < side; ++y) {
    for (int x = 1; x + 1 < side; ++x) {
      unsigned least = 0xFFFF, largest = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if (dx == 0 && dy == 0) continue;
          const unsigned n = t[static_cast<std::size_t>(y + dy) * side + x + dx];
          least = std::min(least, n), largest = std::max(largest, n);
        }
      }
      const unsigned own = t[static_cast<std::size_t>(y) * side + x];
      for (int k = 13; k <= 242; ++k) {
        const unsigned level = 257u * k;
        const bool ink = level > own;
        if ((ink && level <= least) || (!ink && level > largest)) lone[k] = true;
      }
    }
  }
  std::vector<int> tints;
  for (int k = 0; k < 256; ++k) {
    if (lone[k]) tints.push_back(k);
  }
  return tints;
}

// Standard deviation of the inked pixels per screen cell at tint k, over the
// cells wholly inside the patch (cells of the exact screen).
double dot_size_noise(const std::vector<std::uint16_t>& t, int side, double ruling, double angle, unsigned k) {
  const double cell = kPpi / ruling, turn = angle * std::numbers::pi / 180.0;
  std::map<std::pair<long, long>, std::pair<int, int>> cells;  // pixels, inked
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double u = (px * std::cos(turn) - py * std::sin(turn)) / cell;
      const double v = (-px * std::sin(turn) - py * std::cos(turn)) / cell;
      auto& c = cells[{static_cast<long>(std::floor(u)), static_cast<long>(std::floor(v))}];
      ++c.first;
      c.second += 257u * k > t[static_cast<std::size_t>(y) * side + x];
    }
  }
  double sum = 0, squares = 0;
  int n = 0;
  for (const auto& [where, c] : cells) {
    if (c.first < 0.97 * cell * cell) continue;  // cut by the patch's edge
    sum += c.second, squares += static_cast<double>(c.second) * c.second, ++n;
  }
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, squares / n - mean * mean));
}

using Case = std::tuple<DotShape, double, double>;  // shape, ruling, angle

class FlatTintTest : public ::testing::TestWithParam<Case> {};

TEST_P(FlatTintTest, EveryTintIsAccurateDistinctAndCleanWithEvenDots) {
  const auto [dot, ruling, angle] = GetParam();
  // 16 cells a side: at 0 and 90 degrees the patch's edges cut no cell.
  const int kSide = static_cast<int>(std::lround(16 * kPpi / ruling));
  HalftoneScreen screen(kPpi, spec_of(dot, ruling, angle), page_limits(kSide));
  const std::vector<std::uint16_t> t = patch(screen, kSide);
  const std::vector<long> inked = inked_per_tint(t);
  const double pixels = static_cast<double>(t.size());
  for (int k = 0; k < 256; ++k) {
    // Within half a percentage point of the tint; distinct from the tint
    // before; nothing vanishes and nothing plugs.
    EXPECT_NEAR(100.0 * inked[k] / pixels, 100.0 * k / 255.0, 0.5) << "tint " << k;
    if (k > 0) {
      EXPECT_GT(inked[k], inked[k - 1]) << "tint " << k;
    }
  }
  EXPECT_EQ(inked[0], 0);
  EXPECT_EQ(inked[255], static_cast<long>(t.size()));
  EXPECT_EQ(tints_with_lone_pixels(t, kSide), std::vector<int>{});
  EXPECT_LE(dot_size_noise(t, kSide, ruling, angle, 128), 2.0);
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  const auto [dot, ruling, angle] = info.param;
  return std::string(riphost::dot_name(dot)) + "_" + std::to_string(static_cast<int>(ruling)) + "lpi_" +
         std::to_string(static_cast<int>(angle)) + "deg";
}

INSTANTIATE_TEST_SUITE_P(Shapes, FlatTintTest,
                         ::testing::Combine(::testing::Values(DotShape::Round, DotShape::Euclidean,
                                                              DotShape::Ellipse, DotShape::Line),
                                            ::testing::Values(100.0, 150.0, 200.0),
                                            ::testing::Values(0.0, 15.0, 45.0, 75.0, 90.0)),
                         case_name);
INSTANTIATE_TEST_SUITE_P(Rulings, FlatTintTest,
                         ::testing::Combine(::testing::Values(DotShape::Round), ::testing::Values(133.0, 175.0),
                                            ::testing::Values(0.0, 15.0, 45.0, 75.0, 90.0)),
                         case_name);

// The tile of every screen sits on its supercell: its sides (P, Q) and (Q,
// -P) are whole cells of a screen within the limits of the ruling and angle
// asked for, and the thresholds repeat along them.
class SupercellTest : public ::testing::TestWithParam<std::tuple<double, double>> {};

TEST_P(SupercellTest, TheTileIsTheScreenWithinTheLimitsAndRepeatsAlongItsSides) {
  const auto [ruling, angle] = GetParam();
  const riphost::Supercell cell = riphost::choose_supercell(kPpi, ruling, angle, TileLimits{});
  EXPECT_LE(cell.pixels(), TileLimits{}.max_pixels);
  EXPECT_GE(cell.pixels(), TileLimits{}.min_pixels);
  // Within 0.0003 lpi and 0.0001 degrees, whatever the page. At 45 degrees
  // a side of whole pixels holds 68 k cells of 6 sqrt(2) pixels (577 k
  // pixels) at best within the largest tile: 200 lpi comes out 0.12 % of
  // the allowance beyond it.
  const double ruling_error = ruling == 200.0 && angle == 45.0 ? 3.004e-4 : 3e-4;
  EXPECT_NEAR(cell.ruling, ruling, ruling_error);
  EXPECT_NEAR(cell.angle, angle, 1e-4);
  // Its sides in cells: A along the angle and B across it.
  const double c = kPpi / cell.ruling, turn = cell.angle * std::numbers::pi / 180.0;
  EXPECT_NEAR(cell.P, cell.A * c * std::cos(turn) - cell.B * c * std::sin(turn), 1e-6);
  EXPECT_NEAR(cell.Q, -cell.A * c * std::sin(turn) - cell.B * c * std::cos(turn), 1e-6);
  EXPECT_EQ(cell.brick_width() * cell.brick_height(), cell.pixels());

  // On a small page the tile may be smaller: dots stay within a hundredth of
  // a pixel of the exact screen over the page.
  const TileLimits limits = page_limits(300);
  const riphost::Supercell small = riphost::choose_supercell(kPpi, ruling, angle, limits);
  const double drift = limits.page_extent * std::max(std::fabs(small.ruling - ruling) / ruling,
                                                     std::fabs(small.angle - angle) * std::numbers::pi / 180.0);
  EXPECT_LE(drift, 0.01 + 1e-12);
  HalftoneScreen screen(kPpi, spec_of(DotShape::Round, ruling, angle), limits);
  const riphost::Supercell& used = screen.supercell();
  std::mt19937 random(static_cast<unsigned>(ruling * 1000 + angle));
  for (int i = 0; i < 2000; ++i) {
    const std::int64_t x = static_cast<std::int64_t>(random() % 100000) - 50000;
    const std::int64_t y = static_cast<std::int64_t>(random() % 100000);
    ASSERT_EQ(screen.tile().at(x, y), screen.tile().at(x + used.P, y + used.Q)) << x << "," << y;
    ASSERT_EQ(screen.tile().at(x, y), screen.tile().at(x + used.Q, y - used.P)) << x << "," << y;
  }
  EXPECT_LE(screen.tile().largest(), riphost::ThresholdTile::kMaxThreshold);
}

INSTANTIATE_TEST_SUITE_P(UsualScreens, SupercellTest,
                         ::testing::Combine(::testing::Values(100.0, 133.0, 150.0, 175.0, 200.0),
                                            ::testing::Values(0.0, 15.0, 45.0, 75.0, 90.0, -22.5)));

// Rulings at the ends of what a tile can hold: too fine and too coarse are
// refused with the limit in words; the coarsest accepted screen has a tile
// at every angle (its rounded side stays within the largest tile).
struct SizeCase {
  double ruling;
  const char* problem;
};

class ScreenSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScreenSizeTest, RefusedWithTheLimitOrMadeAtEveryAngle) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(riphost::screen_size_problem(kPpi, c.ruling), c.problem);
  // (Fine screens search many tiles: only the coarse ones are tried here.)
  if (c.problem[0] != '\0' || c.ruling > 1.0) return;
  for (double angle = 0.0; angle < 90.0; angle += 7.5) {
    const riphost::Supercell cell = riphost::choose_supercell(kPpi, c.ruling, angle, TileLimits{});
    EXPECT_GT(cell.pixels(), 0) << angle;
    EXPECT_LE(cell.pixels(), TileLimits{}.max_pixels) << angle;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rulings, ScreenSizeTest,
    ::testing::Values(SizeCase{1500.0, "1500 lpi is too fine for 2400 ppi (a cell needs at least 2 pixels)"},
                      SizeCase{1200.0, ""}, SizeCase{kPpi / 3546.0, ""},
                      SizeCase{kPpi / 3546.5,
                               "0.676724 lpi is too coarse for 2400 ppi (a cell may have at most 3546 pixels a side)"},
                      SizeCase{0.5, "0.5 lpi is too coarse for 2400 ppi (a cell may have at most 3546 pixels a side)"}));

// Counts the components of ink (or of paper) of a side x side patch at tint
// k, pixels joined through their sides.
int components_at(const std::vector<std::uint16_t>& t, int side, unsigned k, bool paper = false) {
  std::vector<int> label(t.size(), -1);
  int all = 0;
  std::vector<int> stack;
  auto ours = [&](int p) { return (257u * k > t[p]) != paper; };
  for (int start = 0; start < static_cast<int>(t.size()); ++start) {
    if (label[start] >= 0 || !ours(start)) continue;
    stack.assign(1, start);
    label[start] = all;
    while (!stack.empty()) {
      const int p = stack.back();
      stack.pop_back();
      const int x = p % side, y = p / side;
      for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= side || ny >= side) continue;
        const int q = ny * side + nx;
        if (label[q] < 0 && ours(q)) label[q] = all, stack.push_back(q);
      }
    }
    ++all;
  }
  return all;
}

// Where dots meet their neighbours: round dots stay apart until the pixels
// of neighbouring circles touch (about 70 % at 16-pixel cells; 78.5 % for
// exact circles) and leave one round hole per cell; euclidean dots meet at
// 50 %, the chain dot joins along the angle near 40 % and across it near
// 60 %; lines are unbroken from light tints on, and so are the paper lines
// between them until the darkest tints.
TEST(DotShapeTest, DotsMeetWhereTheirShapeSays) {
  constexpr int kSide = 192;  // 12 x 12 cells of 16 pixels at 0 degrees
  auto components = [&](DotShape dot, double percent, bool paper = false) {
    HalftoneScreen screen(kPpi, spec_of(dot, 150, 0), page_limits(kSide));
    return components_at(patch(screen, kSide), kSide, static_cast<unsigned>(std::lround(percent * 2.55)), paper);
  };
  constexpr int kCells = 12 * 12;
  EXPECT_EQ(components(DotShape::Round, 10), kCells);
  EXPECT_EQ(components(DotShape::Round, 65), kCells);
  EXPECT_EQ(components(DotShape::Round, 80), 1);
  EXPECT_EQ(components(DotShape::Round, 90, true), kCells + 12 + 12 + 1);  // holes, cut by the patch's edges
  EXPECT_EQ(components(DotShape::Euclidean, 45), kCells);
  EXPECT_EQ(components(DotShape::Euclidean, 55), 1);
  EXPECT_EQ(components(DotShape::Ellipse, 35), kCells);
  EXPECT_EQ(components(DotShape::Ellipse, 45), 12);  // chains along the rows of cells
  EXPECT_EQ(components(DotShape::Ellipse, 65), 1);
  EXPECT_EQ(components(DotShape::Line, 25), 12);  // one line per row of cells
  EXPECT_EQ(components(DotShape::Line, 80), 12);
  EXPECT_EQ(components(DotShape::Line, 80, true), 12 + 1);
}

// FM screens: every tint accurate on a small patch, dots of dot_size x
// dot_size pixels spread evenly (blue noise: far less clumping than chance).
class FmTest : public ::testing::TestWithParam<int> {};

TEST_P(FmTest, TintsAreAccurateAndDotsAreEvenlySpreadSquares) {
  const int size = GetParam();
  constexpr int kSide = 256;
  HalftoneScreen screen(kPpi, spec_of(DotShape::Fm, 150, 45, size));
  EXPECT_EQ(screen.tile().width(), riphost::kFmSide * size);
  const std::vector<std::uint16_t> t = patch(screen, kSide);
  const std::vector<long> inked = inked_per_tint(t);
  for (int k = 0; k < 256; ++k) {
    EXPECT_NEAR(100.0 * inked[k] / t.size(), 100.0 * k / 255.0, 0.5) << "tint " << k;
    if (k > 0) {
      EXPECT_GT(inked[k], inked[k - 1]) << "tint " << k;
    }
  }
  // Every pixel of a dot has the dot's threshold.
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      ASSERT_EQ(t[y * kSide + x], t[(y - y % size) * kSide + x - x % size]) << x << "," << y;
    }
  }
  // At 50 %, the ink in blocks of 8 x 8 dots varies far less than it would
  // for dots placed at random (deviation 4 dots).
  const int block = 8 * size, blocks = kSide / block;
  double squares = 0;
  for (int by = 0; by < blocks; ++by) {
    for (int bx = 0; bx < blocks; ++bx) {
      int dots = 0;
      for (int y = by * block; y < (by + 1) * block; y += size) {
        for (int x = bx * block; x < (bx + 1) * block; x += size) dots += 257u * 128 > t[y * kSide + x];
      }
      squares += (dots - 32.0) * (dots - 32.0);
    }
  }
  EXPECT_LT(std::sqrt(squares / (blocks * blocks)), 1.5);
}

INSTANTIATE_TEST_SUITE_P(DotSizes, FmTest, ::testing::Values(1, 2, 3));

TEST(FmTest, DotSizesOutsideTheRangeAreRefused) {
  EXPECT_THROW(HalftoneScreen(kPpi, spec_of(DotShape::Fm, 150, 45, 0)), riphost::HostError);
  EXPECT_THROW(HalftoneScreen(kPpi, spec_of(DotShape::Fm, 150, 45, riphost::kMaxFmDotSize + 1)), riphost::HostError);
  // AM cells need 2 pixels at least, and fit in the largest tile.
  EXPECT_THROW(HalftoneScreen(kPpi, spec_of(DotShape::Round, 1500, 45)), riphost::HostError);
  EXPECT_THROW(HalftoneScreen(kPpi, spec_of(DotShape::Round, 0.5, 45)), riphost::HostError);
}

// The AVX2 word loop gives the reference's words, wherever the tile row
// wraps and whatever the levels (full ones included).
TEST(WordKernelTest, FastKernelsMatchTheReference) {
  const riphost::WordKernels* fast = riphost::avx2_word_kernels();
  if (fast == nullptr) GTEST_SKIP() << "no AVX2 on this processor";
  std::mt19937 random(5);
  constexpr std::size_t kWords = 40;
  for (std::int64_t width : {256, 300, 1000, 4097}) {
    std::vector<std::uint16_t> tile(static_cast<std::size_t>(width) + 64), level(kWords * 64);
    for (auto& v : tile) v = static_cast<std::uint16_t>(random() % 65535);
    for (std::int64_t i = 0; i < 64; ++i) tile[static_cast<std::size_t>(width + i)] = tile[static_cast<std::size_t>(i % width)];
    for (auto& v : level) {
      const unsigned r = random() % 10;
      v = r == 0 ? 0 : r == 1 ? 0xFFFF : static_cast<std::uint16_t>(random());
    }
    for (std::int64_t column : {std::int64_t{0}, std::int64_t{7}, width - 1, width / 2}) {
      std::vector<std::uint64_t> ink_a(kWords), full_a(kWords), ink_b(kWords), full_b(kWords);
      riphost::portable_word_kernels().screen_words(level.data(), tile.data(), width, column, kWords, ink_a.data(),
                                                    full_a.data());
      fast->screen_words(level.data(), tile.data(), width, column, kWords, ink_b.data(), full_b.data());
      EXPECT_EQ(ink_a, ink_b) << width << " " << column;
      EXPECT_EQ(full_a, full_b) << width << " " << column;
    }
  }
}

// No beat: where the pixel grid gives some cells a row or column more than
// others (0 degrees at 133 lpi: cells of 18.05 pixels), or the supercell
// is small, the tone of a flat tint still does not swing slowly across the
// page. Measured as the amplitude of the columns' and rows' mean ink at
// periods of 150 to 1000 pixels (16 to 2.4 lpi), under a Hann window.
double beat(const std::vector<std::uint16_t>& t, int side, unsigned k) {
  std::vector<double> columns(static_cast<std::size_t>(side), 0.0), rows(columns.size(), 0.0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double ink = 257u * k > t[static_cast<std::size_t>(y) * side + x] ? 1.0 / side : 0.0;
      columns[static_cast<std::size_t>(x)] += ink, rows[static_cast<std::size_t>(y)] += ink;
    }
  }
  double most = 0.0;
  for (const auto* profile : {&columns, &rows}) {
    for (int f = side / 1000; side / f >= 150; ++f) {
      double re = 0, im = 0, weights = 0;
      for (int x = 0; x < side; ++x) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * x / side);
        re += w * (*profile)[static_cast<std::size_t>(x)] * std::cos(2 * std::numbers::pi * f * x / side);
        im += w * (*profile)[static_cast<std::size_t>(x)] * std::sin(2 * std::numbers::pi * f * x / side);
        weights += w;
      }
      most = std::max(most, 200.0 * std::hypot(re, im) / weights);
    }
  }
  return most;
}

class BeatTest : public ::testing::TestWithParam<Case> {};

TEST_P(BeatTest, FlatTintsDoNotSwingSlowly) {
  const auto [dot, ruling, angle] = GetParam();
  constexpr int kSide = 2048;
  TileLimits plate;
  plate.page_extent = std::hypot(20000.0, 30000.0);
  HalftoneScreen screen(kPpi, spec_of(dot, ruling, angle), plate);
  const std::vector<std::uint16_t> t = patch(screen, kSide);
  for (unsigned k = 26; k < 255; k += 26) EXPECT_LT(beat(t, kSide, k), 0.2) << "tint " << k;
}

INSTANTIATE_TEST_SUITE_P(Screens, BeatTest,
                         ::testing::Values(std::make_tuple(DotShape::Euclidean, 100.0, 45.0),
                                           std::make_tuple(DotShape::Round, 133.0, 0.0),
                                           std::make_tuple(DotShape::Ellipse, 133.0, 90.0)),
                         case_name);

}  // namespace
