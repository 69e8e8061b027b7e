// tile_build_bench.cpp - building the threshold tiles of AM screens at 2400
// ppi, as accurate as riphost makes them on a page of any size (within
// 0.0003 lpi and 0.0001 degrees), on one core and the CMYK set of a page
// on one or two threads.
//
//   AmTile/<angle>        one round 150 lpi tile (15 and 75 degrees are the
//                         largest: 7.3 M thresholds)
//   AmTileSmall/<angle>   the same within the earlier bound of 4 M thresholds
//                         (off by up to 0.00085 lpi and 0.00026 degrees):
//                         the baseline of the run
//   CmykSet/threads:N     C 15, M 75, Y 0, K 45 degrees, built on N threads
//                         as a page's screens are (wall time)
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "screening/am_tile.h"
#include "screening/supercell.h"

namespace {

constexpr double kPpi = 2400.0;
constexpr double kRuling = 150.0;
constexpr double kCmykAngles[] = {15.0, 75.0, 0.0, 45.0};

riphost::Supercell supercell_at(double angle, std::int64_t max_pixels) {
  riphost::TileLimits limits;
  limits.max_pixels = max_pixels;
  return riphost::choose_supercell(kPpi, kRuling, angle, limits);
}

// A digest of the thresholds (FNV-1a), 24 bits to stay exact as a counter.
std::uint32_t digest_of(const riphost::ThresholdTile& tile) {
  std::uint32_t hash = 2166136261u;
  for (std::int64_t r = 0; r < tile.height(); ++r) {
    const std::uint16_t* row = tile.brick_row(r);
    for (std::int64_t x = 0; x < tile.width(); ++x) hash = (hash ^ row[x]) * 16777619u;
  }
  return hash & 0xFFFFFFu;
}

void build_one(benchmark::State& state, std::int64_t max_pixels) {
  const riphost::Supercell cell = supercell_at(static_cast<double>(state.range(0)), max_pixels);
  std::uint32_t digest = 0;
  for (auto _ : state) {
    riphost::ThresholdTile tile = riphost::build_am_tile(cell, riphost::DotShape::Round);
    benchmark::DoNotOptimize(tile.brick_row(0));
    digest = digest_of(tile);
  }
  // The same digest from run to run and build to build: the same tile.
  state.counters["digest"] = digest;
  state.counters["Mpx"] = static_cast<double>(cell.pixels()) / 1e6;
  state.counters["px/s"] = benchmark::Counter(static_cast<double>(cell.pixels()) * static_cast<double>(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

void AmTile(benchmark::State& state) { build_one(state, riphost::TileLimits{}.max_pixels); }
void AmTileSmall(benchmark::State& state) { build_one(state, std::int64_t{1} << 22); }
BENCHMARK(AmTile)->Arg(15)->Arg(75)->Arg(0)->Arg(45)->Unit(benchmark::kMillisecond);
BENCHMARK(AmTileSmall)->Arg(15)->Arg(75)->Arg(0)->Arg(45)->Unit(benchmark::kMillisecond);

void CmykSet(benchmark::State& state) {
  std::vector<riphost::Supercell> cells;
  for (double angle : kCmykAngles) cells.push_back(supercell_at(angle, riphost::TileLimits{}.max_pixels));
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t i = next++; i < cells.size(); i = next++) {
        riphost::ThresholdTile tile = riphost::build_am_tile(cells[i], riphost::DotShape::Round);
        benchmark::DoNotOptimize(tile.brick_row(0));
      }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
  }
}
BENCHMARK(CmykSet)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
