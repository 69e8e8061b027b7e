// screeninfo_bench.cpp - the run callbacks of the screening extension on
// realistic run streams, beside a baseline of the same run that looks every
// run's handle up in a std::unordered_map; and building the perfect hash.
//
// A run stream: lines of halftone runs (short runs, a few pixels to a few
// dozen), a screen that stays the same for long stretches of a line and
// changes now and then (an object of another screen), solid runs between.
// Handles look like descriptor addresses: a base plus a multiple of the
// descriptor size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

#include "extension.h"

namespace {

using screeninfo::PointerEntry;
using screeninfo::ScreenInfo;

constexpr uint32_t kDescriptorBase = 0x08a41000u;
constexpr uint32_t kDescriptorSize = 184u;

struct Run {
  uint32_t handle;
  int32_t x;
  int32_t length;
  bool solid;
};

// Runs of `lines` lines 20000 pixels wide over `screens` screens; the screen
// changes every `stretch` runs on average.
std::vector<Run> run_stream(int screens, int stretch, int lines) {
  std::mt19937 random(1234);
  std::vector<Run> runs;
  int screen = 0;
  for (int line = 0; line < lines; ++line) {
    int32_t x = 0;
    while (x < 20000) {
      const int32_t gap = 2 + static_cast<int32_t>(random() % 20);
      const int32_t length = 1 + static_cast<int32_t>(random() % 24);
      if (random() % static_cast<unsigned>(stretch) == 0) screen = static_cast<int>(random() % static_cast<unsigned>(screens));
      const bool solid = random() % 64 == 0;
      runs.push_back({kDescriptorBase + kDescriptorSize * static_cast<uint32_t>(screen), x + gap, length, solid});
      x += gap + length;
    }
  }
  return runs;
}

// The screening host of the benchmark: every handle is a screen of its own.
int bench_params(ScreenSelection*, uint32_t handle, const char** dot, double*, double* lpi, double*, double* ang,
                 int32_t* loaded, int32_t* scrtype, void*, void*, void*, void*, void*, void*, void*) {
  *dot = "round";
  *lpi = static_cast<double>(handle);
  *ang = 0.0;
  *loaded = 1;
  *scrtype = 1;
  return 0;
}
int bench_init(int, intptr_t, ScrRunFn, ScrRunFn, ScrRunFn) { return 0; }

// Loads a selection of `screens` screens and starts screening through the
// extension's hooks, as the host does for a separation.
void load_screens(int screens) {
  static HostCallbacks host{};
  static ScrSelHookRecord sel;
  static ScrHookRecord scr;
  static std::vector<uint32_t> handles;
  static std::vector<int32_t> uses;
  static ScreenSelection selection;
  screeninfo::release_tables();
  screeninfo::reset_run_accounting();
  screeninfo::reset_registration();
  sel = ScrSelHookRecord{};
  sel.hook_id = SCRSEL_HOOK_ID;
  sel.version = SCRSEL_HOOK_VERSION;
  sel.get_screen_params = bench_params;
  scr = ScrHookRecord{};
  scr.hook_id = SCR_HOOK_ID;
  scr.version = SCR_HOOK_VERSION;
  scr.init = bench_init;
  screeninfo::register_hook(&sel, &host);
  screeninfo::register_hook(&scr, &host);
  handles.resize(static_cast<std::size_t>(screens));
  for (int i = 0; i < screens; ++i) {
    handles[static_cast<std::size_t>(i)] = kDescriptorBase + kDescriptorSize * static_cast<uint32_t>(i);
  }
  uses.assign(handles.size(), 1);
  selection = ScreenSelection{};
  selection.screens = handles.data();
  selection.screen_uses = uses.data();
  selection.screen_count = screens;
  sel.load(&selection);
  scr.init(1, 0, nullptr, nullptr, nullptr);
}

// The extension's callbacks, called through pointers as the host does.
void BM_RunCallbacks(benchmark::State& state) {
  const int screens = static_cast<int>(state.range(0));
  const int stretch = static_cast<int>(state.range(1));
  const std::vector<Run> runs = run_stream(screens, stretch, 64);
  load_screens(screens);
  volatile ScrRunFn screen_run = screeninfo::count_screen_run;
  volatile ScrRunFn solid_run = screeninfo::count_solid_run;
  for (auto _ : state) {
    ScrRunFn screen = screen_run, solid = solid_run;
    for (const Run& r : runs) (r.solid ? solid : screen)(r.handle, r.x, r.length);
    benchmark::DoNotOptimize(screeninfo::screen_table().screen_info[0].coverage);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(runs.size()));
  screeninfo::release_tables();
}

// Baseline: a std::unordered_map lookup per run, the same accounting.
struct BaselineRecord {
  int64_t coverage = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
};
std::unordered_map<uint32_t, BaselineRecord*>* baseline_map = nullptr;
BaselineRecord baseline_solids;
int32_t baseline_line = 0;

void baseline_add(BaselineRecord& rec, int32_t x, int32_t length) {
  if (rec.coverage == 0) {
    rec.l = x;
    rec.t = baseline_line;
  }
  rec.coverage += length;
  rec.b = baseline_line;
  if (x < rec.l) rec.l = x;
  const int32_t end = static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(length));
  if (end > rec.r) rec.r = end;
}
void baseline_screen_run(uint32_t handle, int32_t x, int32_t length) {
  auto it = baseline_map->find(handle);
  if (it != baseline_map->end()) baseline_add(*it->second, x, length);
}
void baseline_solid_run(uint32_t, int32_t x, int32_t length) { baseline_add(baseline_solids, x, length); }

void BM_RunCallbacksUnorderedMapBaseline(benchmark::State& state) {
  const int screens = static_cast<int>(state.range(0));
  const int stretch = static_cast<int>(state.range(1));
  const std::vector<Run> runs = run_stream(screens, stretch, 64);
  std::vector<BaselineRecord> records(static_cast<std::size_t>(screens));
  std::unordered_map<uint32_t, BaselineRecord*> map;
  for (int i = 0; i < screens; ++i) map[kDescriptorBase + kDescriptorSize * static_cast<uint32_t>(i)] = &records[static_cast<std::size_t>(i)];
  baseline_map = &map;
  volatile ScrRunFn screen_run = baseline_screen_run;
  volatile ScrRunFn solid_run = baseline_solid_run;
  for (auto _ : state) {
    ScrRunFn screen = screen_run, solid = solid_run;
    for (const Run& r : runs) (r.solid ? solid : screen)(r.handle, r.x, r.length);
    benchmark::DoNotOptimize(records[0].coverage);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(runs.size()));
}

// Screens: a few, tens, hundreds; a change every 50 runs or every 5.
void RunArguments(benchmark::internal::Benchmark* b) {
  for (int screens : {4, 32, 300})
    for (int stretch : {50, 5}) b->Args({screens, stretch});
}
BENCHMARK(BM_RunCallbacks)->Apply(RunArguments);
BENCHMARK(BM_RunCallbacksUnorderedMapBaseline)->Apply(RunArguments);

// Building the hash for 1 to 4096 descriptor handles.
void BM_HashInit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<PointerEntry> pairs(static_cast<std::size_t>(n));
  std::mt19937 random(99);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < n; ++i) pairs[static_cast<std::size_t>(i)] = {kDescriptorBase + kDescriptorSize * static_cast<uint32_t>(i), i};
    std::shuffle(pairs.begin(), pairs.end(), random);
    screeninfo::ScreenHash hash;
    state.ResumeTiming();
    benchmark::DoNotOptimize(hash.init(pairs.data(), n, n, 0, nullptr));
  }
}
BENCHMARK(BM_HashInit)->RangeMultiplier(4)->Range(1, 4096)->Unit(benchmark::kMicrosecond);

// Scattered handles (a host with descriptors all over its heap).
void BM_HashInitScattered(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<PointerEntry> pairs(static_cast<std::size_t>(n));
  std::mt19937 random(7);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < n; ++i) pairs[static_cast<std::size_t>(i)] = {static_cast<uint32_t>(random()) & ~7u, i};
    screeninfo::ScreenHash hash;
    state.ResumeTiming();
    benchmark::DoNotOptimize(hash.init(pairs.data(), n, n, 0, nullptr));
  }
}
BENCHMARK(BM_HashInitScattered)->Arg(4096)->Unit(benchmark::kMicrosecond);

}  // namespace
