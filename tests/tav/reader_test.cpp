// The reader refuses what is not a TAV file and survives damaged and hostile
// files with a clear exception instead of a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "tav.h"
#include "tav_test_support.h"

namespace tavtest {
namespace {

// The exception text of opening path, or "" when it opens.
std::string OpenError(const std::string& path) {
  try {
    tav::TavReader reader(path);
    Bytes row(reader.RowBytes());
    for (int y = 0; y < reader.Info().height; ++y) reader.ReadRow(y, row.data());
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::vector<TagInput> kTags = {{"_KVT_XMP", {'x', 0}}, {"_KVT_CAD_Black", {1, 2, 3}}};

TEST(ReaderRefuses, FilesThatAreNotTav) {
  TempDir dir;
  const std::string missing = dir.Path("missing.tav");
  EXPECT_TRUE(Contains(OpenError(missing), "cannot open")) << OpenError(missing);

  const std::string empty = dir.Path("empty.tav");
  WriteFileBytes(empty, {});
  EXPECT_TRUE(Contains(OpenError(empty), "not a TAV file")) << OpenError(empty);

  const std::string garbage = dir.Path("garbage.tav");
  Bytes noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7 + 3);
  WriteFileBytes(garbage, noise);
  EXPECT_TRUE(Contains(OpenError(garbage), "not a TAV file")) << OpenError(garbage);

  // A FIFO would block a reader for ever, a folder or device has no TIFF.
  const std::string fifo = dir.Path("fifo.tav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(Contains(OpenError(fifo), "not a regular file (a FIFO)")) << OpenError(fifo);
  EXPECT_TRUE(Contains(OpenError(dir.Path("")), "not a regular file")) << OpenError(dir.Path(""));
  EXPECT_TRUE(Contains(OpenError("/dev/zero"), "not a regular file")) << OpenError("/dev/zero");

  const std::string plain = dir.Path("plain.tif");
  WritePlainTiff(plain, 16, 4, 1, false);
  const std::string error = OpenError(plain);
  EXPECT_TRUE(Contains(error, "not a TAV file (no TAV tag directory)")) << error;
  EXPECT_TRUE(Contains(error, plain)) << error;
}

TEST(ReaderAccepts, HandMadeDirectory) {
  // Our own encoder of the documented layout, written by plain libtiff.
  TempDir dir;
  const std::string path = dir.Path("hand.tav");
  WritePlainTiff(path, 16, 4, 1, true, EncodeDirectory(1, 0, 0x40, 2.5, 3.5, kTags));
  ASSERT_EQ(OpenError(path), "");
  tav::TavReader reader(path);
  EXPECT_EQ(reader.Info().format, 1);
  EXPECT_EQ(reader.Info().mode, 0x40);
  EXPECT_EQ(reader.Info().width_mm, 2.5);
  ASSERT_EQ(reader.Tags().size(), 2u);
  EXPECT_EQ(reader.Tags()[1].value, (Bytes{1, 2, 3}));
}

TEST(ReaderRefuses, EveryTruncationOfTheDirectory) {
  TempDir dir;
  const Bytes full = EncodeDirectory(2, 0, 0x11, 1.0, 1.0, kTags);
  for (std::size_t size = 1; size < full.size(); ++size) {
    const std::string path = dir.Path("cut" + std::to_string(size) + ".tav");
    WritePlainTiff(path, 8, 2, 1, true, Bytes(full.begin(), full.begin() + size));
    const std::string error = OpenError(path);
    EXPECT_TRUE(Contains(error, "TAV")) << size << " bytes: " << error;
  }
}

// Patches the 32-bit little-endian value at offset of a valid directory.
Bytes Patched(std::size_t offset, uint64_t value, int size = 4) {
  Bytes d = EncodeDirectory(2, 0, 0x11, 1.0, 1.0, kTags);
  for (int i = 0; i < size; ++i) d[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return d;
}

TEST(ReaderRefuses, HostileDirectoryFields) {
  TempDir dir;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Bytes trailing = EncodeDirectory(2, 0, 0x11, 1.0, 1.0, kTags);
  trailing.push_back(0);
  Bytes zero_in_name = EncodeDirectory(2, 0, 0x11, 1.0, 1.0, {{std::string("a\0b", 3), {1}}});
  const struct {
    const char* what;
    Bytes directory;
    const char* expected;
  } cases[] = {
      {"bad magic", Patched(0, 0x58585858), "bad magic"},
      {"version 2", Patched(4, 2, 2), "version 2"},
      {"header size 8", Patched(6, 8, 2), "header size"},
      {"header size past the end", Patched(6, 0xFFFF, 2), "header size"},
      {"entry count huge", Patched(20, 0xFFFFFFFF), "entries"},
      {"entry count one too many", Patched(20, 3), "entr"},
      {"name length 0", Patched(40, 0, 2), "name"},
      {"name length 256", Patched(40, 256, 2), "name"},
      {"value length huge", Patched(42, 0xFFFFFFFF), "past the end"},
      {"value length one too long", Patched(42, 3), ""},
      {"trailing bytes", trailing, "stray"},
      {"zero byte in a name", zero_in_name, "zero byte"},
      {"unknown format", Patched(8, 9), "format"},
      {"unknown compression", Patched(12, 5), "compression"},
      {"NaN millimetres", EncodeDirectory(2, 0, 0, nan, 1.0, {}), "millimetres"},
      {"format 3 in a 1-bit TIFF", Patched(8, 3), "bits per sample"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.Path("hostile.tav");
    WritePlainTiff(path, 8, 2, 1, true, c.directory);
    const std::string error = OpenError(path);
    EXPECT_TRUE(Contains(error, "TAV")) << c.what << ": " << error;
    EXPECT_TRUE(Contains(error, c.expected)) << c.what << ": " << error;
  }
}

TEST(ReaderRefuses, DirectoryTagOfTheWrongType) {
  TempDir dir;
  const std::string path = dir.Path("short.tav");
  WritePlainTiff(path, 8, 2, 1, true, EncodeDirectory(2, 0, 0, 1.0, 1.0, {}), /*SHORT*/ 3);
  const std::string error = OpenError(path);
  EXPECT_TRUE(Contains(error, "damaged")) << error;
}

// The TIFF type number of the directory tag's entry is whatever the file
// says, also numbers no TIFF type has: the reader refuses them cleanly.
TEST(ReaderRefuses, DirectoryTagOfAnUnknownTiffType) {
  TempDir dir;
  const std::string good = dir.Path("good.tav");
  ASSERT_EQ(WriteTav(good, 2, 0, 0x11, 16, RandomRows(2, 16, 2, 5), 1, 1, kTags), 0);
  const Bytes whole = ReadFileBytes(good);
  ASSERT_GE(whole.size(), 8u);
  ASSERT_EQ(whole[0], 'I') << "the test patches little-endian classic TIFF only";
  auto u16 = [&](std::size_t at) { return static_cast<unsigned>(whole[at] | whole[at + 1] << 8); };
  const std::size_t ifd = whole[4] | whole[5] << 8 | whole[6] << 16 | std::size_t{whole[7]} << 24;
  ASSERT_LT(ifd + 2, whole.size());
  std::size_t entry = 0;
  for (unsigned i = 0; i < u16(ifd); ++i) {
    const std::size_t at = ifd + 2 + 12 * i;
    ASSERT_LE(at + 12, whole.size());
    if (u16(at) == 65342) entry = at;
  }
  ASSERT_NE(entry, 0u) << "no entry for tag 65342";
  for (const unsigned type : {0u, 3u, 19u, 31u, 32u, 99u, 0x7FFFu, 0xFFFFu}) {
    Bytes patched = whole;
    patched[entry + 2] = static_cast<uint8_t>(type);
    patched[entry + 3] = static_cast<uint8_t>(type >> 8);
    const std::string path = dir.Path("type" + std::to_string(type) + ".tav");
    WriteFileBytes(path, patched);
    const std::string error = OpenError(path);
    EXPECT_TRUE(Contains(error, "TAV file")) << "type " << type << ": " << error;
  }
}

// Every single flipped byte of the directory either reads or throws.
TEST(ReaderSurvives, FlippedDirectoryBytes) {
  TempDir dir;
  const Bytes good = EncodeDirectory(2, 0, 0x11, 1.0, 1.0, kTags);
  for (std::size_t i = 0; i < good.size(); ++i) {
    Bytes d = good;
    d[i] ^= 0xFF;
    const std::string path = dir.Path("flip.tav");
    WritePlainTiff(path, 8, 2, 1, true, d);
    (void)OpenError(path);
  }
}

// A TAV file cut short at many lengths never crashes the reader.
TEST(ReaderSurvives, TruncatedFiles) {
  TempDir dir;
  const std::string path = dir.Path("whole.tav");
  ASSERT_EQ(WriteTav(path, 3, 64, 0x11, 300, RandomRows(3, 300, 40, 4), 1, 1, kTags), 0);
  const Bytes whole = ReadFileBytes(path);
  for (std::size_t size = 0; size < whole.size(); size += 1 + size / 8) {
    const std::string cut = dir.Path("cut.tav");
    WriteFileBytes(cut, Bytes(whole.begin(), whole.begin() + size));
    EXPECT_NE(OpenError(cut), "") << size << " of " << whole.size() << " bytes";
  }
}

// Files whose fields claim more pixels than a row may hold or than their
// strips hold are refused at open, before anything the size of a row is
// allocated.
TEST(ReaderRefuses, SizesTheFileCannotHold) {
  TempDir dir;
  const Bytes small(64, 0);
  const struct {
    const char* what;
    uint32_t width, height;
    int format, compression;
    uint32_t rows_per_strip;
    std::vector<Bytes> strips;
    const char* expected;
  } cases[] = {
      {"8-bit rows of 2 GiB", 0x7FFFFFFF, 1, 3, COMPRESSION_NONE, 1, {small}, "not a TAV file"},
      {"8-bit rows one byte too long", (1u << 28) + 1, 1, 3, COMPRESSION_NONE, 1, {small},
       "not a TAV file"},
      // libtiff replaces these byte counts by ones computed from the size.
      {"1-bit rows of 256 MiB in 64 bytes", 0x7FFFFFFF, 1, 1, COMPRESSION_NONE, 1, {small},
       "damaged TAV file"},
      {"a million rows in 64 bytes", 8000, 1000000, 1, COMPRESSION_NONE, 1000000, {small},
       "damaged TAV file"},
      {"PackBits rows in 64 bytes", 8000, 1000, 1, COMPRESSION_PACKBITS, 1000, {small},
       "too few"},
      {"Deflate rows in 64 bytes", 80000, 1000, 1, COMPRESSION_ADOBE_DEFLATE, 1000, {small},
       "too few"},
      {"a strip left empty", 8, 4, 1, COMPRESSION_NONE, 2, {Bytes(2, 0)}, "strip 1"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.Path("huge.tav");
    WriteRawStripTiff(path, c.width, c.height, c.format, c.compression, c.rows_per_strip,
                      c.strips);
    const std::string error = OpenError(path);
    EXPECT_TRUE(Contains(error, "TAV")) << c.what << ": " << error;
    EXPECT_TRUE(Contains(error, c.expected)) << c.what << ": " << error;
  }
}

// The limits leave room for what the writer makes: strips that compress as
// far as each method goes still open.
TEST(ReaderAccepts, StripsAtTheirBestCompression) {
  TempDir dir;
  for (const int compression : {0, 64}) {
    const int mode = compression == 0 ? 0x51 : 0x11;  // PackBits or Deflate
    const std::string path = dir.Path("blank.tav");
    const int width = 20000;
    ASSERT_EQ(WriteTav(path, 3, compression, mode, width,
                       std::vector<Bytes>(300, Bytes(width, 0)), 1, 1),
              0);
    EXPECT_EQ(OpenError(path), "") << "compression " << compression;
  }
  const std::string exact = dir.Path("exact.tav");
  WriteRawStripTiff(exact, 8, 4, 1, COMPRESSION_NONE, 2, {Bytes(2, 0), Bytes(2, 0)});
  EXPECT_EQ(OpenError(exact), "");
}

TEST(ReaderRows, RowNumbersAreChecked) {
  TempDir dir;
  const std::string path = dir.Path("rows.tav");
  ASSERT_EQ(WriteTav(path, 2, 0, 0x51, 12, RandomRows(2, 12, 3, 8), 1, 1), 0);
  tav::TavReader reader(path);
  Bytes row(reader.RowBytes());
  EXPECT_THROW(reader.ReadRow(-1, row.data()), std::runtime_error);
  EXPECT_THROW(reader.ReadRow(3, row.data()), std::runtime_error);
  EXPECT_NO_THROW(reader.ReadRow(2, row.data()));
}

}  // namespace
}  // namespace tavtest
