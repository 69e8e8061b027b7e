// A page's plates against the output folder's free space: what they need
// at least and at most, and which pages are refused or warned about.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "driver/free_space.h"
#include "test_support.h"

namespace riphost {
namespace {

constexpr std::uint64_t kGB = 1000ull * 1000 * 1000;

TEST(FreeSpace, PlatesNeedTheirRasterAtMostAndItsCompressedLeastAtLeast) {
  // An A4 page at 40000 ppi, four 1-bit plates, as the plug-in's defaults.
  const PlateFormat deflate = plate_format("", "");
  EXPECT_EQ(deflate.bits_per_pixel, 1);
  EXPECT_EQ(deflate.compression, PlateCompression::Deflate);
  const DiskNeed a4 = page_disk_need(330709, 467717, 4, deflate);
  EXPECT_EQ(a4.most, 4ull * 41339 * 467717);  // rows padded to whole bytes
  EXPECT_EQ(a4.least, 4ull * (41339ull * 467717 / 1032));
  // Stored uncompressed the least is the raster; PackBits shrinks 64 to 1.
  const DiskNeed none = page_disk_need(9, 10, 2, plate_format("fw8b", "none"));
  EXPECT_EQ(none.least, 40u);
  EXPECT_EQ(none.most, 40u);
  EXPECT_EQ(page_disk_need(6400, 100, 1, plate_format("FW8B", "SUN")).least, 1250u);
  // 8 and 16 bits per pixel; an unknown format counts as the default.
  EXPECT_EQ(page_disk_need(3, 2, 1, plate_format("FW88B", "NONE")).most, 6u);
  EXPECT_EQ(page_disk_need(3, 2, 1, plate_format("FW16B", "NONE")).most, 12u);
  EXPECT_EQ(page_disk_need(3, 2, 1, plate_format("TIFF", "NONE")).most, 2u);
  // No page, no need; sizes that overflow 64 bits saturate instead of wrapping.
  EXPECT_EQ(page_disk_need(0, 100, 4, deflate).most, 0u);
  EXPECT_EQ(page_disk_need(1 << 24, 1 << 24, 1u << 31, plate_format("FW16B", "NONE")).least, UINT64_MAX);
}

TEST(FreeSpace, APageWhoseRasterCannotFitIsRefused) {
  const std::filesystem::path out = "/srv/out";
  const DiskNeed need{100 * kGB / 1032, 100 * kGB};
  // Fits even uncompressed, or exactly: nothing to say.
  EXPECT_EQ(judge_space(need, 200 * kGB, 4, out).refusal, "");
  EXPECT_EQ(judge_space(need, 100 * kGB, 4, out).refusal, "");
  // Would fit only if compression shrank it: refused, naming need, free space and folder.
  EXPECT_EQ(judge_space(need, 50 * kGB, 4, out).refusal,
            "its 4 plates need up to 100.0 GB on disk (the uncompressed raster; compressed, a busy plate stays near "
            "it), more than the 50.0 GB free in the output folder /srv/out; the page is not started (free some space, "
            "or use a lower resolution or a smaller page)");
  // Stored uncompressed, the raster is what it takes.
  const DiskNeed raw{96900000, 96900000};
  EXPECT_EQ(judge_space(raw, 90 * 1000 * 1000, 1, out).refusal.rfind(
                "its plate needs at least 96.9 MB on disk, more than the 90.0 MB free in the output folder /srv/out; "
                "the page is not started",
                0),
            0u);
}

TEST(FreeSpace, SpaceIsReadFromTheFolderOrItsNearestParent) {
  EXPECT_EQ(byte_count(999), "999 bytes");
  EXPECT_EQ(byte_count(1), "1 byte");
  EXPECT_EQ(byte_count(2'100'000), "2.10 MB");
  EXPECT_EQ(byte_count(123'456'789'012), "123.5 GB");
  riphost_test::TempDir dir;
  const auto here = free_bytes(dir.path());
  ASSERT_TRUE(here.has_value());
  EXPECT_GT(*here, 0u);
  // A folder still to be made: its parent's file system.
  EXPECT_TRUE(free_bytes(dir / "to" / "be" / "made").has_value());
}

}  // namespace
}  // namespace riphost
