// Round trips through the writer: rows and tags in, the same back through
// the reader and through plain libtiff, for every format, compression and
// awkward width, with mirror and reverse checked against a pixel model.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <ostream>
#include <string>
#include <tuple>

#include "tav.h"
#include "tav_layout.h"
#include "tav_test_support.h"

namespace tavtest {
namespace {

struct Codec {
  const char* name;
  int compression;
  int mode;
  uint16_t tiff_compression;
  const char* reader_name;
};

// Failure messages name the codec, not its bytes.
void PrintTo(const Codec& codec, std::ostream* out) { *out << codec.name; }

const Codec kCodecs[] = {
    {"none", 0, 0x11, COMPRESSION_NONE, "none"},
    {"packbits", 0, 0x51, COMPRESSION_PACKBITS, "PackBits"},
    {"deflate", 64, 0x11, COMPRESSION_ADOBE_DEFLATE, "Deflate"},
};

// Reads every row with plain libtiff and checks the fields a TIFF reader
// relies on.
std::vector<Bytes> ReadRowsWithLibtiff(const std::string& path, int width, int height, int bits,
                                       uint16_t compression, double x_res) {
  TIFF* tif = OpenTiffQuietly(path, "r");
  EXPECT_NE(tif, nullptr);
  if (tif == nullptr) return {};
  uint32_t w = 0, h = 0;
  uint16_t bps = 0, photometric = 99, fill = 0, comp = 0, unit = 0;
  float xr = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fill);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &comp);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr);
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  EXPECT_EQ(w, static_cast<uint32_t>(width));
  EXPECT_EQ(h, static_cast<uint32_t>(height));
  EXPECT_EQ(bps, bits);
  EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(fill, FILLORDER_MSB2LSB);
  EXPECT_EQ(comp, compression);
  EXPECT_EQ(unit, RESUNIT_INCH);
  EXPECT_NEAR(xr, x_res, x_res * 1e-5);
  std::vector<Bytes> rows(height, Bytes(static_cast<std::size_t>(TIFFScanlineSize(tif))));
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(TIFFReadScanline(tif, rows[y].data(), static_cast<uint32_t>(y), 0), 1);
  }
  TIFFClose(tif);
  return rows;
}

class FormatCodecWidth : public ::testing::TestWithParam<std::tuple<int, Codec, int>> {};

TEST_P(FormatCodecWidth, RowsAndTagsComeBackUnchanged) {
  const auto [format, codec, width] = GetParam();
  TempDir dir;
  const std::string path = dir.Path("page.tav");
  const int height = 5;
  const std::vector<Bytes> rows = RandomRows(format, width, height, 1000u + width);
  const double width_mm = width / 1200.0 * 25.4;
  const double height_mm = height / 2400.0 * 25.4;
  const std::vector<TagInput> before = {{"_KVT_XMP", {'<', 'x', '/', '>', 0}}};
  const std::vector<TagInput> after = {{"_KVT_RIPINFO0", {'a', 0, 'b', 0}}};

  ASSERT_EQ(WriteTav(path, format, codec.compression, codec.mode, width, rows, width_mm,
                     height_mm, before, after),
            0)
      << tav_lasterror();

  tav::TavReader reader(path);
  const tav::TavInfo& info = reader.Info();
  EXPECT_EQ(info.width, width);
  EXPECT_EQ(info.height, height);
  EXPECT_EQ(info.format, format);
  EXPECT_EQ(info.compression, codec.compression);
  EXPECT_EQ(info.mode, codec.mode);
  EXPECT_EQ(info.bits_per_sample, Bits(format));
  EXPECT_EQ(info.width_mm, width_mm);
  EXPECT_EQ(info.height_mm, height_mm);
  EXPECT_NEAR(info.x_resolution, 1200.0, 1e-2);
  EXPECT_NEAR(info.y_resolution, 2400.0, 1e-2);
  EXPECT_FALSE(info.bigtiff);
  EXPECT_EQ(info.tiff_compression, codec.reader_name);
  ASSERT_EQ(reader.RowBytes(), InputRowBytes(format, width));
  ASSERT_EQ(reader.Tags().size(), 2u);
  EXPECT_EQ(reader.Tags()[0].name, "_KVT_XMP");
  EXPECT_EQ(reader.Tags()[0].value, before[0].value);
  EXPECT_EQ(reader.Tags()[1].name, "_KVT_RIPINFO0");
  EXPECT_EQ(reader.Tags()[1].value, after[0].value);

  Bytes row(reader.RowBytes());
  for (int y = 0; y < height; ++y) {
    reader.ReadRow(y, row.data());
    EXPECT_EQ(row, ExpectedStoredRow(rows[y], format, width, codec.mode)) << "row " << y;
  }
  // Plain libtiff sees the same bytes, padding bits included.
  const std::vector<Bytes> plain =
      ReadRowsWithLibtiff(path, width, height, Bits(format), codec.tiff_compression, 1200.0);
  ASSERT_EQ(plain.size(), static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(plain[y], ExpectedStoredRow(rows[y], format, width, codec.mode)) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllCombinations, FormatCodecWidth,
    ::testing::Combine(::testing::Values(1, 2, 3), ::testing::ValuesIn(kCodecs),
                       ::testing::Values(1, 7, 8, 13, 33, 100)),
    [](const auto& info) {
      return "format" + std::to_string(std::get<0>(info.param)) + "_" +
             std::get<1>(info.param).name + "_width" + std::to_string(std::get<2>(info.param));
    });

class MirrorReverse : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(MirrorReverse, StoredPixelsFollowTheModel) {
  const auto [format, width, mode] = GetParam();
  TempDir dir;
  const std::string path = dir.Path("page.tav");
  const std::vector<Bytes> rows = RandomRows(format, width, 4, 7u * width + mode);
  ASSERT_EQ(WriteTav(path, format, 64, mode, width, rows, 10.0, 10.0), 0) << tav_lasterror();
  tav::TavReader reader(path);
  EXPECT_EQ(reader.Info().mode, mode);
  Bytes row(reader.RowBytes());
  for (int y = 0; y < 4; ++y) {
    reader.ReadRow(y, row.data());
    EXPECT_EQ(row, ExpectedStoredRow(rows[y], format, width, mode)) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(AllWidths, MirrorReverse,
                         ::testing::Combine(::testing::Values(2, 3),
                                            ::testing::Values(1, 7, 8, 9, 13, 16, 33, 100),
                                            ::testing::Values(0x02, 0x08, 0x0A, 0x5B)),
                         [](const auto& info) {
                           const int mode = std::get<2>(info.param);
                           return "format" + std::to_string(std::get<0>(info.param)) + "_width" +
                                  std::to_string(std::get<1>(info.param)) + "_mode" + std::to_string(mode) +
                                  ((mode & 0x02) ? "_mirrored" : "") + ((mode & 0x08) ? "_reversed" : "");
                         });

// Hand-worked pixels anchor the model: width 13 with only pixel 0 inked.
TEST(MirrorReverseExamples, SinglePixelMovesAsExpected) {
  TempDir dir;
  const std::vector<Bytes> rows = {{0x01, 0xE0}};  // pixel 0 ink, bits 13-15 are padding
  const struct {
    int mode;
    Bytes stored;
  } cases[] = {
      {0x00, {0x80, 0x00}},  // pixel 0
      {0x02, {0x00, 0x08}},  // mirrored: pixel 12
      {0x08, {0x7F, 0xF8}},  // reversed: every pixel but 0, padding stays clear
      {0x0A, {0xFF, 0xF0}},  // both: every pixel but 12
  };
  for (const auto& c : cases) {
    const std::string path = dir.Path(std::string("m") + std::to_string(c.mode) + ".tav");
    ASSERT_EQ(WriteTav(path, 2, 0, c.mode, 13, rows, 1.0, 1.0), 0);
    tav::TavReader reader(path);
    Bytes row(reader.RowBytes());
    reader.ReadRow(0, row.data());
    EXPECT_EQ(row, c.stored) << "mode " << c.mode;
  }
}

// Rows spanning several strips, read in and out of order.
TEST(Strips, ManyStripsReadInAnyOrder) {
  TempDir dir;
  const std::string path = dir.Path("tall.tav");
  const int width = 4000;  // 8-bit: 131 rows per strip
  const int height = 300;
  const std::vector<Bytes> rows = RandomRows(3, width, height, 42);
  ASSERT_EQ(WriteTav(path, 3, 64, 0x11, width, rows, 20.0, 2.0), 0) << tav_lasterror();

  TIFF* tif = OpenTiffQuietly(path, "r");
  ASSERT_NE(tif, nullptr);
  uint32_t rows_per_strip = 0;
  TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  EXPECT_EQ(rows_per_strip, tav::kStripTargetBytes / width);
  EXPECT_EQ(TIFFNumberOfStrips(tif), 3u);
  TIFFClose(tif);

  tav::TavReader reader(path);
  Bytes row(reader.RowBytes());
  for (int y = height - 1; y >= 0; y -= 7) {
    reader.ReadRow(y, row.data());
    ASSERT_EQ(row, rows[y]) << "row " << y;
  }
  for (int y = 0; y < height; ++y) {
    reader.ReadRow(y, row.data());
    ASSERT_EQ(row, rows[y]) << "row " << y;
  }
}

// The host's tags come back byte for byte, in order, duplicates included.
TEST(Tags, StoredByteForByte) {
  TempDir dir;
  const std::string path = dir.Path("tags.tav");
  Bytes png = {0x89, 'P', 'N', 'G', 0, 0, 0, 0x0D, 0xFF};
  Bytes big(100000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  const std::vector<TagInput> before = {{"_KVT_XMP", {'<', '?', 'x', 0}}};
  const std::vector<TagInput> after = {
      {"_KVTVIEW.PNG", png},
      {"_KVT_CAD_Cyan", {'1', 0}},
      {"empty", {}},
      {"_KVT_CAD_Cyan", {'2', 0}},
      {std::string(255, 'n'), big},
  };
  ASSERT_EQ(WriteTav(path, 2, 64, 0x11, 8, RandomRows(2, 8, 2, 1), 1.0, 1.0, before, after), 0);

  tav::TavReader reader(path);
  std::vector<TagInput> all = before;
  all.insert(all.end(), after.begin(), after.end());
  ASSERT_EQ(reader.Tags().size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(reader.Tags()[i].name, all[i].name) << i;
    EXPECT_EQ(reader.Tags()[i].value, all[i].value) << i;
  }
  ASSERT_NE(reader.FindTag("_KVT_CAD_Cyan"), nullptr);
  EXPECT_EQ(reader.FindTag("_KVT_CAD_Cyan")->value, (Bytes{'1', 0}));
  EXPECT_EQ(reader.FindTag("absent"), nullptr);

  // The private tag holds exactly the documented layout.
  EXPECT_EQ(ReadDirectoryTagWithLibtiff(path), EncodeDirectory(2, 64, 0x11, 1.0, 1.0, all));
}

// The directory bytes of a small file, spelled out as in the format document.
TEST(Tags, DirectoryMatchesTheDocumentedExample) {
  TempDir dir;
  const std::string path = dir.Path("example.tav");
  ASSERT_EQ(WriteTav(path, 2, 0, 0x51, 8, {{0}}, 10.0, 20.0, {}, {{"A", {'h', 'i', 0}}}), 0);
  const Bytes expected = {
      0x54, 0x41, 0x56, 0x44, 0x01, 0x00, 0x28, 0x00, 0x02, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x51, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x40, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x34, 0x40, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x41, 0x68,
      0x69, 0x00};
  EXPECT_EQ(ReadDirectoryTagWithLibtiff(path), expected);
}

// Tags given in the middle of the rows are kept as well.
TEST(Tags, AcceptedBetweenRows) {
  TempDir dir;
  const std::string path = dir.Path("mid.tav");
  const std::vector<Bytes> rows = RandomRows(1, 16, 3, 5);
  TavFile* f = tav_fopenw(path.c_str(), 1, 0, 0x11, 3, 16, 1.0, 1.0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(tav_putrow(f, 0, rows[0].data()), 0);
  EXPECT_EQ(tav_puttag(f, "middle", 3, "abc"), 0);
  EXPECT_EQ(tav_putrow(f, 1, rows[1].data()), 0);
  EXPECT_EQ(tav_putrow(f, 2, rows[2].data()), 0);
  ASSERT_EQ(tav_fclose(f), 0);
  tav::TavReader reader(path);
  ASSERT_NE(reader.FindTag("middle"), nullptr);
  EXPECT_EQ(reader.FindTag("middle")->value, (Bytes{'a', 'b', 'c'}));
}

}  // namespace
}  // namespace tavtest
