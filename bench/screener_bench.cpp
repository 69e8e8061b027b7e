// screener_bench.cpp - riphost's row screener against the one it replaced
// (baseline_screener.h), on one core, on a photo-like image (photo_image.h):
// pixels per second from contone ink to row bits and runs, the runs going to
// a counting callback as the plug-in's accounting takes them.
//
//   Baseline/*   the earlier screener: a cell's rank table sampled per pixel
//   Tiles/*      threshold tiles compared 64 pixels at a time, 8-bit ink
//   Tiles16/*    the same from 16-bit ink
//   Calibrated/* with the device's gamma and an ink curve (transfer tables)
//   Resampled/*  a 300-ppi image enlarged to 2400 ppi while it streams
//   *Areas/*     4096 screen areas on a 3000-pixel page: a 64 x 64 grid (a
//                row crosses 64), or stacked over most of the page (a row
//                crosses up to 4096)
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "baseline_screener.h"
#include "common/bitrow.h"
#include "photo_image.h"
#include "screening/contone_screener.h"
#include "screening/resampler.h"

namespace {

using riphost::DotShape;

constexpr int kWidth = 8192;
constexpr int kRows = 512;  // rows of the image, used over and over

const bench::PhotoImage& photo() {
  static const bench::PhotoImage image(kWidth, kRows);
  return image;
}

std::uint64_t counted = 0;
void count_run(std::uint32_t, std::int32_t, std::int32_t length) { counted += static_cast<std::uint64_t>(length); }
const riphost::RunCallbacks kRuns{count_run, count_run, count_run};

riphost::SelectedScreen screen_of(DotShape dot, double ruling, double angle, int dot_size = 1) {
  riphost::SelectedScreen s;
  s.spec.name = std::string("screen");
  s.spec.dot = dot;
  s.spec.ruling = ruling;
  s.spec.angle = angle;
  s.spec.dot_size = dot_size;
  s.handle = 0x1000;
  return s;
}

// A page as large as a plate: tiles as accurate as riphost makes them there.
riphost::ScreenerSetup plate_setup() {
  riphost::ScreenerSetup setup;
  setup.limits.page_extent = std::hypot(20000.0, 30000.0);
  return setup;
}

template <typename Screener, typename Ink>
void screen_rows(benchmark::State& state, Screener& screener, int width, Ink ink_of) {
  std::vector<std::uint8_t> row(riphost::row_bytes(width));
  int y = 0;
  for (auto _ : state) {
    screener.screen_row(y, ink_of(y), nullptr, row.data(), kRuns);
    benchmark::DoNotOptimize(row.data());
    ++y;
  }
  state.SetItemsProcessed(state.iterations() * width);
  state.counters["ink"] = photo().mean_ink();
}

void Baseline(benchmark::State& state, DotShape dot, double ruling, double angle) {
  baseline::ContoneScreener screener(kWidth, 2400, {screen_of(dot, ruling, angle)}, {});
  screen_rows(state, screener, kWidth, [](int y) { return photo().row(y % kRows); });
}

void Tiles(benchmark::State& state, DotShape dot, double ruling, double angle, int dot_size) {
  riphost::ContoneScreener screener(kWidth, 2400, {screen_of(dot, ruling, angle, dot_size)}, {}, plate_setup());
  screen_rows(state, screener, kWidth, [](int y) { return photo().row(y % kRows); });
}

void Tiles16(benchmark::State& state, DotShape dot, double ruling, double angle) {
  riphost::ContoneScreener screener(kWidth, 2400, {screen_of(dot, ruling, angle)}, {}, plate_setup());
  screen_rows(state, screener, kWidth, [](int y) { return photo().row16(y % kRows); });
}

// With a calibration: the device's gamma 1.8 and an ink curve, so every
// pixel goes through the transfer table (256 entries for 8-bit ink, 65536
// for 16-bit ink).
riphost::ScreenerSetup calibrated_setup() {
  riphost::ScreenerSetup setup = plate_setup();
  setup.gamma = 1.8;
  setup.ink_transfer = {{50, 45}, {80, 78}};
  return setup;
}

void Calibrated(benchmark::State& state, bool deep) {
  riphost::ContoneScreener screener(kWidth, 2400, {screen_of(DotShape::Round, 150, 45)}, {}, calibrated_setup());
  if (deep) {
    screen_rows(state, screener, kWidth, [](int y) { return photo().row16(y % kRows); });
  } else {
    screen_rows(state, screener, kWidth, [](int y) { return photo().row(y % kRows); });
  }
}

// The photo at 300 ppi (an eighth of its pixels each way), enlarged 8 times.
void Resampled(benchmark::State& state, DotShape dot, double ruling, double angle) {
  constexpr int kColumns = kWidth / 8, kImageRows = kRows / 8;
  std::vector<std::uint16_t> image(static_cast<std::size_t>(kColumns) * kImageRows);
  for (int r = 0; r < kImageRows; ++r) {
    for (int c = 0; c < kColumns; ++c) image[static_cast<std::size_t>(r) * kColumns + c] = photo().row16(8 * r)[8 * c];
  }
  riphost::PlacedImage placed;
  placed.scale_x = placed.scale_y = 8.0;
  placed.columns = kColumns;
  placed.rows = 1 << 28;  // rows go on and on, the image's rows over and over
  int next = 0;
  riphost::Resampler resampler(placed, kWidth, [&](std::uint16_t* line) {
    std::copy_n(image.data() + static_cast<std::size_t>(next++ % kImageRows) * kColumns, kColumns, line);
  });
  riphost::ContoneScreener screener(kWidth, 2400, {screen_of(dot, ruling, angle)}, {}, plate_setup());
  std::vector<std::uint16_t> ink(kWidth);
  screen_rows(state, screener, kWidth, [&](int y) {
    resampler.row(y, ink.data());
    return static_cast<const std::uint16_t*>(ink.data());
  });
}

// A 64 x 64 grid of areas over a 3000 x 3000 page, alternating two screens.
std::vector<riphost::ScreenArea> grid_areas() {
  std::vector<riphost::ScreenArea> areas;
  for (int j = 0; j < 64; ++j) {
    for (int i = 0; i < 64; ++i) {
      riphost::ScreenArea a;
      a.screen = static_cast<std::size_t>((i + j) % 2);
      a.x = i * 3000 / 64, a.y = j * 3000 / 64;
      a.width = a.height = 3000 / 64;
      areas.push_back(a);
    }
  }
  return areas;
}

// 4096 areas each over most of the page, shifted a little one from the next.
std::vector<riphost::ScreenArea> stacked_areas() {
  std::vector<riphost::ScreenArea> areas;
  for (int k = 0; k < 4096; ++k) {
    riphost::ScreenArea a;
    a.screen = static_cast<std::size_t>(k % 2);
    a.x = k % 500, a.y = k % 500;
    a.width = a.height = 2500;
    areas.push_back(a);
  }
  return areas;
}

template <typename Screener>
void areas_of(benchmark::State& state, std::vector<riphost::ScreenArea> (*make)()) {
  const std::vector<riphost::SelectedScreen> screens = {screen_of(DotShape::Round, 150, 45),
                                                        screen_of(DotShape::Round, 150, 15)};
  Screener screener(3000, 2400, screens, make());
  screen_rows(state, screener, 3000, [](int y) { return photo().row(y % kRows); });
}

}  // namespace

BENCHMARK_CAPTURE(Baseline, round_150lpi_45deg, DotShape::Round, 150.0, 45.0);
BENCHMARK_CAPTURE(Tiles, round_150lpi_45deg, DotShape::Round, 150.0, 45.0, 1);
BENCHMARK_CAPTURE(Baseline, round_150lpi_15deg, DotShape::Round, 150.0, 15.0);
BENCHMARK_CAPTURE(Tiles, round_150lpi_15deg, DotShape::Round, 150.0, 15.0, 1);
BENCHMARK_CAPTURE(Baseline, ellipse_133lpi_75deg, DotShape::Ellipse, 133.0, 75.0);
BENCHMARK_CAPTURE(Tiles, ellipse_133lpi_75deg, DotShape::Ellipse, 133.0, 75.0, 1);
BENCHMARK_CAPTURE(Tiles, euclidean_175lpi_0deg, DotShape::Euclidean, 175.0, 0.0, 1);
BENCHMARK_CAPTURE(Tiles, fm_dot2, DotShape::Fm, 150.0, 0.0, 2);
BENCHMARK_CAPTURE(Tiles16, round_150lpi_45deg, DotShape::Round, 150.0, 45.0);
BENCHMARK_CAPTURE(Calibrated, round_150lpi_45deg_8bit, false);
BENCHMARK_CAPTURE(Calibrated, round_150lpi_45deg_16bit, true);
BENCHMARK_CAPTURE(Resampled, round_150lpi_45deg_from_300ppi, DotShape::Round, 150.0, 45.0);
void BaselineAreas(benchmark::State& state, std::vector<riphost::ScreenArea> (*make)()) {
  areas_of<baseline::ContoneScreener>(state, make);
}
void TilesAreas(benchmark::State& state, std::vector<riphost::ScreenArea> (*make)()) {
  areas_of<riphost::ContoneScreener>(state, make);
}

BENCHMARK_CAPTURE(BaselineAreas, grid_4096, grid_areas);
BENCHMARK_CAPTURE(TilesAreas, grid_4096, grid_areas);
BENCHMARK_CAPTURE(BaselineAreas, stacked_4096, stacked_areas);
BENCHMARK_CAPTURE(TilesAreas, stacked_4096, stacked_areas);
