// resample_test.cpp - contone images placed on the page and resampled to
// the device resolution while they stream: placement rules, bilinear
// enlarging, box reducing, rows read once in order, 16-bit ink kept, and
// the resolution fields of TIFF and PNG files.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <tuple>
#include <vector>

#include "common/bitrow.h"
#include "screening/placement.h"
#include "screening/resampler.h"
#include "sources/contone_source.h"
#include "sources/image_reader.h"
#include "image_files.h"
#include "test_support.h"

namespace {

using riphost::ContonePlacement;
using riphost::PlacedImage;
using riphost::Resampler;
using riphost_test::TempDir;

// A placement, the image's pixels and file resolution, and what it gives.
struct PlacementCase {
  ContonePlacement given;
  int columns, rows;
  double file_x_ppi, file_y_ppi;
  PlacedImage expected;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, SizesFollowFromWhatIsGiven) {
  const PlacementCase& c = GetParam();
  const PlacedImage placed =
      riphost::place_image(c.given, c.columns, c.rows, c.file_x_ppi, c.file_y_ppi, 2400.0);
  EXPECT_NEAR(placed.x, c.expected.x, 1e-9);
  EXPECT_NEAR(placed.y, c.expected.y, 1e-9);
  EXPECT_NEAR(placed.scale_x, c.expected.scale_x, 1e-9);
  EXPECT_NEAR(placed.scale_y, c.expected.scale_y, 1e-9);
}

ContonePlacement placement(double ppi, double x, double y, double width, double height, bool mm) {
  ContonePlacement p;
  p.ppi = ppi, p.x = x, p.y = y, p.width = width, p.height = height, p.millimetres = mm;
  return p;
}

PlacedImage placed(double x, double y, double sx, double sy) {
  PlacedImage p;
  p.x = x, p.y = y, p.scale_x = sx, p.scale_y = sy;
  return p;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PlacementTest,
    ::testing::Values(
        // Nothing given and no file resolution: one image pixel per device pixel.
        PlacementCase{{}, 100, 50, 0, 0, placed(0, 0, 1, 1)},
        // The file's resolution, then the ticket's over it.
        PlacementCase{{}, 100, 50, 300, 600, placed(0, 0, 8, 4)},
        PlacementCase{placement(1200, 0, 0, 0, 0, false), 100, 50, 300, 600, placed(0, 0, 2, 2)},
        // Position and size in millimetres (25.4 mm = 2400 pixels).
        PlacementCase{placement(0, 25.4, 12.7, 50.8, 0, true), 100, 50, 0, 0, placed(2400, 1200, 48, 48)},
        // One side given keeps the shape, also for pixels that are not square.
        PlacementCase{placement(0, 0, 0, 0, 1000, false), 100, 50, 300, 600, placed(0, 0, 40, 20)},
        PlacementCase{placement(0, -7, 3, 500, 100, false), 100, 50, 0, 0, placed(-7, 3, 5, 2)}));

// An image of columns x rows whose ink is value(c, r), read row by row.
struct Image {
  int columns, rows;
  std::vector<std::uint16_t> ink;
  int reads = 0;
  Resampler::ReadRow reader() {
    return [this](std::uint16_t* row) {
      ASSERT_LT(reads, rows) << "a row read twice or beyond the image";
      std::copy(ink.begin() + reads * columns, ink.begin() + (reads + 1) * columns, row);
      ++reads;
    };
  }
};

TEST(ResamplerTest, EnlargesBilinearlyBetweenPixelCentres) {
  // Two pixels, 0 and full ink, 8 times larger: the middle columns blend.
  Image image{2, 1, {0, 65535}};
  PlacedImage p = placed(4, 2, 8, 8);
  p.columns = 2, p.rows = 1;
  Resampler resampler(p, 30, image.reader());
  std::vector<std::uint16_t> row(30);
  for (long long y = 0; y < 12; ++y) {
    resampler.row(y, row.data());
    const bool inside = y >= 2 && y < 10;
    for (int x = 0; x < 30; ++x) {
      if (!inside || x < 4 || x >= 20) {
        ASSERT_EQ(row[x], 0) << x << "," << y;
        continue;
      }
      // Device pixel x's centre is image position (x + 0.5 - 4) / 8; the
      // pixel centres are at 0.5 and 1.5, clamped beyond.
      const double at = std::clamp((x + 0.5 - 4) / 8 - 0.5, 0.0, 1.0);
      EXPECT_NEAR(row[x], at * 65535, 1.0) << x;
    }
  }
  EXPECT_EQ(image.reads, 1);
}

TEST(ResamplerTest, ReducesByAveragingWhatEachPixelCovers) {
  // 12 x 8 image pixels onto 3 x 2 device pixels: 4 x 4 blocks averaged.
  Image image{12, 8, {}};
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 12; ++c) image.ink.push_back(static_cast<std::uint16_t>((r * 12 + c) * 500));
  }
  PlacedImage p = placed(0, 0, 0.25, 0.25);
  p.columns = 12, p.rows = 8;
  Resampler resampler(p, 3, image.reader());
  std::vector<std::uint16_t> row(3);
  for (int y = 0; y < 2; ++y) {
    resampler.row(y, row.data());
    for (int x = 0; x < 3; ++x) {
      double sum = 0;
      for (int r = 4 * y; r < 4 * y + 4; ++r) {
        for (int c = 4 * x; c < 4 * x + 4; ++c) sum += image.ink[r * 12 + c];
      }
      EXPECT_NEAR(row[x], sum / 16, 1.0) << x << "," << y;
    }
  }
  EXPECT_EQ(image.reads, 8);
}

TEST(ResamplerTest, ReadsEveryRowOnceInOrderWhereverTheImageLies) {
  // Above the page's top, off its left edge, below its bottom; enlarged by
  // 2.5 and reduced by 3: rows are read once each, in order, and no more
  // than the page needs.
  for (const auto& [y0, scale] : {std::pair{-7.0, 2.5}, {5.0, 1.0 / 3}, {-10.0, 1.0 / 3}, {90.0, 2.5}}) {
    Image image{40, 60, std::vector<std::uint16_t>(40 * 60, 1000)};
    PlacedImage p = placed(-3, y0, scale, scale);
    p.columns = 40, p.rows = 60;
    Resampler resampler(p, 50, image.reader());
    std::vector<std::uint16_t> row(50);
    for (long long y = 0; y < 100; ++y) resampler.row(y, row.data());
    const double last = std::min(100.0, y0 + 60 * scale);  // the page rows the image reaches
    EXPECT_LE(image.reads, 60);
    EXPECT_GE(image.reads, std::min(60.0, std::floor((last - y0) / scale) - 1)) << y0 << " " << scale;
  }
}

// Writes a grey TIFF of bits (8 or 16) with resolution ppi (0: none).
void write_grey_tiff(const std::filesystem::path& file, int width, int height, int bits, double ppi,
                     std::uint16_t grey) {
  TIFF* tif = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
  if (ppi > 0) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(ppi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(ppi));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  std::vector<std::uint8_t> line(static_cast<std::size_t>(width) * bits / 8);
  for (int x = 0; x < width; ++x) {
    if (bits == 16) {
      std::memcpy(line.data() + 2 * x, &grey, 2);
    } else {
      line[x] = static_cast<std::uint8_t>(grey >> 8);
    }
  }
  for (int y = 0; y < height; ++y) TIFFWriteScanline(tif, line.data(), y, 0);
  TIFFClose(tif);
}

// Screens the contone image on a width x height page at 2400 ppi; the ink
// pixels' count and bounding box.
struct Screened {
  long set = 0;
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Screened screen_image(const std::filesystem::path& file, int width, int height) {
  riphost::ContentSource content;
  content.kind = riphost::ContentSource::Kind::Contone;
  content.image = file;
  content.image_text = file.filename().string();
  riphost::SelectedScreen screen;
  screen.spec.name = "k";
  auto source = riphost::make_contone(content, width, height, 2400, {screen});
  std::vector<std::uint8_t> row(riphost::row_bytes(width));
  Screened s;
  for (int y = 0; y < height; ++y) {
    source->next_row(row.data());
    for (int x = 0; x < width; ++x) {
      if (!riphost::pixel_at(row.data(), x)) continue;
      ++s.set;
      s.left = std::min(s.left, x), s.right = std::max(s.right, x);
      s.top = std::min(s.top, y), s.bottom = std::max(s.bottom, y);
    }
  }
  return s;
}

TEST(ContoneImageTest, A300PpiImageFillsItsAreaOnA2400PpiPage) {
  TempDir dir;
  // 30 x 20 pixels at 300 ppi of 50 % ink: 240 x 160 device pixels.
  write_grey_tiff(dir / "half.tif", 30, 20, 8, 300, 0x8000);
  const Screened s = screen_image(dir / "half.tif", 400, 300);
  EXPECT_EQ(s.left, 0);
  EXPECT_EQ(s.top, 0);
  EXPECT_GE(s.right, 232);
  EXPECT_LT(s.right, 240);
  EXPECT_GE(s.bottom, 152);
  EXPECT_LT(s.bottom, 160);
  EXPECT_NEAR(s.set / (240.0 * 160.0), 127.0 / 255.0, 0.01);
}

TEST(ContoneImageTest, SixteenBitInkKeepsItsSixteenBits) {
  TempDir dir;
  // Grey 65535 - 120: ink 120 / 65535 (0.18 %), 0 once cut to 8 bits.
  write_grey_tiff(dir / "deep.tif", 256, 256, 16, 0, 65535 - 120);
  auto reader = riphost::open_contone(dir / "deep.tif", 0);
  EXPECT_TRUE(reader->deep());
  std::vector<std::uint16_t> ink(256);
  reader->read_ink16(ink.data(), 256);
  EXPECT_EQ(ink[0], 120);
  const Screened s = screen_image(dir / "deep.tif", 256, 256);
  EXPECT_NEAR(s.set / (256.0 * 256.0), 120.0 / 65535.0, 0.0005);
  EXPECT_GT(s.set, 0);
}

// 16-bit PNGs of every colour type keep their 16 bits: a row whose grey
// falls by one step of 65535 a pixel (ink 0 to 255 of 65535, all 0 once cut
// to 8 bits), with alpha where the type has it.
struct DeepPng {
  const char* name;
  int color_type;
  int samples;
  std::uint16_t alpha;
};

class DeepPngTest : public ::testing::TestWithParam<DeepPng> {};

TEST_P(DeepPngTest, InkKeepsTheLevelsBelowEightBits) {
  const DeepPng& c = GetParam();
  TempDir dir;
  constexpr int kSide = 256;
  riphost_test::SampleRows rows(kSide);
  for (auto& row : rows) {
    for (int x = 0; x < kSide; ++x) {
      const auto grey = static_cast<std::uint16_t>(65535 - x);
      for (int s = 0; s < c.samples; ++s) {
        const bool alpha = (c.samples == 2 && s == 1) || (c.samples == 4 && s == 3);
        const std::uint16_t value = alpha ? c.alpha : grey;
        row.push_back(static_cast<std::uint8_t>(value >> 8));  // big-endian
        row.push_back(static_cast<std::uint8_t>(value & 0xFF));
      }
    }
  }
  const auto file = dir / "deep.png";
  ASSERT_TRUE(riphost_test::write_png(file, kSide, kSide, c.color_type, 16, false, rows));
  auto reader = riphost::open_contone(file, 0);
  EXPECT_TRUE(reader->deep());
  std::vector<std::uint16_t> ink(kSide);
  reader->read_ink16(ink.data(), kSide);
  for (int x = 0; x < kSide; ++x) {
    // Laid over white: ink scaled by the coverage.
    const double expected = x * (c.alpha / 65535.0);
    ASSERT_NEAR(ink[x], expected, 1.0) << x;
  }
  // The 8-bit ink of the next row: the high bytes, as before.
  std::vector<std::uint8_t> ink8(kSide);
  reader->read_ink(ink8.data(), kSide);
  EXPECT_LE(*std::max_element(ink8.begin(), ink8.end()), c.alpha == 65535 ? 0 : 128);
  if (c.alpha == 65535) {
    // Screened: the mean ink of the row, 127.5 / 65535 (0.19 %), not 0.
    const Screened s = screen_image(file, kSide, kSide);
    EXPECT_NEAR(s.set / (256.0 * 256.0), 127.5 / 65535.0, 0.0005);
    EXPECT_GT(s.set, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(ColourTypes, DeepPngTest,
                         ::testing::Values(DeepPng{"Grey", PNG_COLOR_TYPE_GRAY, 1, 65535},
                                           DeepPng{"GreyAlpha", PNG_COLOR_TYPE_GRAY_ALPHA, 2, 65535},
                                           DeepPng{"HalfCovered", PNG_COLOR_TYPE_GRAY_ALPHA, 2, 32768},
                                           DeepPng{"Rgb", PNG_COLOR_TYPE_RGB, 3, 65535},
                                           DeepPng{"Rgba", PNG_COLOR_TYPE_RGB_ALPHA, 4, 65535}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContoneImageTest, ResolutionFieldsOfTiffAndPngAreRead) {
  TempDir dir;
  write_grey_tiff(dir / "r.tif", 4, 4, 8, 600, 0);
  EXPECT_DOUBLE_EQ(riphost::open_contone(dir / "r.tif", 0)->x_ppi(), 600.0);
  write_grey_tiff(dir / "none.tif", 4, 4, 8, 0, 0);
  EXPECT_EQ(riphost::open_contone(dir / "none.tif", 0)->x_ppi(), 0.0);
  // A PNG whose pHYs says 11811 pixels per metre (300 ppi).
  std::FILE* f = std::fopen((dir / "r.png").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, 4, 2, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_byte line[4] = {0, 64, 128, 255};
  png_write_row(png, line);
  png_write_row(png, line);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  EXPECT_NEAR(riphost::open_contone(dir / "r.png", 0)->x_ppi(), 300.0, 0.01);
}

}  // namespace
