// stop_test.cpp - tile builds that a stop ends, the page clock that bounds
// Ghostscript's time, and the limits of a document's runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "common/host_error.h"
#include "screening/am_tile.h"
#include "screening/fm_tile.h"
#include "screening/halftone_screen.h"
#include "screening/supercell.h"
#include "screening/tile_preparation.h"
#include "sources/document/document_limits.h"
#include "sources/document/ghostscript_program.h"
#include "sources/document/page_watch.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using riphost::TileBuildStopped;
using riphost::TileStop;

riphost::ScreenSpec screen(double ruling, double angle, riphost::DotShape dot = riphost::DotShape::Round) {
  riphost::ScreenSpec spec;
  spec.name = "s";
  spec.dot = dot;
  spec.ruling = ruling;
  spec.angle = angle;
  spec.dot_size = 2;
  return spec;
}

// A stop question that says yes from its n-th asking on, counting them.
struct StopAfter {
  explicit StopAfter(int n) : left(n) {}
  TileStop token() {
    return TileStop([this] {
      ++asked;
      return --left <= 0;
    });
  }
  std::atomic<int> left;
  std::atomic<int> asked{0};
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(TileStopTest, EveryTileBuilderEndsOnceTheStopSaysSo) {
  // A supercell of a fine screen at an odd angle: seconds to build whole.
  const riphost::Supercell cell = riphost::choose_supercell(2400.0, 173.0, 15.0, riphost::TileLimits{});
  ASSERT_GT(cell.pixels(), 0);
  {
    StopAfter stop(3);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(riphost::build_am_tile(cell, riphost::DotShape::Round, stop.token()), TileBuildStopped);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_EQ(stop.asked.load(), 3);
  }
  {
    StopAfter stop(2);
    EXPECT_THROW(riphost::build_fm_tile(3, stop.token()), TileBuildStopped);
  }
  {
    // The supercell's own search (long for cells of a few pixels).
    StopAfter stop(1);
    EXPECT_THROW(riphost::choose_supercell(300.0, 149.0, 33.0, riphost::TileLimits{}, stop.token()),
                 TileBuildStopped);
  }
  {
    // A stop that never says yes changes nothing: the same thresholds.
    riphost::TileLimits limits;
    limits.page_extent = 400.0;
    const riphost::Supercell small = riphost::choose_supercell(1200.0, 85.0, 45.0, limits);
    StopAfter never(1 << 30);
    const riphost::ThresholdTile asked = riphost::build_am_tile(small, riphost::DotShape::Round, never.token());
    const riphost::ThresholdTile plain = riphost::build_am_tile(small, riphost::DotShape::Round);
    ASSERT_EQ(asked.width(), plain.width());
    ASSERT_EQ(asked.height(), plain.height());
    for (std::int64_t y = 0; y < plain.height(); ++y) {
      for (std::int64_t x = 0; x < plain.width(); ++x) ASSERT_EQ(asked.at(x, y), plain.at(x, y)) << x << "," << y;
    }
    EXPECT_GT(never.asked.load(), 0);
  }
}

TEST(TileStopTest, PreparedTilesStopAndAStoppedBuildIsNotKept) {
  const std::vector<riphost::TileRequest> requests = {
      {2400.0, screen(173.0, 15.0), {}}, {2400.0, screen(173.0, 75.0), {}}, {2400.0, screen(173.0, 45.0), {}}};
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(100ms);
    stopped = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const riphost::PreparedTiles tiles(requests, 2, TileStop([&] { return stopped.load(); }));
  stopper.join();
  EXPECT_TRUE(tiles.stopped());
  EXPECT_LT(seconds_since(start), 1.5);
  // A stopped build left nothing in the cache: the tile is built again, whole.
  StopAfter stop(1);
  EXPECT_THROW(riphost::HalftoneScreen(2400.0, screen(173.0, 15.0), {}, stop.token()), TileBuildStopped);
  riphost::TileLimits small_page;
  small_page.page_extent = 400.0;
  const riphost::PreparedTiles unstopped({{1200.0, screen(85.0, 45.0), small_page}}, 1, TileStop([] { return false; }));
  EXPECT_FALSE(unstopped.stopped());
  EXPECT_EQ(unstopped.size(), 1u);
}

TEST(DocumentLimitsTest, SizesAndSecondsAreReadOrRefused) {
  const riphost::DocumentLimits defaults = riphost::document_limits("", "");
  EXPECT_EQ(defaults.memory_bytes, riphost::default_memory_limit());
  EXPECT_GE(defaults.memory_bytes, std::uint64_t{256} << 20);
  EXPECT_EQ(defaults.page_seconds, 0.0);
  const std::pair<const char*, std::uint64_t> sizes[] = {
      {"512M", std::uint64_t{512} << 20},   {"2G", std::uint64_t{2} << 30},    {"1.5GiB", std::uint64_t{3} << 29},
      {"800000k", 800000ull << 10},         {"100MB", std::uint64_t{100} << 20}, {"1T", std::uint64_t{1} << 40},
      {"268435456", std::uint64_t{1} << 28}};
  for (const auto& [text, bytes] : sizes) EXPECT_EQ(riphost::document_limits(text, "").memory_bytes, bytes) << text;
  for (const char* bad : {"lots", "10M", "-1G", "2X", "G", "nanG", "1e30G", "3 G"}) {
    EXPECT_THROW(riphost::document_limits(bad, ""), riphost::HostError) << bad;
  }
  EXPECT_EQ(riphost::document_limits("", "2.5").page_seconds, 2.5);
  for (const char* bad : {"0", "-3", "soon", "5s", "inf"}) {
    EXPECT_THROW(riphost::document_limits("", bad), riphost::HostError) << bad;
  }
  EXPECT_EQ(riphost::memory_text(std::uint64_t{300} << 20), "300 MiB");
  EXPECT_EQ(riphost::memory_text(std::uint64_t{3} << 29), "1.5 GiB");
  EXPECT_EQ(riphost::memory_option(std::uint64_t{300} << 20), "-K307200");
  EXPECT_EQ(riphost::seconds_text(1.5), "1.5 s");
}

TEST(PageWatchTest, TheClockStandsWhileRiphostWorksAndStartsAgainWithEachPage) {
  std::atomic<int> expired{0};
  riphost::PageWatch watch(0.3, [&] { ++expired; });
  // riphost's own time does not count.
  watch.pause();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(expired.load(), 0);
  // Pages shorter than the limit, one after the other.
  watch.resume();
  for (int page = 0; page < 4; ++page) {
    std::this_thread::sleep_for(150ms);
    watch.restart();
  }
  EXPECT_EQ(expired.load(), 0);
  EXPECT_FALSE(watch.expired());
  // A page that goes on.
  const auto start = std::chrono::steady_clock::now();
  while (expired.load() == 0 && seconds_since(start) < 5.0) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(expired.load(), 1);
  EXPECT_TRUE(watch.expired());
  EXPECT_LT(seconds_since(start), 1.5);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(expired.load(), 1) << "the action is called once";
  // No limit: no watchdog at all.
  riphost::PageWatch none(0.0, [&] { ++expired; });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(none.expired());
}

TEST(GhostscriptProgramLimitsTest, TheChildIsBoundedInMemoryAndTime) {
  riphost_test::TempDir dir;
  const std::filesystem::path log = dir / "child.log";
  riphost::DocumentLimits limits;
  limits.memory_bytes = std::uint64_t{100} << 20;
  // The child's address space: the limit and room for its code.
  ASSERT_EQ(riphost::run_program("/bin/sh", {"-c", "ulimit -v"}, log, {}, limits), riphost::ProgramEnd::Done);
  std::ifstream in(log);
  std::string kilobytes;
  std::getline(in, kilobytes);
  EXPECT_EQ(kilobytes, std::to_string((limits.memory_bytes + riphost::kProgramCodeRoom) >> 10));
  // Past the time limit the child is killed; a stop still counts as a stop.
  limits.page_seconds = 0.3;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(riphost::run_program("/bin/sh", {"-c", "sleep 30"}, log, {}, limits), riphost::ProgramEnd::TimedOut);
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(riphost::run_program("/bin/sh", {"-c", "sleep 30"}, log, [] { return true; }, limits),
            riphost::ProgramEnd::Stopped);
  EXPECT_EQ(riphost::run_program("/bin/sh", {"-c", "exit 0"}, log, {}, limits), riphost::ProgramEnd::Done);
}

}  // namespace
