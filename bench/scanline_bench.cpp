// scanline_bench.cpp - the scanline path through the plug-in and the TAV
// writer, and the baselines it is compared with in the same run:
//
//   plugin/<format>/<compression>/<mirror|left>
//       one whole separation per iteration through the exported functions:
//       start, newscan/putscan per row, end (file closed, synced, renamed)
//   libtiff/<format>/<compression>
//       the same rows straight through libtiff, strips of the same size,
//       file synced; FW88B rows are widened beforehand, outside the timing
//   expand/fast, expand/reference
//       the 1-to-8-bit widening of one row alone
//   transform/<1bit|8bit>/<left|mirror|mirror8191>/<fast|portable|reference>
//       the TAV writer's conversion of one row alone (tav::RowTransform):
//       the loops Apply picks for this processor, the portable 64-bit word
//       loops, and the byte-at-a-time reference; mirror8191 is a 1-bit row
//       whose width is not a multiple of 8, so the mirrored bits are shifted
//
// Every benchmark reports pixels/s; bytes_per_second counts the raw image
// bytes stored (1 bit per pixel for FW8B, 8 for FW88B). file_bytes is the
// size of the finished file, to check both writers compress alike.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bench_host.h"
#include "expand.h"
#include "halftone_page.h"
#include "tav_rowtransform.h"
#include "tiff_baseline.h"

namespace bench {
namespace {

// Sets the counters every writing benchmark shares.
void set_page_counters(benchmark::State& state, int bits, double file_bytes) {
  const double pixels = static_cast<double>(kPageWidth) * kPageHeight;
  const double stored_bytes = bits == 1 ? pixels / 8.0 : pixels;
  state.counters["pixels/s"] =
      benchmark::Counter(pixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(stored_bytes * static_cast<double>(state.iterations())));
  state.counters["file_bytes"] = file_bytes;
  state.counters["ink"] = shared_page().InkCoverage();
}

// Size of a finished file, which is then removed; both outside the timing.
double take_file(benchmark::State& state, const std::filesystem::path& file) {
  state.PauseTiming();
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  std::filesystem::remove(file, ec);
  state.ResumeTiming();
  return static_cast<double>(size);
}

// Whole separations through the plug-in's exported functions.
void plugin_separations(benchmark::State& state, const JobOptions options) {
  const HalftonePage& page = shared_page();
  try {
    PluginJob job(options, page.Width(), page.Height());
    double file_bytes = 0.0;
    for (auto _ : state) {
      const std::filesystem::path file = job.WriteSeparation(page.Data(), page.Stride());
      file_bytes = take_file(state, file);
    }
    set_page_counters(state, options.format == "FW88B" ? 8 : 1, file_bytes);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// The page widened to one byte per pixel, made once for the 8-bit baseline.
const std::vector<uint8_t>& widened_page() {
  static const std::vector<uint8_t> rows = [] {
    const HalftonePage& page = shared_page();
    std::vector<uint8_t> out(static_cast<std::size_t>(page.Width()) * page.Height());
    std::vector<uint8_t> row(8 * page.Stride());
    for (int y = 0; y < page.Height(); ++y) {
      dravout::expand_scanline(page.Row(y), page.Stride(), row.data());
      std::copy_n(row.data(), page.Width(), out.data() + static_cast<std::size_t>(y) * page.Width());
    }
    return out;
  }();
  return rows;
}

// The same rows written straight through libtiff.
void libtiff_separations(benchmark::State& state, int bits, bool deflate) {
  const HalftonePage& page = shared_page();
  try {
    const uint8_t* rows = bits == 1 ? page.Data() : widened_page().data();
    const std::size_t stride = bits == 1 ? page.Stride() : static_cast<std::size_t>(page.Width());
    TempDir dir;
    TiffBaseline writer(page.Width(), page.Height(), bits);
    const std::filesystem::path file = dir.Path() / "baseline.tif";
    double file_bytes = 0.0;
    for (auto _ : state) {
      writer.Write(file, rows, stride, deflate);
      file_bytes = take_file(state, file);
    }
    set_page_counters(state, bits, file_bytes);
    state.counters["rows_per_strip"] = writer.RowsPerStrip();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

using ExpandFunction = void (*)(const uint8_t*, std::size_t, uint8_t*);

// One row widened per iteration, going down the page so the input is not
// always the same cached row.
void expand_rows(benchmark::State& state, ExpandFunction expand) {
  const HalftonePage& page = shared_page();
  const std::size_t in_bytes = static_cast<std::size_t>(page.Width()) / 8;
  std::vector<uint8_t> out(8 * page.Stride());
  int y = 0;
  for (auto _ : state) {
    expand(page.Row(y), in_bytes, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    if (++y == page.Height()) y = 0;
  }
  const double pixels = static_cast<double>(page.Width()) * static_cast<double>(state.iterations());
  state.counters["pixels/s"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(pixels));  // bytes written
}

// Which of RowTransform's paths a benchmark runs.
enum class RowPath { kFast, kPortable, kReference };

// One row converted into its stored form per iteration, going down the page
// (1-bit rows as the host delivers them, 8-bit rows widened beforehand).
void transform_rows(benchmark::State& state, int bits, uint32_t width, bool mirror, RowPath path) {
  const HalftonePage& page = shared_page();
  const uint8_t* rows = bits == 1 ? page.Data() : widened_page().data();
  const std::size_t stride = bits == 1 ? page.Stride() : static_cast<std::size_t>(page.Width());
  const tav::RowTransform transform(bits, width, mirror, false);
  std::vector<uint8_t> out(transform.RowBytes());
  int y = 0;
  for (auto _ : state) {
    const uint8_t* in = rows + static_cast<std::size_t>(y) * stride;
    switch (path) {
      case RowPath::kFast: transform.Apply(in, out.data()); break;
      case RowPath::kPortable: transform.ApplyPortable(in, out.data()); break;
      case RowPath::kReference: transform.ApplyReference(in, out.data()); break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    if (++y == page.Height()) y = 0;
  }
  const double pixels = static_cast<double>(width) * static_cast<double>(state.iterations());
  state.counters["pixels/s"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(transform.RowBytes()) * state.iterations());  // bytes written
  if (path == RowPath::kFast) state.SetLabel(transform.FastPathName());
}

// Registers the row conversion benchmarks.
void register_transform_benchmarks() {
  struct Row {
    const char* name;
    int bits;
    uint32_t width;
    bool mirror;
  };
  const uint32_t width = static_cast<uint32_t>(kPageWidth);
  const Row kRows[] = {{"1bit/left", 1, width, false},       {"1bit/mirror", 1, width, true},
                       {"1bit/mirror8191", 1, width - 1, true}, {"8bit/left", 8, width, false},
                       {"8bit/mirror", 8, width, true}};
  const std::pair<const char*, RowPath> kPaths[] = {
      {"fast", RowPath::kFast}, {"portable", RowPath::kPortable}, {"reference", RowPath::kReference}};
  for (const Row& row : kRows) {
    for (const auto& [path_name, path] : kPaths) {
      const std::string name = std::string("transform/") + row.name + "/" + path_name;
      benchmark::RegisterBenchmark(name.c_str(), transform_rows, row.bits, row.width, row.mirror, path);
    }
  }
}

// Registers every benchmark once, before benchmark_main runs them.
bool register_benchmarks() {
  for (const char* format : {"FW8B", "FW88B"}) {
    for (const char* compression : {"FLATE", "NONE"}) {
      for (const bool mirror : {false, true}) {
        const std::string name =
            std::string("plugin/") + format + "/" + compression + (mirror ? "/mirror" : "/left");
        JobOptions options;
        options.format = format;
        options.compression = compression;
        options.mirror = mirror;
        benchmark::RegisterBenchmark(name.c_str(), plugin_separations, options)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
      const std::string name = std::string("libtiff/") + format + "/" + compression;
      const int bits = std::string(format) == "FW88B" ? 8 : 1;
      const bool deflate = std::string(compression) == "FLATE";
      benchmark::RegisterBenchmark(name.c_str(), libtiff_separations, bits, deflate)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  benchmark::RegisterBenchmark("expand/fast", expand_rows, ExpandFunction{dravout::expand_scanline});
  benchmark::RegisterBenchmark("expand/reference", expand_rows,
                               ExpandFunction{dravout::expand_scanline_reference});
  register_transform_benchmarks();
  return true;
}

[[maybe_unused]] const bool registered = register_benchmarks();

}  // namespace
}  // namespace bench
