// preview_bench.cpp - the PNG preview library's costs, beside a baseline of
// the same run:
//
//   preview/line/<width>        one halftone scanline into png_setNextLine
//   baseline/memcpy/<width>     the same scanline copied with memcpy, the
//                               order of magnitude of touching the row once
//   count/<portable|best>/<width>  the per-cell counting alone: the portable
//                               64-bit word loop and the one picked for this
//                               processor (POPCNT where present)
//   preview/finish/rescale1000  png_rescale(1000) + png_getSizeOfPng of a
//                               filled 20000 x 30000 page (grid 2500 x 3750,
//                               preview 667 x 1000)
//   preview/finish/grid         png_getSizeOfPng alone of the same page (the
//                               2500 x 3750 grid encoded)
//   preview/page/20000x30000    a whole separation: png_init, 30000 lines,
//                               png_rescale(1000), png_getSizeOfPng,
//                               png_cleanUp
//
// Rows come from a rendered halftone (150 lpi round dots at 2400 ppi over a
// smooth tone field, bench/halftone_page.h), taken down the page in turn.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "halftone_page.h"
#include "pngpreview.h"
#include "preview_image.h"
#include "row_count.h"

namespace bench {
namespace {

constexpr int kWideWidth = 20000;
constexpr int kWideHeight = 30000;
// Rendered rows; longer pages repeat them.
constexpr int kRenderedRows = 2048;

// Page heights: 20000 x 30000 (cells of 8 x 8 pixels) and 130000 x 200000
// (cells of 49 x 49).
int height_for(int width) { return width == kWideWidth ? kWideHeight : 200000; }

const HalftonePage& page_of_width(int width) {
  if (width == kWideWidth) {
    static const HalftonePage page(kWideWidth, kRenderedRows);
    return page;
  }
  static const HalftonePage wide(width, 64);
  return wide;
}

const uint32_t* row_of(const HalftonePage& page, int y) {
  return reinterpret_cast<const uint32_t*>(page.Row(y % page.Height()));
}

void set_row_counters(benchmark::State& state, const HalftonePage& page) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.Stride()));
  state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * page.Width(),
                                                  benchmark::Counter::kIsRate);
}

// One scanline per iteration into a page of the scanline's width (started
// again, outside the timing, when it is full).
void preview_line(benchmark::State& state, int width) {
  const HalftonePage& page = page_of_width(width);
  const int height = height_for(width);
  png_init(height, width, 1, 0);
  int y = 0;
  for (auto _ : state) {
    png_setNextLine(row_of(page, y));
    if (++y == height) {
      state.PauseTiming();
      png_init(height, width, 1, 0);
      y = 0;
      state.ResumeTiming();
    }
  }
  if (png_lastresult() != 0) state.SkipWithError(png_lasterror());
  png_cleanUp();
  set_row_counters(state, page);
}

void memcpy_line(benchmark::State& state, int width) {
  const HalftonePage& page = page_of_width(width);
  std::vector<uint8_t> out(page.Stride());
  int y = 0;
  for (auto _ : state) {
    std::memcpy(out.data(), page.Row(y), page.Stride());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    if (++y == page.Height()) y = 0;
  }
  set_row_counters(state, page);
}

void count_line(benchmark::State& state, int width, pngpreview::RowCounter counter) {
  const HalftonePage& page = page_of_width(width);
  const pngpreview::RowShape shape =
      pngpreview::make_row_shape(static_cast<uint64_t>(width), pngpreview::grid_factor(width, height_for(width)));
  std::vector<uint64_t> counts(shape.cells);
  int y = 0;
  for (auto _ : state) {
    counter(shape, page.Row(y), counts.data());
    benchmark::DoNotOptimize(counts.data());
    if (++y == page.Height()) y = 0;
  }
  set_row_counters(state, page);
}

void fill_wide_page() {
  const HalftonePage& page = page_of_width(kWideWidth);
  png_init(kWideHeight, kWideWidth, 1, 0);
  for (int y = 0; y < kWideHeight; ++y) png_setNextLine(row_of(page, y));
}

// The end of a separation: rescale (value > 0) and encode.
void preview_finish(benchmark::State& state, int value) {
  int size = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fill_wide_page();
    state.ResumeTiming();
    if (value > 0) png_rescale(value);
    size = png_getSizeOfPng();
    state.PauseTiming();
    png_cleanUp();
    state.ResumeTiming();
  }
  if (size == 0) state.SkipWithError(png_lasterror());
  state.counters["png_bytes"] = size - 1;
}

void preview_page(benchmark::State& state) {
  int size = 0;
  for (auto _ : state) {
    fill_wide_page();
    png_rescale(1000);
    size = png_getSizeOfPng();
    png_cleanUp();
  }
  if (size == 0) state.SkipWithError(png_lasterror());
  state.counters["png_bytes"] = size - 1;
  state.counters["pixels/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWideWidth * kWideHeight, benchmark::Counter::kIsRate);
}

const bool registered = [] {
  for (const int width : {kWideWidth, 130000}) {
    const std::string w = std::to_string(width);
    benchmark::RegisterBenchmark(("preview/line/" + w).c_str(), preview_line, width);
    benchmark::RegisterBenchmark(("baseline/memcpy/" + w).c_str(), memcpy_line, width);
    benchmark::RegisterBenchmark(("count/portable/" + w).c_str(), count_line, width,
                                 pngpreview::RowCounter{pngpreview::count_row_portable});
    benchmark::RegisterBenchmark(("count/best/" + w).c_str(), count_line, width, pngpreview::best_row_counter());
  }
  benchmark::RegisterBenchmark("preview/finish/rescale1000", preview_finish, 1000)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("preview/finish/grid", preview_finish, -1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("preview/page/20000x30000", preview_page)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
}  // namespace bench
