// memory_test.cpp - riphost streams: a page ten times as tall does not need
// more memory. riphost runs as a child process with the fake plug-in; the
// peak resident size of each child is compared (memory, not time).
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include "image_files.h"
#include "test_support.h"

namespace {

using riphost_test::TempDir;

constexpr int kWidth = 1000;
constexpr int kShort = 3000;
constexpr int kTall = 10 * kShort;

// Runs riphost on ticket; returns the child's peak resident size in KiB.
long peak_kib_of_run(const std::filesystem::path& ticket, const std::filesystem::path& log) {
  pid_t child = fork();
  if (child == 0) {
    setenv("FAKE_DRAVOUT_LOG", log.c_str(), 1);
    unsetenv("FAKE_DRAVOUT_FAIL");
    unsetenv("FAKE_DRAVOUT_DUMP");
    execl(RIPHOST_PATH, RIPHOST_PATH, "--quiet", "--plugin", FAKE_PLUGIN_PATH, ticket.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  EXPECT_EQ(wait4(child, &status, 0, &usage), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "riphost status " << status;
  return usage.ru_maxrss;
}

// A ticket of one page height rows high, showing every kind of source.
std::string ticket(int height) {
  return R"({"device": ".", "output": "out", "jobs": [{"name": "tall", "pages": [{"width": )" +
         std::to_string(kWidth) + R"(, "height": )" + std::to_string(height) + R"(, "separations": [
           {"name": "T", "pattern": "target"},
           {"name": "R", "pattern": "ramp"},
           {"name": "B", "image": "tall.pbm"},
           {"name": "P", "image": "tall.png"},
           {"name": "F", "image": "tall.tif"}]}]}]})";
}

TEST(MemoryTest, TallPageNeedsNoMoreMemory) {
  TempDir dir;
  // The same images, as tall as the tall page, serve both runs.
  riphost_test::write_file(dir / "tall.pbm",
                           riphost_test::make_pbm(kWidth, kTall, [](int x, int y) { return (x + y) % 7 == 0; }));
  riphost_test::SampleRows rows(kTall, std::vector<std::uint8_t>(kWidth));
  for (int y = 0; y < kTall; ++y) {
    for (int x = 0; x < kWidth; ++x) rows[y][x] = static_cast<std::uint8_t>((x * 3 + y) & 0xFF);
  }
  ASSERT_TRUE(riphost_test::write_png(dir / "tall.png", kWidth, kTall, PNG_COLOR_TYPE_GRAY, 8, false, rows));
  ASSERT_TRUE(riphost_test::write_tiff(dir / "tall.tif", kWidth, kTall, 8, 1, PHOTOMETRIC_MINISBLACK, rows));
  rows.clear();
  rows.shrink_to_fit();
  // The device folder is the test's folder; its one configuration is the default.
  riphost_test::write_device_folder(dir.path());
  riphost_test::write_file(dir / "short.json", ticket(kShort));
  riphost_test::write_file(dir / "tall.json", ticket(kTall));

  long short_kib = peak_kib_of_run(dir / "short.json", dir / "short.log");
  long tall_kib = peak_kib_of_run(dir / "tall.json", dir / "tall.log");
  EXPECT_LE(tall_kib, short_kib + short_kib / 5) << "short page " << short_kib << " KiB, tall page " << tall_kib
                                                 << " KiB";
  std::vector<std::string> calls = riphost_test::read_lines(dir / "tall.log");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "endseparations rows=" + std::to_string(kTall)), 5);
}

}  // namespace
