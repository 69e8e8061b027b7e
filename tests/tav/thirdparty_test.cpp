// Standard TIFF readers (Pillow, tiffinfo) see the right size, resolution
// and pixels: ink is black.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "tav.h"
#include "tav_test_support.h"
#include "tav_writer.h"

namespace tavtest {
namespace {

const char kPython[] = "/usr/bin/python3";

// Prints mode, size and dpi, then one line per row with 1 for a black pixel.
const char kPillowScript[] =
    "import sys\n"
    "from PIL import Image\n"
    "im = Image.open(sys.argv[1])\n"
    "im.load()\n"
    "dpi = im.info.get('dpi', (0, 0))\n"
    "print(im.mode, im.size[0], im.size[1], round(float(dpi[0])), round(float(dpi[1])))\n"
    "for y in range(im.size[1]):\n"
    "    print(''.join('1' if im.getpixel((x, y)) < 128 else '0' for x in range(im.size[0])))\n";

bool PillowAvailable() {
  return RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") == 0;
}

struct PillowCase {
  int format;
  int compression;
  int mode;
  const char* pillow_mode;
  bool bigtiff = false;
};

// Files of this scope's thread are BigTIFF whatever their size.
class ForcedBigTiff {
 public:
  explicit ForcedBigTiff(bool on) { tav::ForceBigTiffForTesting(on); }
  ~ForcedBigTiff() { tav::ForceBigTiffForTesting(false); }
};

bool HaveTool(const char* name) {
  return RunCommand(std::string("command -v ") + name + " >/dev/null") == 0;
}

// A file with a tag directory of over 3 MB, as a large preview gives.
void WriteWithLargeTag(const std::string& path, bool bigtiff) {
  ForcedBigTiff forced(bigtiff);
  Bytes preview(3 << 20);
  for (std::size_t i = 0; i < preview.size(); ++i) preview[i] = static_cast<uint8_t>(i * 131 + 7);
  ASSERT_EQ(WriteTav(path, 2, 64, 0x11, 301, RandomRows(2, 301, 40, 9), 301 * 25.4 / 1200,
                     40 * 25.4 / 1200, {}, {{"_KVTVIEW.PNG", preview}}),
            0);
}

TEST(Pillow, SeesSizeResolutionAndInkAsBlack) {
  if (!PillowAvailable()) GTEST_SKIP() << "Pillow is not installed for " << kPython;
  TempDir dir;
  const std::string script = dir.Path("read.py");
  WriteFileBytes(script, Bytes(kPillowScript, kPillowScript + sizeof kPillowScript - 1));
  const PillowCase cases[] = {
      {2, 0, 0x11, "1"},        {2, 0, 0x51, "1"},       {1, 64, 0x1B, "1"},
      {3, 0, 0x11, "L"},        {3, 64, 0x13, "L"},      {2, 64, 0x11, "1", true},
      {3, 0, 0x51, "L", true},
  };
  const int width = 13;
  const int height = 6;
  for (const PillowCase& c : cases) {
    const std::string path = dir.Path("p.tav");
    const std::vector<Bytes> rows = RandomRows(c.format, width, height, 77u + c.mode);
    // 13 pixels over 13/600 inch wide, 6 pixels over 6/300 inch high.
    {
      ForcedBigTiff forced(c.bigtiff);
      ASSERT_EQ(WriteTav(path, c.format, c.compression, c.mode, width, rows, 13 * 25.4 / 600,
                         6 * 25.4 / 300, {}, {{"_KVTVIEW.PNG", Bytes(5000, 1)}}),
                0);
    }
    std::string out;
    ASSERT_EQ(RunCommand(std::string(kPython) + " " + Quote(script) + " " + Quote(path), &out), 0)
        << out;
    std::istringstream lines(out);
    std::string mode;
    int w = 0, h = 0, dpi_x = 0, dpi_y = 0;
    lines >> mode >> w >> h >> dpi_x >> dpi_y;
    EXPECT_EQ(mode, c.pillow_mode) << "format " << c.format << (c.bigtiff ? " BigTIFF" : "");
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(dpi_x, 600);
    EXPECT_EQ(dpi_y, 300);
    for (int y = 0; y < height; ++y) {
      std::string seen;
      lines >> seen;
      const Bytes stored = ExpectedStoredRow(rows[y], c.format, width, c.mode);
      std::string expected;
      for (int x = 0; x < width; ++x) expected += StoredInk(stored, c.format, x) ? '1' : '0';
      EXPECT_EQ(seen, expected) << "format " << c.format << " mode " << c.mode << " row " << y;
    }
  }
}

TEST(Tiffinfo, ReadsTheFileCleanly) {
  if (RunCommand("command -v tiffinfo >/dev/null") != 0) GTEST_SKIP() << "no tiffinfo";
  TempDir dir;
  const std::string path = dir.Path("t.tav");
  ASSERT_EQ(WriteTav(path, 2, 64, 0x11, 13, RandomRows(2, 13, 5, 3), 13 * 25.4 / 1200,
                     5 * 25.4 / 1200),
            0);
  std::string out;
  ASSERT_EQ(RunCommand("tiffinfo -D " + Quote(path) + " 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("Image Width: 13 Image Length: 5"), std::string::npos) << out;
  EXPECT_NE(out.find("Resolution: 1200, 1200 pixels/inch"), std::string::npos) << out;
  EXPECT_NE(out.find("Bits/Sample: 1"), std::string::npos) << out;
  EXPECT_NE(out.find("AdobeDeflate"), std::string::npos) << out;
  EXPECT_NE(out.find("min-is-white"), std::string::npos) << out;
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
}

// However large the tag directory, tiffinfo shows the tag as one number,
// and tiffdump shows the private IFD it points to as a valid IFD.
TEST(Tiffinfo, ShowsTheTagDirectoryAsOneNumber) {
  if (!HaveTool("tiffinfo") || !HaveTool("tiffdump")) GTEST_SKIP() << "no tiffinfo or tiffdump";
  for (const bool bigtiff : {false, true}) {
    SCOPED_TRACE(bigtiff ? "BigTIFF" : "TIFF");
    TempDir dir;
    const std::string path = dir.Path("large.tav");
    WriteWithLargeTag(path, bigtiff);
    std::string out;
    ASSERT_EQ(RunCommand("tiffinfo " + Quote(path) + " 2>&1", &out), 0) << out;
    EXPECT_LT(out.size(), 10000u);
    const uint64_t ifd = PrivateIfdOffset(path);
    char shown[64];
    std::snprintf(shown, sizeof shown, "Tag 65342: 0x%llx\n", static_cast<unsigned long long>(ifd));
    EXPECT_NE(out.find(shown), std::string::npos) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;

    ASSERT_EQ(RunCommand("tiffdump " + Quote(path) + " 2>&1", &out), 0) << out;
    EXPECT_LT(out.size(), 10000u);
    EXPECT_NE(out.find(bigtiff ? "65342 (0xff3e) IFD8 (18) 1<" : "65342 (0xff3e) IFD (13) 1<"),
              std::string::npos)
        << out;
    ASSERT_EQ(RunCommand("tiffdump -o " + std::to_string(ifd) + " " + Quote(path) + " 2>&1", &out),
              0)
        << out;
    EXPECT_NE(out.find("65342 (0xff3e) UNDEFINED (7) " +
                       std::to_string(ReadDirectoryTagWithLibtiff(path).size()) +
                       "<0x54 0x41 0x56 0x44 "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("next 0 (0)"), std::string::npos) << out;
  }
}

// tiffcp copies the pixels unchanged (and drops the TAV tags, as
// documented).
TEST(Tiffcp, CopiesThePixels) {
  if (!HaveTool("tiffcp") || !HaveTool("tiffcmp")) GTEST_SKIP() << "no tiffcp or tiffcmp";
  for (const bool bigtiff : {false, true}) {
    SCOPED_TRACE(bigtiff ? "BigTIFF" : "TIFF");
    TempDir dir;
    const std::string path = dir.Path("large.tav");
    const std::string copy = dir.Path("copy.tif");
    WriteWithLargeTag(path, bigtiff);
    std::string out;
    ASSERT_EQ(RunCommand("tiffcp " + Quote(path) + " " + Quote(copy) + " 2>&1", &out), 0) << out;
    EXPECT_EQ(RunCommand("tiffcmp " + Quote(path) + " " + Quote(copy) + " 2>&1", &out), 0) << out;
    EXPECT_EQ(ReadDirectoryTagWithLibtiff(copy), Bytes{});
  }
}

}  // namespace
}  // namespace tavtest
