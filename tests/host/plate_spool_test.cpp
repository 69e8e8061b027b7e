// plate_spool_test.cpp - the document source's spools of screened rows:
// rows and runs come back as written, damaged spools are refused, spool
// files have no name, and spooled rows report the screener's runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "sources/document/ink_screening.h"
#include "sources/document/plate_spool.h"
#include "sources/document/spool_file.h"
#include "test_support.h"

namespace riphost {
namespace {

namespace fs = std::filesystem;
using riphost_test::TempDir;
using riphost_test::write_file;
// --------------------------------------------------------------------- spool

std::vector<std::uint8_t> random_row(std::mt19937& random, int width) {
  std::vector<std::uint8_t> row(row_bytes(width));
  for (auto& byte : row) byte = static_cast<std::uint8_t>(random());
  clear_tail(row.data(), width, row.size());
  return row;
}

RunList random_runs(std::mt19937& random, int width) {
  RunList runs;
  int x = static_cast<int>(random() % 7);
  while (x < width - 2 && random() % 5 != 0) {
    const int length = 1 + static_cast<int>(random() % static_cast<unsigned>(std::min(300, width - x - 1)));
    runs.x.push_back(x);
    runs.length.push_back(length);
    x += length + 1 + static_cast<int>(random() % 40);
  }
  return runs;
}

TEST(PlateSpool, RowsAndRunsComeBackAsWrittenBandAfterBand) {
  TempDir dir;
  std::mt19937 random(17);
  for (int width : {1, 31, 32, 1000, 4099}) {
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<RunList> runs;
    SpoolWriter writer(dir.path(), width);
    for (int band : {1, 37, 5}) {
      for (int r = 0; r < band; ++r) {
        rows.push_back(random_row(random, width));
        runs.push_back(random_runs(random, width));
        writer.add_row(rows.back().data(), runs.back());
      }
      writer.end_band();
    }
    writer.finish();
    EXPECT_GT(writer.bytes_written(), 0u);
    EXPECT_TRUE(fs::is_empty(dir.path())) << "a spool has no name in its folder";
    SpoolReader reader(writer.take_file(), width);
    RunList solids;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::uint8_t* row = reader.next_row(solids);
      ASSERT_EQ(std::vector<std::uint8_t>(row, row + row_bytes(width)), rows[i]) << width << " row " << i;
      EXPECT_EQ(solids.x, runs[i].x);
      EXPECT_EQ(solids.length, runs[i].length);
    }
    EXPECT_THROW(reader.next_row(solids), HostError) << "reading past the end";
  }
}

// The bytes a spool of 20 random rows holds.
std::string spool_bytes(const fs::path& dir, int width) {
  std::mt19937 random(3);
  SpoolWriter writer(dir, width);
  for (int r = 0; r < 20; ++r) writer.add_row(random_row(random, width).data(), random_runs(random, width));
  writer.finish();
  std::FILE* file = writer.take_file();
  std::string bytes;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) bytes += static_cast<char>(c);
  std::fclose(file);
  return bytes;
}

TEST(PlateSpool, DamagedOrShortSpoolsAreRefused) {
  TempDir dir;
  const std::string good = spool_bytes(dir.path(), 500);
  std::string flipped = good;
  flipped[20] = static_cast<char>(flipped[20] ^ 0x55);
  std::string huge = good;
  huge[4] = '\xFF';
  huge[7] = '\x7F';
  for (const std::string& bytes : {good.substr(0, good.size() / 2), flipped, huge, std::string()}) {
    write_file(dir / "bad.spool", bytes);
    SpoolReader reader(std::fopen((dir / "bad.spool").c_str(), "rb"), 500);
    RunList solids;
    EXPECT_THROW(
        {
          for (int r = 0; r < 20; ++r) reader.next_row(solids);
        },
        HostError);
  }
}

// Both ways of making a nameless file leave nothing in the folder, hold
// what is written, and a folder that cannot take files is named.
TEST(SpoolFile, FilesHaveNoNameAndFailuresNameTheFolder) {
  TempDir dir;
  for (auto open : {open_spool_file, open_unlinked_file}) {
    std::FILE* file = open(dir.path());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    ASSERT_GE(std::fputs("plates", file), 0);
    std::rewind(file);
    char back[8] = {};
    EXPECT_EQ(std::fread(back, 1, sizeof back, file), 6u);
    EXPECT_STREQ(back, "plates");
    std::fclose(file);
  }
  for (auto open : {open_spool_file, open_unlinked_file}) {
    try {
      open(dir / "missing");
      ADD_FAILURE() << "a missing folder takes no file";
    } catch (const HostError& error) {
      EXPECT_NE(std::string(error.what()).find("cannot make a spool file in " + (dir / "missing").string()),
                std::string::npos)
          << error.what();
    }
  }
}

// ---------------------------------------------------------------- screening

struct SeenRun {
  std::uint32_t handle;
  int kind;
  std::int32_t x, length;
  bool operator==(const SeenRun&) const = default;
};
std::vector<SeenRun>* runs_seen = nullptr;
void seen_screen(std::uint32_t h, std::int32_t x, std::int32_t l) { runs_seen->push_back({h, 0, x, l}); }
void seen_solid(std::uint32_t h, std::int32_t x, std::int32_t l) { runs_seen->push_back({h, 1, x, l}); }
const RunCallbacks kSeen{seen_screen, seen_solid, nullptr};

// Ink rows: ramps, paper, full ink, stretches of full ink amid tints, single
// pixels at both ends.
std::vector<std::uint8_t> ink_row(int kind, int width, std::mt19937& random) {
  std::vector<std::uint8_t> ink(static_cast<std::size_t>(width), 0);
  for (int x = 0; x < width; ++x) {
    std::uint8_t& v = ink[static_cast<std::size_t>(x)];
    switch (kind) {
      case 0: v = static_cast<std::uint8_t>(x * 255 / std::max(width - 1, 1)); break;
      case 1: v = 0; break;
      case 2: v = 255; break;
      case 3: v = (x / 50) % 3 == 0 ? 255 : static_cast<std::uint8_t>(random() % 256); break;
      case 4: v = (x == 0 || x == width - 1) ? 255 : 0; break;
      default: v = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 : random() % 256); break;
    }
  }
  return ink;
}

TEST(InkScreening, SpooledRowsReportTheRunsTheScreenerReports) {
  std::mt19937 random(5);
  SelectedScreen screen;
  screen.spec.ruling = 100;
  screen.spec.angle = 15;
  screen.handle = 0x1234;
  for (int width : {1, 33, 64, 997}) {
    ContoneScreener direct(width, 1200, {screen}, {});
    InkScreener ours(width, 1200, screen);
    std::vector<std::uint8_t> expected(row_bytes(width)), bits(row_bytes(width));
    for (int kind = 0; kind < 6; ++kind) {
      for (int y = 0; y < 8; ++y) {
        const std::vector<std::uint8_t> ink = ink_row(kind, width, random);
        std::vector<SeenRun> want, got;
        runs_seen = &want;
        direct.screen_row(y, ink.data(), nullptr, expected.data(), kSeen);
        // Ours reads one ink of chunky pixels: spread the row with a stride.
        std::vector<std::uint8_t> chunky(ink.size() * 8, 0x77);
        for (std::size_t x = 0; x < ink.size(); ++x) chunky[x * 8 + 3] = ink[x];
        RunList solids;
        ours.screen(y, chunky.data() + 3, 8, bits.data(), solids);
        runs_seen = &got;
        report_runs(bits.data(), width, solids, screen.handle, kSeen);
        runs_seen = nullptr;
        ASSERT_EQ(bits, expected) << "width " << width << " kind " << kind << " row " << y;
        ASSERT_EQ(got, want) << "width " << width << " kind " << kind << " row " << y;
      }
    }
  }
}

}  // namespace
}  // namespace riphost
