// preview_test.cpp - libdravpngpreview.so through its C functions, as the
// plug-in calls them: the picture against reference reductions of generated
// pages, the size announcement, odd page sizes, calls out of order and
// failed writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pngpreview.h"
#include "test_pages.h"

namespace {

namespace fs = std::filesystem;
using pngpreview_test::GreyImage;
using pngpreview_test::Page;
using pngpreview_test::TempDir;

// Feeds a whole page (plus the given number of extra lines, which must be
// ignored), optionally rescales, and writes the PNG. Returns the announced
// size.
int run_preview(const Page& page, int rescale, const fs::path& file, int extra_lines = 0) {
  png_init(page.height, page.width, 1, 0);
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  for (int y = 0; y < page.height + extra_lines; ++y) png_setNextLine(page.Row(y % page.height));
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  if (rescale != -1) png_rescale(rescale);
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  const int size = png_getSizeOfPng();
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  png_write(file.c_str());
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  EXPECT_STREQ(png_lasterror(), "");
  png_cleanUp();
  return size;
}

// The grid of a halftone page (partial last column and row) equals the
// reference reduction. Rescaled so that each preview pixel holds whole grid
// cells, the picture is the page's area average; rescaled so that preview
// pixels cut cells, it is the area average of the grid, a cut cell's share
// taken as spread evenly over it. The announced size is one more than the
// file.
TEST(PngPreview, PictureMatchesAreaAverageOfThePage) {
  TempDir dir;
  const Page page = pngpreview_test::halftone_page(8195, 3001);  // cells of 3 x 3, last ones 2 and 1 wide
  const fs::path grid_file = dir.Path() / "grid.png";
  const int size = run_preview(page, -1, grid_file);
  EXPECT_EQ(static_cast<uintmax_t>(size), fs::file_size(grid_file) + 1);

  int grid_width = 0, grid_height = 0;
  const std::vector<uint8_t> expected = pngpreview_test::reference_grid(page, grid_width, grid_height);
  const GreyImage grid = pngpreview_test::read_png(grid_file);
  ASSERT_TRUE(grid.ok);
  ASSERT_EQ(grid.width, 2732);
  ASSERT_EQ(grid.height, 1001);
  ASSERT_EQ(grid_width, 2732);
  ASSERT_EQ(grid_height, 1001);
  EXPECT_EQ(grid.pixels, expected);
  // Right-reading: the solid block is at the top left, not the top right.
  EXPECT_EQ(grid.At(0, 0), 0);
  EXPECT_NE(grid.At(grid.width - 1, 0), 0);

  // Whole cells: 8196 x 3000 pixels, grid 2732 x 1000, preview 683 x 250, each
  // preview pixel 4 x 4 cells of 3 x 3 pixels.
  {
    const Page whole = pngpreview_test::halftone_page(8196, 3000);
    const fs::path file = dir.Path() / "whole.png";
    const int announced = run_preview(whole, 683, file);
    EXPECT_EQ(static_cast<uintmax_t>(announced), fs::file_size(file) + 1);
    const GreyImage image = pngpreview_test::read_png(file);
    ASSERT_TRUE(image.ok);
    ASSERT_EQ(image.width, 683);
    ASSERT_EQ(image.height, 250);
    const std::vector<double> box = pngpreview_test::reference_box(
        whole.width, whole.height, [&whole](int x, int y) { return whole.At(x, y) ? 1.0 : 0.0; }, 683, 250);
    double worst = 0.0;
    for (std::size_t i = 0; i < box.size(); ++i) worst = std::max(worst, std::abs(image.pixels[i] - box[i]));
    EXPECT_LE(worst, 2.0);
  }

  // Cut cells, on the first page.
  const int f = pngpreview_test::grid_factor(page.width, page.height);
  const auto grid_ink = [&](int x, int y) {
    return 1.0 - expected[static_cast<std::size_t>(y / f) * grid_width + x / f] / 255.0;
  };
  for (const int value : {1000, 777}) {
    const fs::path file = dir.Path() / ("rescaled" + std::to_string(value) + ".png");
    const int announced = run_preview(page, value, file);
    EXPECT_EQ(static_cast<uintmax_t>(announced), fs::file_size(file) + 1);
    const GreyImage image = pngpreview_test::read_png(file);
    ASSERT_TRUE(image.ok);
    ASSERT_EQ(image.width, value);
    ASSERT_EQ(image.height, static_cast<int>(std::lround(3001.0 * value / 8195)));
    const std::vector<double> box =
        pngpreview_test::reference_box(page.width, page.height, grid_ink, image.width, image.height);
    double worst = 0.0;
    for (std::size_t i = 0; i < box.size(); ++i) worst = std::max(worst, std::abs(image.pixels[i] - box[i]));
    EXPECT_LE(worst, 1.0) << "rescaled to " << value;
  }
}

// A page of 20000 x 30000 pixels, rows made on the fly: the grid is
// 2500 x 3750, rescaled to 1000 it is 667 x 1000. Left half 50 % (every other
// pixel), right half empty, and a solid band at the top.
TEST(PngPreview, LargePageRescaledToItsDefault) {
  TempDir dir;
  const int width = 20000, height = 30000;
  const std::size_t words = (width + 31) / 32;
  std::vector<uint32_t> half(words, 0), solid(words, 0);
  for (int x = 0; x < width; ++x) {
    if (x < width / 2 && x % 2 == 0) half[x / 32] |= 1u << (x % 32);
    solid[x / 32] |= 1u << (x % 32);
  }
  png_init(height, width, 1, 0);
  for (int y = 0; y < height; ++y) png_setNextLine(y < 600 ? solid.data() : half.data());
  png_rescale(1000);
  ASSERT_EQ(png_lastresult(), 0) << png_lasterror();
  const int size = png_getSizeOfPng();
  ASSERT_GT(size, 0);
  EXPECT_EQ(png_getSizeOfPng(), size);  // encoded once
  const fs::path file = dir.Path() / "large.png";
  png_write(file.c_str());
  ASSERT_EQ(png_lastresult(), 0) << png_lasterror();
  png_cleanUp();
  EXPECT_EQ(static_cast<uintmax_t>(size), fs::file_size(file) + 1);

  const GreyImage image = pngpreview_test::read_png(file);
  ASSERT_TRUE(image.ok);
  ASSERT_EQ(image.width, 667);
  ASSERT_EQ(image.height, 1000);
  EXPECT_EQ(image.At(0, 0), 0);
  EXPECT_EQ(image.At(666, 19), 0);  // 600 rows = 20 preview rows
  EXPECT_NEAR(image.At(10, 500), 127.5, 1.0);
  EXPECT_NEAR(image.At(330, 999), 127.5, 1.0);
  EXPECT_EQ(image.At(340, 500), 255);
  EXPECT_EQ(image.At(666, 999), 255);
}

// Widths that are no multiple of 32 or 64, tall thin pages and a single
// pixel: the grid equals the reference, also when the host sends more lines
// than the height.
TEST(PngPreview, OddPageSizes) {
  TempDir dir;
  const int sizes[][2] = {{1, 1}, {31, 5}, {33, 7}, {65, 3}, {4097, 9}, {1, 9000}, {130, 8193}};
  for (const auto& wh : sizes) {
    const Page page = pngpreview_test::halftone_page(wh[0], wh[1]);
    const fs::path file = dir.Path() / ("odd" + std::to_string(wh[0]) + "x" + std::to_string(wh[1]) + ".png");
    run_preview(page, -1, file, 3);
    int grid_width = 0, grid_height = 0;
    const std::vector<uint8_t> expected = pngpreview_test::reference_grid(page, grid_width, grid_height);
    const GreyImage image = pngpreview_test::read_png(file);
    ASSERT_TRUE(image.ok) << wh[0] << " x " << wh[1];
    EXPECT_EQ(image.width, grid_width) << wh[0] << " x " << wh[1];
    EXPECT_EQ(image.height, grid_height) << wh[0] << " x " << wh[1];
    EXPECT_EQ(image.pixels, expected) << wh[0] << " x " << wh[1];
  }
}

// Calls in any order do not crash, report what happened and leave no file
// behind where there is nothing to write.
TEST(PngPreview, CallsOutOfOrder) {
  TempDir dir;
  const fs::path file = dir.Path() / "p.png";
  const uint32_t line[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};

  png_cleanUp();
  png_cleanUp();
  EXPECT_EQ(png_lastresult(), 0);
  png_setNextLine(line);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_NOIMAGE);
  EXPECT_NE(std::string(png_lasterror()), "");
  png_rescale(100);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_NOIMAGE);
  EXPECT_EQ(png_getSizeOfPng(), 0);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_NOIMAGE);
  png_write(file.c_str());
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_NOIMAGE);
  EXPECT_FALSE(fs::exists(file));

  // Refused arguments leave no image.
  for (const auto& args : {std::vector<int>{0, 10, 1, 0}, {10, -1, 1, 0}, {10, 10, 8, 0}, {10, 10, 1, 3}}) {
    png_init(args[0], args[1], args[2], args[3]);
    EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_ARGUMENT);
    png_setNextLine(line);
    EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_NOIMAGE);
  }

  // A second png_init starts over; lines from before are gone.
  png_init(4, 40, 1, 0);
  png_setNextLine(line);
  png_init(2, 40, 1, 0);
  png_setNextLine(nullptr);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_ARGUMENT);
  png_write(nullptr);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_ARGUMENT);
  png_write("");
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_ARGUMENT);
  // Written without (further) lines: all white.
  png_write(file.c_str());
  ASSERT_EQ(png_lastresult(), 0) << png_lasterror();
  GreyImage image = pngpreview_test::read_png(file);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 40);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels, std::vector<uint8_t>(80, 255));
  // Encoded now: the size is fixed, lines and rescaling no longer change it.
  const int size = png_getSizeOfPng();
  EXPECT_EQ(static_cast<uintmax_t>(size), fs::file_size(file) + 1);
  png_setNextLine(line);
  EXPECT_EQ(png_lastresult(), 0);
  png_rescale(10);
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_STATE);
  EXPECT_EQ(png_getSizeOfPng(), size);
  png_cleanUp();
  png_cleanUp();
  EXPECT_EQ(png_getSizeOfPng(), 0);

  // Half a page, then the end: the missing lines are white. Rescaling to the
  // grid's own size or larger, or by 0, changes nothing.
  png_init(4, 40, 1, 0);
  png_setNextLine(line);
  png_rescale(0);
  EXPECT_EQ(png_lastresult(), 0);
  png_rescale(40);
  png_rescale(5000);
  png_setNextLine(line);  // after png_rescale: ignored
  png_write(file.c_str());
  ASSERT_EQ(png_lastresult(), 0) << png_lasterror();
  png_cleanUp();
  image = pngpreview_test::read_png(file);
  ASSERT_TRUE(image.ok);
  ASSERT_EQ(image.height, 4);
  EXPECT_EQ(image.At(0, 0), 0);
  EXPECT_EQ(image.At(39, 0), 0);
  EXPECT_EQ(image.At(0, 1), 255);
  EXPECT_EQ(image.At(39, 3), 255);

  // Abandoned half way: png_cleanUp alone.
  const std::vector<uint32_t> long_line(32, 0x12345678u);
  png_init(1000, 1000, 1, 0);
  png_setNextLine(long_line.data());
  png_cleanUp();
  EXPECT_EQ(png_lastresult(), 0);
}

// A write that cannot be made reports the failure, leaves no file and keeps
// the encoded picture for another attempt.
TEST(PngPreview, FailedWriteLeavesNothing) {
  TempDir dir;
  const Page page = pngpreview_test::halftone_page(3000, 2000);
  png_init(page.height, page.width, 1, 0);
  for (int y = 0; y < page.height; ++y) png_setNextLine(page.Row(y));
  const int size = png_getSizeOfPng();
  ASSERT_GT(size, 1000);

  // No such folder; a folder in the way (left alone).
  const fs::path missing = dir.Path() / "no" / "such" / "p.png";
  png_write(missing.c_str());
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_WRITE);
  EXPECT_NE(std::string(png_lasterror()).find(missing.string()), std::string::npos) << png_lasterror();
  EXPECT_FALSE(fs::exists(missing));
  const fs::path folder = dir.Path() / "folder.png";
  fs::create_directory(folder);
  png_write(folder.c_str());
  EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_WRITE);
  EXPECT_TRUE(fs::is_directory(folder));

  // A folder without write permission (root may write anyway).
  if (::geteuid() != 0) {
    const fs::path locked = dir.Path() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    png_write((locked / "p.png").c_str());
    EXPECT_EQ(png_lastresult(), PNGPREVIEW_E_WRITE);
    EXPECT_FALSE(fs::exists(locked / "p.png"));
  }

  // The disk fills up half way (a file size limit): the partial file, which
  // replaced an older one, is removed. A name with a per cent sign shows the
  // name is no format.
  const fs::path cut = dir.Path() / "cut %s %n.png";
  { std::FILE* old = std::fopen(cut.c_str(), "w"); ASSERT_NE(old, nullptr); std::fputs("old", old); std::fclose(old); }
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = static_cast<rlim_t>(size / 2);
  void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  png_write(cut.c_str());
  const int result = png_lastresult();
  const std::string message = png_lasterror();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, PNGPREVIEW_E_WRITE);
  EXPECT_NE(message.find(cut.string()), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(cut));

  // The same bytes are written once the way is clear.
  const fs::path good = dir.Path() / "good.png";
  png_write(good.c_str());
  EXPECT_EQ(png_lastresult(), 0) << png_lasterror();
  EXPECT_EQ(static_cast<uintmax_t>(size), fs::file_size(good) + 1);
  png_cleanUp();
}

}  // namespace
