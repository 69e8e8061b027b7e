// row_count_test.cpp - the per-cell bit counts of one scanline and the grid
// arithmetic, against bit-by-bit references.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "preview_image.h"
#include "row_count.h"

namespace pngpreview {
namespace {

// Every counting path (cells within a word, cells of whole words, cells of
// any width, short last words) against one bit at a time, on random rows whose
// padding bits are set. Each row lives in a buffer of exactly its size, so an
// over-read shows under AddressSanitizer.
TEST(RowCount, MatchesBitByBitForEveryCellWidth) {
  std::mt19937_64 random(7);
  const uint64_t widths[] = {1, 7, 31, 32, 33, 63, 64, 65, 95, 127, 128, 129, 200, 4097, 20000};
  const uint64_t factors[] = {1, 2, 3, 5, 8, 31, 49, 63, 64, 65, 100, 128, 192, 1000};
  for (const uint64_t width : widths) {
    for (const uint64_t factor : factors) {
      const RowShape shape = make_row_shape(width, factor);
      ASSERT_EQ(shape.row_bytes, 4 * ((width + 31) / 32));
      ASSERT_EQ(shape.cells, (width + factor - 1) / factor);
      for (int trial = 0; trial < 3; ++trial) {
        std::vector<uint8_t> row(shape.row_bytes);
        for (auto& b : row) b = static_cast<uint8_t>(trial == 2 ? 0xFF : random());
        for (uint64_t x = width; x < 8 * row.size(); ++x) row[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
        std::vector<uint64_t> expected(shape.cells, 5), portable(shape.cells, 5), best(shape.cells, 5);
        count_row_reference(shape, row.data(), expected.data());
        count_row_portable(shape, row.data(), portable.data());
        best_row_counter()(shape, row.data(), best.data());
        EXPECT_EQ(portable, expected) << "width " << width << " factor " << factor;
        EXPECT_EQ(best, expected) << "width " << width << " factor " << factor;
      }
    }
  }
}

TEST(PreviewGrid, SizeRuleAndTones) {
  EXPECT_EQ(grid_factor(1, 1), 1u);
  EXPECT_EQ(grid_factor(4096, 10), 1u);
  EXPECT_EQ(grid_factor(10, 4097), 2u);
  EXPECT_EQ(grid_factor(130000, 200000), 49u);
  EXPECT_EQ(grid_factor(2147483647, 1), 524288u);

  PreviewImage huge(130000, 200000);
  EXPECT_EQ(huge.Width(), 2654u);
  EXPECT_EQ(huge.Height(), 4082u);
  PreviewImage tall(3, 9000);  // f = 3: one column of cells
  EXPECT_EQ(tall.Width(), 1u);
  EXPECT_EQ(tall.Height(), 3000u);

  EXPECT_EQ(tone_of(0, 9), 255);
  EXPECT_EQ(tone_of(9, 9), 0);
  EXPECT_EQ(tone_of(1, 2), 128);  // 127.5 rounds up
  EXPECT_EQ(tone_of(1, 3), 170);
  EXPECT_EQ(tone_of(uint64_t{1} << 37, uint64_t{1} << 38), 128);  // no overflow with the largest cells
  // The reciprocal shortcut gives the exact quotient for every count of the
  // cell areas that matter (ties included).
  for (const uint64_t area : {uint64_t{1}, uint64_t{2}, uint64_t{9}, uint64_t{64}, uint64_t{2401}, uint64_t{3} * 49,
                              uint64_t{512} * 512, uint64_t{524288} * 524288}) {
    const ToneScale scale(area);
    const uint64_t step = area > 300000 ? area / 100003 : 1;
    for (uint64_t count = 0; count <= area; count += step) ASSERT_EQ(scale(count), tone_of(count, area)) << count << "/" << area;
    ASSERT_EQ(scale(area), 0);
  }
}

// Rescaling keeps the page's proportions, never enlarges and keeps a uniform
// tone uniform (also where output pixels cut grid cells).
TEST(PreviewGrid, RescaleSizesAndUniformTone) {
  PreviewImage image(10001, 7001, &count_row_portable);  // f = 3, partial last cells
  std::vector<uint8_t> row(4 * ((10001 + 31) / 32), 0x55);  // every other pixel: half the cells' pixels set
  for (int y = 0; y < 7001; ++y) image.AddLine(row.data());
  EXPECT_FALSE(image.Rescale(0));
  EXPECT_FALSE(image.Rescale(-5));
  EXPECT_FALSE(image.Rescale(image.Width()));
  EXPECT_EQ(image.Width(), 3334u);
  ASSERT_TRUE(image.Rescale(999));
  EXPECT_EQ(image.Width(), 999u);
  EXPECT_EQ(image.Height(), 699u);  // 7001 * 999 / 10001 = 699.3
  // Cells of three columns hold one or two set pixels per row (grey 170 or
  // 85); an output pixel of 10 columns averages them back to near one half.
  for (uint32_t y = 0; y < image.Height(); ++y) {
    for (uint32_t x = 0; x < image.Width(); ++x) ASSERT_NEAR(image.Row(y)[x], 127.5, 20) << x << "," << y;
  }
  ASSERT_TRUE(image.Rescale(10));
  EXPECT_EQ(image.Width(), 10u);
  EXPECT_EQ(image.Height(), 7u);
  ASSERT_TRUE(image.Rescale(1));
  EXPECT_EQ(image.Width(), 1u);
  EXPECT_EQ(image.Height(), 1u);
  EXPECT_NEAR(image.Row(0)[0], 127.5, 1.0);
}

}  // namespace
}  // namespace pngpreview
