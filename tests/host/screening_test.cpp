// screening_test.cpp - riphost's own screening: AM screens on flat tints and
// gradients, the runs of screened rows, the answers of the screening hooks,
// and the hook calls of a run (the ticket's screens: ticket_screens_test.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>
#include <vector>

#include "screening/am_screen.h"
#include "common/bitrow.h"
#include "sources/contone_source.h"
#include "common/host_error.h"
#include "screening/screening.h"
#include "test_support.h"
#include "ticket/ticket.h"

namespace {

using riphost::AmScreen;
using riphost::ContoneScreener;
using riphost::DotShape;
using riphost::RunCallbacks;
using riphost::ScreenArea;
using riphost::SelectedScreen;
using riphost::ScreenSpec;
using riphost_test::read_lines;
using riphost_test::TempDir;
using riphost_test::write_file;
using Json = nlohmann::ordered_json;

// The share of set pixels of a flat tint on a square of side pixels.
double tint_share(double ppi, double ruling, double angle, DotShape dot, unsigned ink, int side) {
  AmScreen screen(ppi, ruling, angle, dot);
  long set = 0;
  for (int y = 0; y < side; ++y) {
    screen.start_row(y);
    for (int x = 0; x < side; ++x) set += screen.ink_at(x, ink) ? 1 : 0;
  }
  return static_cast<double>(set) / (static_cast<double>(side) * side);
}

TEST(AmScreenTest, TintsCoverTheirShareAndDarkerTintsCoverLighterOnes) {
  EXPECT_DOUBLE_EQ(AmScreen(2400, 150, 45, DotShape::Round).cell(), 16.0);
  for (DotShape dot : {DotShape::Round, DotShape::Ellipse, DotShape::Line}) {
    for (double angle : {0.0, 15.0, 45.0, 75.0}) {
      for (unsigned ink : {13u, 64u, 128u, 191u, 242u}) {
        // A cell of 16 pixels: the share is within 2 % of the tint; a line
        // along the rows grows by whole rows, 1/16 of the cell at a time.
        const double share = tint_share(2400, 150, angle, dot, ink, 384);
        const double tolerance = dot == DotShape::Line && angle == 0.0 ? 1.0 / 16 : 0.02;
        EXPECT_NEAR(share, ink / 255.0, tolerance) << riphost::dot_name(dot) << " " << angle << " " << ink;
      }
    }
  }
  // Paper and full ink are exact.
  EXPECT_EQ(tint_share(2400, 150, 30, DotShape::Round, 0, 64), 0.0);
  EXPECT_EQ(tint_share(2400, 150, 30, DotShape::Round, 255, 64), 1.0);

  // Dots grow: every pixel a tint sets, each darker tint sets too.
  AmScreen screen(1200, 85, 22.5, DotShape::Ellipse);
  for (int y = 0; y < 64; ++y) {
    screen.start_row(y);
    for (int x = 0; x < 64; ++x) {
      bool before = false;
      for (unsigned ink = 0; ink < 256; ++ink) {
        const bool now = screen.ink_at(x, ink);
        ASSERT_FALSE(before && !now) << x << "," << y << " ink " << ink;
        before = now;
      }
    }
  }

  // A round dot at a light tint is a compact cluster at the cell centres:
  // at 0 degrees and 16-pixel cells, a 5 % tint sets no pixel on a cell edge.
  AmScreen straight(2400, 150, 0, DotShape::Round);
  for (int y = 0; y < 64; ++y) {
    straight.start_row(y);
    for (int x = 0; x < 64; ++x) {
      if (x % 16 == 0 || y % 16 == 0) {

        EXPECT_FALSE(straight.ink_at(x, 13)) << x << "," << y;
      }
    }
  }
}

// The runs one screened row reported.
struct SeenRun {
  int kind;  // 0 screen, 1 solid, 2 copydot
  std::uint32_t handle;
  int x, length;
};
std::vector<SeenRun> runs_seen;
void on_screen(std::uint32_t h, std::int32_t x, std::int32_t n) { runs_seen.push_back({0, h, x, n}); }
void on_solid(std::uint32_t h, std::int32_t x, std::int32_t n) { runs_seen.push_back({1, h, x, n}); }
void on_copydot(std::uint32_t h, std::int32_t x, std::int32_t n) { runs_seen.push_back({2, h, x, n}); }
const RunCallbacks kCollect{on_screen, on_solid, on_copydot};

SelectedScreen screen_of(const char* name, double ruling, double angle, DotShape dot, std::uint32_t handle) {
  SelectedScreen s;
  s.spec.name = name;
  s.spec.ruling = ruling;
  s.spec.angle = angle;
  s.spec.dot = dot;
  s.handle = handle;
  return s;
}

// Checks that the runs are in x order, disjoint, maximal, and cover exactly
// the row's set pixels; returns the set pixels.
long check_runs(const std::vector<std::uint8_t>& row, int width, int y) {
  std::vector<std::uint8_t> covered(static_cast<std::size_t>(width), 0);
  const SeenRun* previous = nullptr;
  for (const SeenRun& run : runs_seen) {
    EXPECT_GT(run.length, 0);
    EXPECT_GE(run.x, 0);
    EXPECT_LE(run.x + run.length, width);
    if (previous != nullptr) {
      EXPECT_GE(run.x, previous->x + previous->length) << "row " << y;
      // Touching runs are of different kinds or screens.
      if (run.x == previous->x + previous->length) {
        EXPECT_TRUE(run.kind != previous->kind || run.handle != previous->handle) << "row " << y << " x " << run.x;
      }
    }
    for (int x = run.x; x < run.x + run.length && x < width; ++x) covered[static_cast<std::size_t>(x)] = 1;
    previous = &run;
  }
  long set = 0;
  for (int x = 0; x < width; ++x) {
    const bool ink = riphost::pixel_at(row.data(), x);
    EXPECT_EQ(ink, covered[static_cast<std::size_t>(x)] != 0) << "pixel " << x << " of row " << y;
    set += ink ? 1 : 0;
  }
  riphost::clear_tail(const_cast<std::uint8_t*>(row.data()), width, row.size());
  return set;
}

TEST(ContoneScreenerTest, RunsCoverEverySetPixelOnceByKindAndScreen) {
  const int width = 203;  // not a multiple of 32: the padding must stay clear
  std::vector<SelectedScreen> screens = {screen_of("a", 150, 45, DotShape::Round, 0x1000),
                                         screen_of("b", 100, 15, DotShape::Line, 0x1001)};
  std::vector<ScreenArea> areas = {ScreenArea{1, 100, 10, 50, 20}};
  ContoneScreener screener(width, 2400, screens, areas);
  std::vector<std::uint8_t> ink(width);
  std::vector<std::uint8_t> copydot(riphost::row_bytes(width), 0);
  std::vector<std::uint8_t> row(riphost::row_bytes(width), 0xFF);
  for (int x = 0; x < width; ++x) ink[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x * 255 / (width - 1));
  riphost::set_span(copydot.data(), 20, 30);  // copydot over light ink and paper
  for (int y = 0; y < 40; ++y) {
    runs_seen.clear();
    screener.screen_row(y, ink.data(), copydot.data(), row.data(), kCollect);
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i * 8 + 8 > static_cast<std::size_t>(width)) {
        for (int x = width; x < static_cast<int>((i + 1) * 8); ++x) {
          if (x >= static_cast<int>(i * 8)) {

            EXPECT_FALSE(riphost::pixel_at(row.data(), x)) << "padding " << x;
          }
        }
      }
    }
    check_runs(row, width, y);
    std::set<std::uint32_t> handles;
    for (const SeenRun& run : runs_seen) {
      if (run.kind == 2) {
        EXPECT_EQ(run.x, 20);
        EXPECT_EQ(run.length, 10);
      }
      // Only the last column is full ink.
      if (run.kind == 1) {
        EXPECT_EQ(run.x + run.length, width);
      }
      if (run.kind != 0) continue;
      // Inside the area runs carry b's handle, elsewhere a's.
      const bool in_area = y >= 10 && y < 30 && run.x >= 100 && run.x + run.length <= 150;
      const bool outside = y < 10 || y >= 30 || run.x + run.length <= 100 || run.x >= 150;
      EXPECT_TRUE(in_area || outside) << "run " << run.x << "+" << run.length << " of row " << y;
      EXPECT_EQ(run.handle, in_area ? 0x1001u : 0x1000u);
      handles.insert(run.handle);
    }
    if (y >= 10 && y < 30) {

      EXPECT_EQ(handles.size(), 2u) << "row " << y;
    }
  }

  // Full ink: one solid run over the row; nothing without the callbacks.
  std::fill(ink.begin(), ink.end(), 255);
  runs_seen.clear();
  screener.screen_row(3, ink.data(), nullptr, row.data(), kCollect);
  ASSERT_EQ(runs_seen.size(), 1u);
  EXPECT_EQ(runs_seen[0].kind, 1);
  EXPECT_EQ(runs_seen[0].x, 0);
  EXPECT_EQ(runs_seen[0].length, width);
  // Without callbacks the row is screened all the same, reporting nothing.
  runs_seen.clear();
  screener.screen_row(4, ink.data(), nullptr, row.data(), RunCallbacks{});
  EXPECT_TRUE(runs_seen.empty());
  int set = 0;
  for (int x = 0; x < width; ++x) set += riphost::pixel_at(row.data(), x) ? 1 : 0;
  EXPECT_EQ(set, width);
}

TEST(ContoneScreenerTest, GradientDotsGrowFromHighlightToShadow) {
  // A horizontal gradient: the ink of every band of columns grows.
  const int width = 512, height = 128;
  riphost::ContentSource content;
  content.kind = riphost::ContentSource::Kind::Contone;
  content.gradient = riphost::ContentSource::Gradient::Horizontal;
  auto source = riphost::make_row_source(content, width, height, 2400,
                                         {screen_of("k", 150, 45, DotShape::Round, 0x2000)});
  ASSERT_TRUE(source->screened());
  source->set_runs(kCollect);
  std::vector<long> band(8, 0);
  std::vector<std::uint8_t> row(riphost::row_bytes(width));
  long set = 0, counted = 0;
  for (int y = 0; y < height; ++y) {
    runs_seen.clear();
    source->next_row(row.data());
    set += check_runs(row, width, y);
    for (const SeenRun& run : runs_seen) counted += run.length;
    for (int x = 0; x < width; ++x) band[static_cast<std::size_t>(x / 64)] += riphost::pixel_at(row.data(), x);
  }
  EXPECT_EQ(set, counted);
  for (std::size_t b = 0; b < band.size(); ++b) {
    const double share = static_cast<double>(band[b]) / (64.0 * height);
    const double expected = (b * 64 + 31.5) / (width - 1);
    EXPECT_NEAR(share, expected, 0.03) << "band " << b;
    if (b > 0) {

      EXPECT_GT(band[b], band[b - 1]) << "band " << b;
    }
  }
}

// Flat rows through the whole row path (levels, word compares, bits, runs)
// for every tint: each darker tint covers every pixel a lighter one does,
// every set pixel is in exactly one run, and 16-bit ink k * 257 screens as
// 8-bit ink k.
class FlatRowTest : public ::testing::TestWithParam<std::tuple<DotShape, double, double>> {};

TEST_P(FlatRowTest, DarkerTintsCoverLighterOnesAndRunsCoverEveryPixel) {
  const auto [dot, ruling, angle] = GetParam();
  const int width = 333;  // several words and a partial one
  SelectedScreen screen = screen_of("s", ruling, angle, dot, 0x4000);
  screen.spec.dot_size = 2;
  riphost::ScreenerSetup setup;
  setup.limits.page_extent = 500;
  ContoneScreener screener(width, 2400, {screen}, {}, setup);
  std::vector<std::uint8_t> ink(width), before(riphost::row_bytes(width)), row(before.size()), wide(before.size());
  std::vector<std::uint16_t> ink16(width);
  for (int y : {0, 7, 31}) {
    std::fill(before.begin(), before.end(), 0);
    for (unsigned k = 0; k < 256; ++k) {
      std::fill(ink.begin(), ink.end(), static_cast<std::uint8_t>(k));
      std::fill(ink16.begin(), ink16.end(), static_cast<std::uint16_t>(k * 257));
      runs_seen.clear();
      screener.screen_row(y, ink.data(), nullptr, row.data(), kCollect);
      const long set = check_runs(row, width, y);
      if (k == 0 || k == 255) {
        EXPECT_EQ(set, k == 0 ? 0 : width);
      }
      for (std::size_t i = 0; i < row.size(); ++i) {
        ASSERT_EQ(before[i] & ~row[i], 0) << "tint " << k << " byte " << i << " row " << y;
      }
      before = row;
      screener.screen_row(y, ink16.data(), nullptr, wide.data(), RunCallbacks{});
      ASSERT_EQ(wide, row) << "tint " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, FlatRowTest,
                         ::testing::Values(std::make_tuple(DotShape::Round, 150.0, 15.0),
                                           std::make_tuple(DotShape::Ellipse, 133.0, 45.0),
                                           std::make_tuple(DotShape::Line, 200.0, 0.0),
                                           std::make_tuple(DotShape::Fm, 150.0, 0.0)));

// A plug-in stand-in that claims both hooks and records what it learns.
ScrSelHookRecord saved_scrsel;
ScrHookRecord saved_scr;
int claim(void* record, HostCallbacks*) {
  int32_t id = 0;
  std::memcpy(&id, record, sizeof id);
  if (id == SCRSEL_HOOK_ID) {
    saved_scrsel = *static_cast<ScrSelHookRecord*>(record);
    return 1;
  }
  if (id == SCR_HOOK_ID) {
    saved_scr = *static_cast<ScrHookRecord*>(record);
    return 1;
  }
  return 0;
}

TEST(ScreeningHooksTest, AnswersFromItsDescriptorsAndKeepsTheRunCallbacks) {
  std::vector<ScreenSpec> screens(3);
  screens[0].name = "k";
  screens[1].name = "c";
  screens[1].ruling = 133.5;
  screens[1].angle = -15;
  screens[1].dot = DotShape::Line;
  screens[1].type = 8;
  screens[2].name = "long";
  screens[2].type = 42;
  screens[2].screen_name = std::string(107, 'n');
  riphost::ScreeningHooks hooks;
  hooks.set_screens(&screens);

  // Without a plug-in that claims the hooks nothing is loaded.
  EXPECT_EQ(hooks.load({0, 1}, {1, 0}), 0);
  EXPECT_FALSE(hooks.loaded());
  EXPECT_EQ(hooks.start_screening(), 0);
  EXPECT_EQ(hooks.runs().screen, nullptr);
  EXPECT_EQ(hooks.host_loads(), 0);

  riphost::MessageSink sink(stdout, stderr, true);
  hooks.offer(claim, nullptr, sink);
  ASSERT_TRUE(hooks.claimed());

  for (auto [base, step] : {std::pair<std::uint32_t, std::uint32_t>{riphost::kScreenHandleBase,
                                                                     riphost::kScreenHandleStep},
                            {0x1001, 1}, {0xFFFFFFF0u, 3}}) {
    hooks.set_handle_layout(base, step);
    EXPECT_EQ(hooks.load({1, 2, 1}, {1, 0, 3}), 0);
    EXPECT_TRUE(hooks.loaded());
    ScreenSelection& selection = hooks.selection();
    ASSERT_EQ(selection.screen_count, 3);
    EXPECT_EQ(selection.screens[0], base + step);
    EXPECT_EQ(selection.screens[1], base + 2 * step);
    EXPECT_EQ(selection.screens[2], selection.screens[0]);
    EXPECT_EQ(selection.screen_uses[1], 0);
    EXPECT_EQ(selection.screen_uses[2], 3);
    // The hook record calls riphost's own load; queries come through the saved copy.
    EXPECT_EQ(saved_scrsel.load(&selection), 0);
    const char* dot = nullptr;
    double unused = 0, lpi = 0, angle = 0;
    int32_t loaded = 0, type = 0;
    EXPECT_EQ(saved_scrsel.get_screen_params(&selection, selection.screens[0], &dot, &unused, &lpi, &unused,
                                             &angle, &loaded, &type, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr),
              0);
    EXPECT_STREQ(dot, "line");
    EXPECT_EQ(lpi, 133.5);
    EXPECT_EQ(angle, -15);
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(type, 8);
    dot = nullptr;
    type = 0;
    int32_t ignored = 0;
    EXPECT_EQ(saved_scrsel.get_screen_state(&selection, base + 2 * step, &dot, &ignored, &ignored, &loaded, &type,
                                            &ignored),
              0);
    EXPECT_STREQ(dot, "round");
    EXPECT_EQ(type, 42);
    char name[SCR_SCREEN_NAME_SIZE + 8];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(saved_scrsel.get_screen_name(&selection, base + 2 * step, name), 0);
    EXPECT_EQ(std::string(name), std::string(107, 'n'));
    EXPECT_EQ(name[SCR_SCREEN_NAME_SIZE], 'x');  // nothing written past the buffer
    EXPECT_EQ(saved_scrsel.get_screen_name(&selection, base, name), 0);
    EXPECT_STREQ(name, "k");  // no screen_name: the screen's name
    // Handles riphost did not give: between two, before the first, after the last.
    for (std::uint32_t wrong : {base + 3 * step, base - 1}) {
      EXPECT_EQ(hooks.find(wrong), nullptr) << wrong;
      EXPECT_NE(saved_scrsel.get_screen_name(&selection, wrong, name), 0);
      EXPECT_STREQ(name, "");
    }
    if (step > 1) {

      EXPECT_EQ(hooks.find(base + 1), nullptr);
    }

    // Init through the record reaches riphost's init, which keeps the callbacks.
    hooks.screening_hook().init = [](int bits, intptr_t second, ScrRunFn, ScrRunFn, ScrRunFn) {
      return saved_scr.init(bits, second, on_screen, on_solid, on_copydot);
    };
    EXPECT_EQ(hooks.start_screening(), 0);
    EXPECT_EQ(hooks.runs().screen, on_screen);
    EXPECT_EQ(hooks.runs().solid, on_solid);
    EXPECT_EQ(hooks.runs().copydot, on_copydot);
    EXPECT_EQ(hooks.unload(), 0);
    EXPECT_FALSE(hooks.loaded());
    EXPECT_EQ(hooks.runs().screen, nullptr);
    EXPECT_EQ(hooks.unload(), 0);  // a second unload calls nothing
    hooks.screening_hook().init = saved_scr.init;
  }
  // Three loads through the record, three through the saved copy.
  EXPECT_EQ(hooks.host_loads(), 6);
}

// riphost with the fake plug-in claiming the hooks: the order of the hook
// calls among the plug-in's calls, and runs covering every set pixel.
class HookEnv {
 public:
  HookEnv() { setenv("FAKE_DRAVOUT_HOOKS", "1", 1); }
  ~HookEnv() { unsetenv("FAKE_DRAVOUT_HOOKS"); }
};

TEST(DriverHooksTest, SelectionsAreLoadedScreenedAndUnloadedInOrder) {
  TempDir dir;
  riphost_test::write_device_folder(dir / "dev");
  write_file(dir / "cd.pbm", riphost_test::make_pbm(12, 6, [](int x, int y) { return (x + y) % 3 == 0; }));
  write_file(dir / "job.json", R"({
    "device": "dev", "output": "out", "options": {"CONF": "CTP"},
    "screen_handles": {"base": 256, "step": 1},
    "screens": [{"name": "k", "ruling": 150, "angle": 45}, {"name": "c", "ruling": 120, "angle": 15, "dot": "ellipse", "type": 8, "screen_name": "Cyan 120"}],
    "jobs": [{"name": "one", "ppi": 1200, "pages": [{"width": 40, "height": 3, "separations": [
        {"name": "P", "pattern": "checker", "cell": 2},
        {"name": "G", "gradient": "horizontal", "screens": ["k", "c"], "uses": [1, 2], "copydot": "cd.pbm",
         "screen_areas": [{"screen": "c", "x": 20, "y": 0, "width": 20, "height": 2}]}]}]},
      {"name": "two", "ppi": 1200, "pages": [{"width": 16, "height": 2, "separations": [
        {"name": "V", "gradient": "vertical"}]}]}]})");
  const std::filesystem::path log = dir / "calls.log";
  {
    HookEnv hooks;
    riphost_test::FakePluginEnv env(log);
    auto result = riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, (dir / "job.json").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
  }
  std::vector<std::string> calls = read_lines(log);
  for (const std::string& line : calls) EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
  ASSERT_GE(calls.size(), 20u);
  EXPECT_EQ(calls[4], "startseparations P outputpage=absent JOBNAME=one-p1-P");
  EXPECT_EQ(calls[5], "load 1: default/round/150/45/1x1");
  EXPECT_EQ(calls[6], "endseparations rows=3");
  EXPECT_EQ(calls[7], "unload");
  EXPECT_EQ(calls[8], "startseparations G outputpage=absent JOBNAME=one-p1-G");
  EXPECT_EQ(calls[9], "load 2: k/round/150/45/1x1 Cyan 120/ellipse/120/15/8x2");
  EXPECT_EQ(calls[10], "init bits=1");
  EXPECT_EQ(calls[11], "endseparations rows=3");
  EXPECT_EQ(calls[12].rfind("unload runs=", 0), 0u) << calls[12];
  EXPECT_EQ(calls[13], "endpage");
  EXPECT_EQ(calls[14], "endjob");
  EXPECT_EQ(calls[19], "load 1: default/round/150/45/1x1");
  EXPECT_EQ(calls[20], "init bits=1");

  // A row that cannot be put abandons the screened separation: its
  // selection is unloaded after the endjob that ends the job.
  std::filesystem::remove(log);
  {
    HookEnv hooks;
    riphost_test::FakePluginEnv env(log, "putscan:5");
    auto result = riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, (dir / "job.json").string()});
    EXPECT_EQ(result.status, 1);
  }
  calls = read_lines(log);
  ASSERT_GE(calls.size(), 13u);
  EXPECT_EQ(calls[10], "init bits=1");
  EXPECT_EQ(calls[11], "putscan row=1 -> 7");
  EXPECT_EQ(calls[12], "endjob");
  EXPECT_EQ(calls[13].rfind("unload runs=", 0), 0u) << calls[13];
  EXPECT_EQ(calls[14], "jobsettings JOBNAME=two");
}

}  // namespace
