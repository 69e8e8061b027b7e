// render_test.cpp - rows as the plug-in receives them: bit order, padding,
// clipping, the patterns, and the PBM, PNG and TIFF readers.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include <zlib.h>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "image_files.h"
#include "sources/image_reader.h"
#include "sources/row_source.h"
#include "test_support.h"

namespace {

using riphost::ContentSource;
using riphost_test::SampleRows;
using riphost_test::TempDir;
using Rows = std::vector<std::vector<std::uint8_t>>;

constexpr std::uint8_t kGuard = 0xC3;

// Renders every row of a source into rows of row_bytes(width) bytes, each
// followed by guard bytes that must stay untouched, and started from garbage.
Rows render(const ContentSource& content, int width, int height) {
  std::unique_ptr<riphost::RowSource> source = riphost::make_row_source(content, width, height);
  std::size_t bytes = riphost::row_bytes(width);
  Rows rows;
  std::vector<std::uint8_t> buffer(bytes + 8);
  for (int y = 0; y < height; ++y) {
    std::memset(buffer.data(), 0x5A, bytes);
    std::memset(buffer.data() + bytes, kGuard, 8);
    source->next_row(buffer.data());
    for (std::size_t i = bytes; i < bytes + 8; ++i) EXPECT_EQ(buffer[i], kGuard) << "row " << y << " overflows";
    rows.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytes));
  }
  return rows;
}

// True when no bit at or after pixel width is set.
bool padding_clear(const std::vector<std::uint8_t>& row, int width) {
  for (std::size_t x = static_cast<std::size_t>(width); x < row.size() * 8; ++x) {
    if (riphost::pixel_at(row.data(), static_cast<int>(x))) return false;
  }
  return true;
}

ContentSource pattern(const std::string& name, std::vector<std::pair<std::string, int>> parameters = {}) {
  ContentSource content;
  content.kind = ContentSource::Kind::Pattern;
  content.pattern = name;
  content.parameters = std::move(parameters);
  return content;
}

ContentSource image(const std::filesystem::path& file, int threshold = 128) {
  ContentSource content;
  content.kind = ContentSource::Kind::Image;
  content.image = file;
  content.image_text = file.filename().string();
  content.threshold = threshold;
  return content;
}

TEST(BitRowTest, SpansMatchPixelByPixelFilling) {
  EXPECT_EQ(riphost::row_bytes(1), 4u);
  EXPECT_EQ(riphost::row_bytes(32), 4u);
  EXPECT_EQ(riphost::row_bytes(33), 8u);
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    int width = 1 + static_cast<int>(random() % 150);
    std::vector<std::uint8_t> row(riphost::row_bytes(width), 0);
    std::vector<bool> expected(static_cast<std::size_t>(width), false);
    for (int op = 0; op < 6; ++op) {
      int x0 = static_cast<int>(random() % (width + 1));
      int x1 = static_cast<int>(random() % (width + 1));
      bool set = random() % 2;
      if (set) {
        riphost::set_span(row.data(), x0, x1);
      } else {
        riphost::clear_span(row.data(), x0, x1);
      }
      for (int x = x0; x < x1; ++x) expected[static_cast<std::size_t>(x)] = set;
    }
    for (int x = 0; x < width; ++x) ASSERT_EQ(riphost::pixel_at(row.data(), x), expected[static_cast<std::size_t>(x)]);
    ASSERT_TRUE(padding_clear(row, width));
  }
  std::vector<std::uint8_t> full(8, 0xFF);
  riphost::clear_tail(full.data(), 11, full.size());
  EXPECT_EQ(full, (std::vector<std::uint8_t>{0xFF, 0x07, 0, 0, 0, 0, 0, 0}));
}

TEST(PatternTest, PatternsAreDeterministicAndInBounds) {
  for (const char* name : {"checker", "bars", "ramp", "target"}) {
    for (auto [width, height] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{130, 90}}) {
      Rows first = render(pattern(name), width, height);
      Rows second = render(pattern(name), width, height);
      EXPECT_EQ(first, second) << name;
      for (const auto& row : first) EXPECT_TRUE(padding_clear(row, width)) << name << " " << width;
    }
  }
}

TEST(PatternTest, PatternsDrawWhatTheyPromise) {
  Rows checker = render(pattern("checker", {{"cell", 3}}), 20, 9);
  Rows bars = render(pattern("bars", {{"bar", 5}}), 33, 2);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(riphost::pixel_at(checker[y].data(), x), ((x / 3 + y / 3) % 2) == 0);
  }
  for (int x = 0; x < 33; ++x) ASSERT_EQ(riphost::pixel_at(bars[1].data(), x), (x / 5) % 2 == 0);

  // The ramp goes from no ink on the left to full ink on the right.
  Rows ramp = render(pattern("ramp"), 200, 16);
  int left = 0;
  int right = 0;
  for (const auto& row : ramp) {
    left += riphost::pixel_at(row.data(), 0);
    right += riphost::pixel_at(row.data(), 199);
  }
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 16);

  // The target is not its own mirror image (the "F" shows the orientation).
  Rows target = render(pattern("target", {{"ring", 6}}), 120, 120);
  bool asymmetric = false;
  for (const auto& row : target) {
    for (int x = 0; x < 120 && !asymmetric; ++x) {
      asymmetric = riphost::pixel_at(row.data(), x) != riphost::pixel_at(row.data(), 119 - x);
    }
  }
  EXPECT_TRUE(asymmetric);
}

TEST(PbmTest, BitOrderClippingAndBlankOutside) {
  TempDir dir;
  // Ink at (0,0), (9,0), (12,1) and the whole of row 2.
  auto ink = [](int x, int y) { return (y == 0 && (x == 0 || x == 9)) || (y == 1 && x == 12) || y == 2; };
  riphost_test::write_file(dir / "a.pbm", riphost_test::make_pbm(13, 3, ink));
  Rows rows = render(image(dir / "a.pbm"), 40, 5);
  EXPECT_EQ(rows[0], (std::vector<std::uint8_t>{0x01, 0x02, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rows[1], (std::vector<std::uint8_t>{0x00, 0x10, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rows[2], (std::vector<std::uint8_t>{0xFF, 0x1F, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rows[3], std::vector<std::uint8_t>(8, 0));
  EXPECT_EQ(rows[4], std::vector<std::uint8_t>(8, 0));

  // A page narrower than the image clips it.
  Rows clipped = render(image(dir / "a.pbm"), 10, 3);
  EXPECT_EQ(clipped[0], (std::vector<std::uint8_t>{0x01, 0x02, 0, 0}));
  EXPECT_EQ(clipped[2], (std::vector<std::uint8_t>{0xFF, 0x03, 0, 0}));

  // The plain form (with a comment) gives the same rows.
  riphost_test::write_file(dir / "p.pbm", "P1\n# comment\n13 3\n"
                                          "1 0 0 0 0 0 0 0 0 1 0 0 0\n0000000000001\n1111111111111\n");
  EXPECT_EQ(render(image(dir / "p.pbm"), 40, 5), rows);
}

TEST(PbmTest, DamagedFilesAreReported) {
  TempDir dir;
  riphost_test::write_file(dir / "short.pbm", "P4\n16 4\n\x01\x02");
  EXPECT_THROW(render(image(dir / "short.pbm"), 16, 4), riphost::HostError);
  riphost_test::write_file(dir / "huge.pbm", "P4\n99999999999 1\n");
  EXPECT_THROW(riphost::make_row_source(image(dir / "huge.pbm"), 8, 8), riphost::HostError);
  riphost_test::write_file(dir / "grey.pgm", "P5\n1 1\n255\n\x10");
  try {
    riphost::make_row_source(image(dir / "grey.pgm"), 8, 8);
    FAIL() << "a PGM was taken";
  } catch (const riphost::HostError& error) {
    EXPECT_STREQ(error.what(), "grey.pgm: only bilevel netpbm images (PBM, P1 or P4) are supported");
  }
}

TEST(PngTest, GreyColourAndBilevelImagesAreRead) {
  TempDir dir;
  // 8-bit grey: value 20 * x; threshold 100 makes x < 5 ink.
  SampleRows grey(2, std::vector<std::uint8_t>(12));
  for (auto& row : grey) {
    for (int x = 0; x < 12; ++x) row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(20 * x);
  }
  ASSERT_TRUE(riphost_test::write_png(dir / "g.png", 12, 2, PNG_COLOR_TYPE_GRAY, 8, false, grey));
  Rows rows = render(image(dir / "g.png", 100), 12, 2);
  EXPECT_EQ(rows[1], (std::vector<std::uint8_t>{0x1F, 0x00, 0, 0}));

  // RGBA: black opaque, black transparent, white opaque, red opaque (luminance 76).
  SampleRows rgba = {{0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 255}};
  ASSERT_TRUE(riphost_test::write_png(dir / "c.png", 4, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, rgba));
  EXPECT_EQ(render(image(dir / "c.png"), 4, 1)[0], (std::vector<std::uint8_t>{0x09, 0, 0, 0}));

  // 1-bit grey: 0 is black, which is ink whatever the threshold.
  SampleRows bilevel = {{0x5F, 0x80}};  // 0101 1111 1
  ASSERT_TRUE(riphost_test::write_png(dir / "b.png", 9, 1, PNG_COLOR_TYPE_GRAY, 1, false, bilevel));
  EXPECT_EQ(render(image(dir / "b.png", 0), 9, 1)[0], (std::vector<std::uint8_t>{0x05, 0x00, 0, 0}));
}

TEST(PngTest, InterlacedImagesAreRefused) {
  TempDir dir;
  SampleRows grey(4, std::vector<std::uint8_t>(4, 0));
  ASSERT_TRUE(riphost_test::write_png(dir / "i.png", 4, 4, PNG_COLOR_TYPE_GRAY, 8, true, grey));
  try {
    riphost::make_row_source(image(dir / "i.png"), 4, 4);
    FAIL() << "an interlaced PNG was taken";
  } catch (const riphost::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("interlaced PNG images are not supported"), std::string::npos);
  }
}

// The message open_image refuses file with ("" when it opens it).
std::string refusal(const std::filesystem::path& file) {
  try {
    riphost::open_image(file, 128);
    return "";
  } catch (const riphost::HostError& error) {
    return error.what();
  }
}

// Opens file in a child process; the child's peak resident size grows by
// less than limit_kib and the file is refused: true.
bool refused_within(const std::filesystem::path& file, long limit_kib) {
  pid_t child = fork();
  if (child == 0) {
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    bool refused = !refusal(file).empty();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    _exit(refused && after.ru_maxrss - before.ru_maxrss < limit_kib ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(PngTest, HostileHeadersAreRefusedAtOnceAndChunksWeDoNotUseAreSkipped) {
  using riphost_test::kPngSignature;
  using riphost_test::png_chunk;
  using riphost_test::png_idat;
  using riphost_test::png_ihdr;
  TempDir dir;
  const std::string head = kPngSignature + png_ihdr(8, 2, 8, PNG_COLOR_TYPE_GRAY);
  // Two grey rows: black on the left half, white on the right.
  std::string rows;
  for (int y = 0; y < 2; ++y) rows += std::string(1, '\0') + std::string(4, '\0') + std::string(4, '\xff');
  const std::string tail = png_idat(rows) + png_chunk("IEND", "");

  // Text chunks that claim 2 GiB, in a file of about 140 bytes: refused
  // without the allocation the claim asks for (which took seconds).
  for (const char* type : {"tEXt", "zTXt", "iTXt", "prVt"}) {
    SCOPED_TRACE(type);
    std::string bytes = head + png_chunk(type, std::string("Comment\0", 8) + std::string(60, 'x'), 0x7FFFFFFF);
    riphost_test::write_file(dir / "hostile.png", bytes);
    EXPECT_TRUE(refused_within(dir / "hostile.png", 64 * 1024));
    EXPECT_NE(refusal(dir / "hostile.png").find("chunk data is too large"), std::string::npos)
        << refusal(dir / "hostile.png");
  }

  // Text, a compressed text bomb, a colour profile and a private chunk in a
  // sound file are skipped; the image reads as it should.
  std::string bomb(1 << 20, '\0');
  uLongf packed_size = compressBound(static_cast<uLong>(bomb.size()));
  std::string packed(packed_size, '\0');
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                     reinterpret_cast<const Bytef*>(bomb.data()), static_cast<uLong>(bomb.size())),
            Z_OK);
  packed.resize(packed_size);
  std::string sound = head + png_chunk("tEXt", std::string("Title\0page", 10)) +
                      png_chunk("zTXt", std::string("Comment\0\0", 9) + packed) +
                      png_chunk("iCCP", std::string("icc\0\0", 5) + packed) + png_chunk("prVt", "private") + tail;
  riphost_test::write_file(dir / "sound.png", sound);
  Rows read = render(image(dir / "sound.png"), 8, 2);
  EXPECT_EQ(read, (Rows{{0x0F, 0, 0, 0}, {0x0F, 0, 0, 0}}));

  // An image wider than libpng may hold a few rows of is refused from its header.
  riphost_test::write_file(dir / "wide.png", kPngSignature + png_ihdr(1u << 21, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA) + tail);
  EXPECT_TRUE(refused_within(dir / "wide.png", 64 * 1024));
  EXPECT_NE(refusal(dir / "wide.png").find("bad PNG: "), std::string::npos) << refusal(dir / "wide.png");
}

TEST(TiffTest, GreyBilevelAndColourImagesAreRead) {
  TempDir dir;
  SampleRows grey = {{0, 50, 100, 150, 200, 250, 10, 255, 0}};
  ASSERT_TRUE(riphost_test::write_tiff(dir / "g.tif", 9, 1, 8, 1, PHOTOMETRIC_MINISBLACK, grey));
  EXPECT_EQ(render(image(dir / "g.tif", 120), 9, 1)[0], (std::vector<std::uint8_t>{0x47, 0x01, 0, 0}));
  // MinIsWhite inverts: 0 is white.
  ASSERT_TRUE(riphost_test::write_tiff(dir / "w.tif", 9, 1, 8, 1, PHOTOMETRIC_MINISWHITE, grey));
  EXPECT_EQ(render(image(dir / "w.tif", 120), 9, 1)[0], (std::vector<std::uint8_t>{0xB8, 0x00, 0, 0}));

  // 1 bit: MinIsWhite 1 is black (ink), MinIsBlack 0 is.
  SampleRows bits = {{0xC1, 0x00}, {0x00, 0x80}};
  ASSERT_TRUE(riphost_test::write_tiff(dir / "bw.tif", 10, 2, 1, 1, PHOTOMETRIC_MINISWHITE, bits));
  Rows white = render(image(dir / "bw.tif"), 10, 2);
  EXPECT_EQ(white[0], (std::vector<std::uint8_t>{0x83, 0x00, 0, 0}));
  EXPECT_EQ(white[1], (std::vector<std::uint8_t>{0x00, 0x01, 0, 0}));
  ASSERT_TRUE(riphost_test::write_tiff(dir / "bb.tif", 10, 2, 1, 1, PHOTOMETRIC_MINISBLACK, bits));
  Rows black = render(image(dir / "bb.tif"), 10, 2);
  EXPECT_EQ(black[0], (std::vector<std::uint8_t>{0x7C, 0x03, 0, 0}));
  EXPECT_EQ(black[1], (std::vector<std::uint8_t>{0xFF, 0x02, 0, 0}));

  // RGB: black, white, dark blue (luminance 29), yellow (226).
  SampleRows rgb = {{0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0}};
  ASSERT_TRUE(riphost_test::write_tiff(dir / "c.tif", 4, 1, 8, 3, PHOTOMETRIC_RGB, rgb));
  EXPECT_EQ(render(image(dir / "c.tif"), 4, 1)[0], (std::vector<std::uint8_t>{0x05, 0, 0, 0}));
}

// Packs samples of bits bits most significant first, as TIFF stores them.
std::vector<std::uint8_t> pack_samples(const std::vector<unsigned>& samples, int bits) {
  std::vector<std::uint8_t> packed((samples.size() * static_cast<std::size_t>(bits) + 7) / 8, 0);
  std::size_t bit = 0;
  for (unsigned sample : samples) {
    for (int k = bits - 1; k >= 0; --k, ++bit) {
      if ((sample >> k) & 1u) packed[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    }
  }
  return packed;
}

TEST(TiffTest, PalettesOfEveryDepthAreRead) {
  // The colour map is a grey ramp: an entry below half of the map is darker
  // than the threshold (128), so ink. Odd depths have samples that straddle
  // byte boundaries.
  TempDir dir;
  constexpr int kWidth = 21;
  for (int bits = 1; bits <= 8; ++bits) {
    unsigned entries = 1u << bits;
    SampleRows rows;
    std::vector<std::vector<bool>> ink;
    for (int y = 0; y < 2; ++y) {
      std::vector<unsigned> samples;
      std::vector<bool> row_ink;
      for (int x = 0; x < kWidth; ++x) {
        unsigned value = static_cast<unsigned>((x * 37 + 11) * (x + 3 + y)) % entries;
        samples.push_back(value);
        row_ink.push_back(value < entries / 2);
      }
      rows.push_back(pack_samples(samples, bits));
      ink.push_back(row_ink);
    }
    std::filesystem::path file = dir / ("p" + std::to_string(bits) + ".tif");
    ASSERT_TRUE(riphost_test::write_tiff(file, kWidth, 2, bits, 1, PHOTOMETRIC_PALETTE, rows));
    Rows rendered = render(image(file), kWidth, 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        ASSERT_EQ(riphost::pixel_at(rendered[y].data(), x), ink[y][x]) << bits << " bits, pixel " << x << ", row " << y;
      }
    }
  }
}

TEST(TiffTest, SamplesBeyondColourAndAlphaAreRefused) {
  TempDir dir;
  auto refusal = [&](const std::string& name) -> std::string {
    try {
      riphost::make_row_source(image(dir / name), 8, 1);
    } catch (const riphost::HostError& error) {
      return error.what();
    }
    return "taken";
  };
  // 40 samples of 16 bits over 16777216 pixels: a scanline of 1.3 GB, which
  // must be refused from the header alone.
  riphost_test::write_file(dir / "wide.tif",
                           riphost_test::tiff_header_only(1u << 24, 1, 40, 16, PHOTOMETRIC_MINISBLACK));
  EXPECT_EQ(refusal("wide.tif"),
            "wide.tif: TIFF images with 40 samples per pixel are not supported here (at most 2: the colour samples "
            "and one alpha sample)");
  riphost_test::write_file(dir / "rgb5.tif", riphost_test::tiff_header_only(8, 1, 5, 8, PHOTOMETRIC_RGB));
  EXPECT_NE(refusal("rgb5.tif").find("TIFF images with 5 samples per pixel are not supported"), std::string::npos);
  // Colour and one alpha sample are fine.
  riphost_test::write_file(dir / "rgba.tif", riphost_test::tiff_header_only(8, 1, 4, 8, PHOTOMETRIC_RGB));
  EXPECT_EQ(refusal("rgba.tif"), "taken");
}

TEST(TiffTest, TiledImagesAreRefused) {
  TempDir dir;
  ASSERT_TRUE(riphost_test::write_tiff(dir / "t.tif", 32, 32, 8, 1, PHOTOMETRIC_MINISBLACK, {}, true));
  try {
    riphost::make_row_source(image(dir / "t.tif"), 32, 32);
    FAIL() << "a tiled TIFF was taken";
  } catch (const riphost::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("t.tif: tiled TIFF images are not supported"), std::string::npos);
  }
}

}  // namespace

namespace riphost {
namespace {

// The word-at-a-time unpacking against a pixel-by-pixel reading, for every
// width up to a few words, both polarities, with garbage past the last pixel.
TEST(BitRow, UnpackMsbFirstMatchesPixelByPixel) {
  std::vector<std::uint8_t> packed(40);
  for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<std::uint8_t>(i * 73 + 19);
  for (int pixels = 1; pixels <= 300; ++pixels) {
    for (bool invert : {false, true}) {
      std::vector<std::uint8_t> bits(40, 0xA5);
      unpack_msb_first(packed.data(), pixels, invert, bits.data());
      for (int x = 0; x < pixels; ++x) {
        const bool set = ((packed[static_cast<std::size_t>(x / 8)] >> (7 - x % 8)) & 1) != invert;
        ASSERT_EQ(pixel_at(bits.data(), x), set) << pixels << " " << invert << " x=" << x;
      }
      // Nothing written past the bytes the pixels need.
      for (std::size_t i = static_cast<std::size_t>((pixels + 7) / 8); i < bits.size(); ++i) ASSERT_EQ(bits[i], 0xA5);
    }
  }
}

}  // namespace
}  // namespace riphost
