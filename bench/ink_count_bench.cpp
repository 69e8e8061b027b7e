// ink_count_bench.cpp - what riphost's ink share costs per row, beside a
// baseline of the same run:
//
//   ink/count/<width>        count_ink over one halftone row as riphost
//                            hands it to the plug-in (the run's ink share)
//   baseline/memcpy/<width>  the same row copied with memcpy: what riphost
//                            already does once per screened row
//
// Rows come from a rendered halftone (bench/halftone_page.h), taken down the
// page in turn.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bitrow.h"
#include "halftone_page.h"

namespace bench {
namespace {

void set_row_counters(benchmark::State& state, const HalftonePage& page) {
  state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * page.Width(),
                                                  benchmark::Counter::kIsRate);
}

void count_row(benchmark::State& state) {
  const HalftonePage& page = shared_page();
  std::uint64_t ink = 0;
  int y = 0;
  for (auto _ : state) {
    ink += riphost::count_ink(page.Row(y), page.Stride());
    benchmark::DoNotOptimize(ink);
    if (++y == page.Height()) y = 0;
  }
  set_row_counters(state, page);
}

void memcpy_row(benchmark::State& state) {
  const HalftonePage& page = shared_page();
  std::vector<std::uint8_t> out(page.Stride());
  int y = 0;
  for (auto _ : state) {
    std::memcpy(out.data(), page.Row(y), page.Stride());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    if (++y == page.Height()) y = 0;
  }
  set_row_counters(state, page);
}

const bool registered = [] {
  const std::string width = std::to_string(kPageWidth);
  benchmark::RegisterBenchmark(("ink/count/" + width).c_str(), count_row);
  benchmark::RegisterBenchmark(("baseline/memcpy/" + width).c_str(), memcpy_row);
  return true;
}();

}  // namespace
}  // namespace bench
