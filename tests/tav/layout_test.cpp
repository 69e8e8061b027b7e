// Layout decisions: when a file must be BigTIFF, and how rows fill strips.
#include <gtest/gtest.h>

#include "tav_layout.h"

namespace {

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

TEST(BigTiffDecision, OnlyAboveThreeGiBOfRawPixels) {
  EXPECT_FALSE(tav::NeedsBigTiff(0));
  EXPECT_FALSE(tav::NeedsBigTiff(3 * kGiB));
  EXPECT_TRUE(tav::NeedsBigTiff(3 * kGiB + 1));
  // A 1-bit page of 200000 x 140000 pixels (3.26 GiB) needs BigTIFF; the
  // same page in 8 bits obviously too; a typical 1-bit plate does not.
  EXPECT_TRUE(tav::NeedsBigTiff(tav::RowBytes(1, 200000) * 140000));
  EXPECT_TRUE(tav::NeedsBigTiff(tav::RowBytes(8, 50000) * 70000));
  EXPECT_FALSE(tav::NeedsBigTiff(tav::RowBytes(1, 100000) * 80000));
  // The largest image the API can describe does not overflow the sum.
  EXPECT_TRUE(tav::NeedsBigTiff(tav::RowBytes(8, 0x7FFFFFFF) * 0x7FFFFFFFull));
}

TEST(RowBytes, OneBitRoundsUpToWholeBytes) {
  EXPECT_EQ(tav::RowBytes(1, 1), 1u);
  EXPECT_EQ(tav::RowBytes(1, 8), 1u);
  EXPECT_EQ(tav::RowBytes(1, 9), 2u);
  EXPECT_EQ(tav::RowBytes(8, 9), 9u);
  EXPECT_EQ(tav::RowBytes(1, 0xFFFFFFFFu), 0x20000000u);
}

TEST(RowsPerStrip, AboutHalfAMebibyteAndWithinTheImage) {
  EXPECT_EQ(tav::RowsPerStrip(1000, 100000), 524u);
  EXPECT_EQ(tav::RowsPerStrip(1000, 10), 10u);       // never more rows than the image
  EXPECT_EQ(tav::RowsPerStrip(4000000, 10), 1u);     // a row wider than a strip
  EXPECT_EQ(tav::RowsPerStrip(1, 0xFFFFFFFFu), 524288u);
}

}  // namespace
