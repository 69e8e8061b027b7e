// Where the tag directory lives: a private IFD after the strips, pointed to by
// the main IFD's tag 65342, in TIFF and BigTIFF, in either byte order. Files
// of the first layout (the directory bytes as the tag's own value) read the
// same as ever.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tav.h"
#include "tav_layout.h"
#include "tav_private_ifd.h"
#include "tav_test_support.h"
#include "tav_writer.h"

namespace tavtest {
namespace {

// Files of this scope's thread are BigTIFF whatever their size.
class ForcedBigTiff {
 public:
  explicit ForcedBigTiff(bool on) { tav::ForceBigTiffForTesting(on); }
  ~ForcedBigTiff() { tav::ForceBigTiffForTesting(false); }
};

uint64_t Le(const Bytes& b, uint64_t at, int size) {
  uint64_t v = 0;
  for (int i = 0; i < size; ++i) v |= uint64_t{b.at(at + i)} << (8 * i);
  return v;
}

void PutLe(Bytes& b, uint64_t at, uint64_t v, int size) {
  for (int i = 0; i < size; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// A little-endian file's main IFD entry for tag 65342 and what it holds,
// found without libtiff.
struct MainEntry {
  uint64_t main_ifd = 0;
  uint64_t at = 0;  // the entry
  bool bigtiff = false;
  unsigned type = 0;
  uint64_t count = 0;
  uint64_t value = 0;
};

MainEntry FindMainEntry(const Bytes& file) {
  MainEntry e;
  EXPECT_EQ(file.at(0), 'I') << "the tests read little-endian files";
  e.bigtiff = Le(file, 2, 2) == 43;
  const int word = e.bigtiff ? 8 : 4;
  e.main_ifd = e.bigtiff ? Le(file, 8, 8) : Le(file, 4, 4);
  const uint64_t entries = Le(file, e.main_ifd, e.bigtiff ? 8 : 2);
  const uint64_t size = e.bigtiff ? 20 : 12;
  for (uint64_t i = 0; i < entries; ++i) {
    const uint64_t at = e.main_ifd + (e.bigtiff ? 8 : 2) + i * size;
    if (Le(file, at, 2) != tav::kDirectoryTiffTag) continue;
    e.at = at;
    e.type = static_cast<unsigned>(Le(file, at + 2, 2));
    e.count = Le(file, at + 4, word);
    e.value = Le(file, at + 4 + word, word);
  }
  EXPECT_NE(e.at, 0u) << "no main IFD entry for tag 65342";
  return e;
}

const std::vector<TagInput> kTags = {{"_KVT_XMP", {'<', 'x', '/', '>', 0}},
                                     {"_KVTVIEW.PNG", Bytes(3000, 0x89)},
                                     {"_KVT_CAD_Black", {'c', 0}}};

// The smallest file: one 8-pixel row, PackBits, one tag. The private IFD and
// the directory follow the 2-byte strip; the main IFD comes last. These are
// the bytes docs/tav-format.md shows.
TEST(PrivateIfdLayout, MatchesTheDocumentedExample) {
  const Bytes directory = EncodeDirectory(2, 0, 0x51, 10.0, 20.0, {{"A", {'h', 'i', 0}}});
  ASSERT_EQ(directory.size(), 50u);
  const struct {
    bool bigtiff;
    Bytes front;  // from the first strip to the directory
    uint64_t main_ifd;
    Bytes main_entry;
  } cases[] = {
      {false,
       {0x00, 0x00,                                                  // the strip at 8
        0x01, 0x00,                                                  // private IFD at 10
        0x3E, 0xFF, 0x07, 0x00, 0x32, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00,  //
        0x00, 0x00, 0x00, 0x00},
       78,
       {0x3E, 0xFF, 0x0D, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00}},
      {true,
       {0x00, 0x00,                                                  // the strip at 16
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              // private IFD at 18
        0x3E, 0xFF, 0x07, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x36, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              //
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       104,
       {0x3E, 0xFF, 0x12, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bigtiff ? "BigTIFF" : "TIFF");
    TempDir dir;
    const std::string path = dir.Path("example.tav");
    {
      ForcedBigTiff forced(c.bigtiff);
      ASSERT_EQ(WriteTav(path, 2, 0, 0x51, 8, {{0}}, 10.0, 20.0, {}, {{"A", {'h', 'i', 0}}}), 0)
          << tav_lasterror();
    }
    const Bytes file = ReadFileBytes(path);
    const uint64_t first = c.bigtiff ? 16 : 8;
    ASSERT_GE(file.size(), first + c.front.size() + directory.size());
    EXPECT_EQ(Bytes(file.begin() + first, file.begin() + first + c.front.size()), c.front);
    const auto dir_at = file.begin() + first + c.front.size();
    EXPECT_EQ(Bytes(dir_at, dir_at + directory.size()), directory);
    const MainEntry e = FindMainEntry(file);
    EXPECT_EQ(e.main_ifd, c.main_ifd);
    EXPECT_EQ(Bytes(file.begin() + e.at, file.begin() + e.at + c.main_entry.size()), c.main_entry);
  }
}

// Files of real size in both forms: the private IFD lies on a word boundary
// after the last strip, holds one entry and no next IFD, and plain libtiff
// finds the directory through it.
TEST(PrivateIfdLayout, OneEntryAfterTheStripsInBothForms) {
  for (const bool bigtiff : {false, true}) {
    for (const int compression : {0, 64}) {
      SCOPED_TRACE(std::string(bigtiff ? "BigTIFF" : "TIFF") + " compression " +
                   std::to_string(compression));
      TempDir dir;
      const std::string path = dir.Path("f.tav");
      {
        ForcedBigTiff forced(bigtiff);
        ASSERT_EQ(WriteTav(path, 2, compression, 0x51, 301, RandomRows(2, 301, 97, 3), 5, 5, {},
                           kTags),
                  0);
      }
      const Bytes file = ReadFileBytes(path);
      const MainEntry e = FindMainEntry(file);
      EXPECT_EQ(e.bigtiff, bigtiff);
      EXPECT_EQ(e.type, bigtiff ? 18u : 13u);  // IFD8, IFD
      EXPECT_EQ(e.count, 1u);
      EXPECT_EQ(e.value % 2, 0u);
      EXPECT_EQ(PrivateIfdOffset(path), e.value);
      const int word = bigtiff ? 8 : 4;
      const uint64_t entry = e.value + (bigtiff ? 8 : 2);
      EXPECT_EQ(Le(file, e.value, bigtiff ? 8 : 2), 1u);
      EXPECT_EQ(Le(file, entry, 2), tav::kDirectoryTiffTag);
      EXPECT_EQ(Le(file, entry + 2, 2), 7u);  // UNDEFINED
      const Bytes directory = EncodeDirectory(2, compression, 0x51, 5, 5, kTags);
      EXPECT_EQ(Le(file, entry + 4, word), directory.size());
      const uint64_t data = Le(file, entry + 4 + word, word);
      EXPECT_EQ(data, entry + 4 + 2 * word + word);  // right after the next-IFD offset
      EXPECT_EQ(Le(file, entry + 4 + 2 * word, word), 0u);
      EXPECT_GE(e.main_ifd, data + directory.size());
      EXPECT_EQ(ReadDirectoryTagWithLibtiff(path), directory);
    }
  }
}

// The coder and the locator agree in all four forms, and the locator finds
// the entry among others.
TEST(PrivateIfdCoding, LocatesWhatItEncodesInEveryForm) {
  for (const bool bigtiff : {false, true}) {
    for (const bool big_endian : {false, true}) {
      SCOPED_TRACE(std::string(bigtiff ? "BigTIFF" : "TIFF") + (big_endian ? " MM" : " II"));
      const tav::IfdForm form{bigtiff, big_endian};
      const uint64_t at = 10;
      const Bytes ifd = tav::EncodePrivateIfd(form, at, 50);
      ASSERT_EQ(ifd.size(), tav::PrivateIfdBytes(form));
      EXPECT_EQ(ifd.size(), bigtiff ? 36u : 18u);
      // Big-endian files store the entry count's low byte last.
      EXPECT_EQ(ifd[big_endian ? (bigtiff ? 7 : 1) : 0], 1);
      Bytes file(at + ifd.size() + 50, 0x55);
      std::fill(file.begin(), file.begin() + at, uint8_t{0xAA});
      std::copy(ifd.begin(), ifd.end(), file.begin() + at);
      TempDir dir;
      const std::string path = dir.Path("ifd.bin");
      WriteFileBytes(path, file);
      const int fd = open(path.c_str(), O_RDONLY);
      ASSERT_GE(fd, 0);
      const tav::ByteRange range = tav::LocateDirectory(fd, file.size(), form, at);
      EXPECT_EQ(range.offset, at + ifd.size());
      EXPECT_EQ(range.size, 50u);
      Bytes read;
      tav::ReadExactly(fd, range.offset, range.size, read);
      EXPECT_EQ(read, Bytes(50, 0x55));
      close(fd);
    }
  }
}

TEST(PrivateIfdCoding, RefusesWhatTheFormCannotAddress) {
  const tav::IfdForm classic{false, false};
  const tav::IfdForm big{true, false};
  EXPECT_TRUE(tav::EncodePrivateIfd(classic, 0xFFFFFFF0ull, 100).empty());
  EXPECT_TRUE(tav::EncodePrivateIfd(classic, 0xFFFF0000ull, 0x10000).empty());
  EXPECT_FALSE(tav::EncodePrivateIfd(classic, 0xFFFF0000ull, 0x1000).empty());
  EXPECT_FALSE(tav::EncodePrivateIfd(big, 5ull << 30, 100).empty());
  // A value of 4 (TIFF) or 8 (BigTIFF) bytes would sit in the entry itself.
  EXPECT_TRUE(tav::EncodePrivateIfd(classic, 8, 4).empty());
  EXPECT_FALSE(tav::EncodePrivateIfd(classic, 8, 5).empty());
  EXPECT_TRUE(tav::EncodePrivateIfd(big, 16, 8).empty());
}

// The exception text of opening path and reading every row, or "".
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

// A patch of a written file: at (from where), the value and its size.
enum class From { kMainEntryValue, kMainEntryCount, kIfd, kEntry };
struct Patch {
  const char* what;
  From from;
  int offset;      // bytes after the place; -1: the word holding the value
  uint64_t value;  // kFileSize: the file's size
  int size;        // bytes; 0: the form's word
  const char* expected;
};
constexpr uint64_t kFileSize = ~0ull;

// Applies p to a little-endian file whose main entry is e.
Bytes Patched(const Bytes& file, const MainEntry& e, const Patch& p) {
  const int word = e.bigtiff ? 8 : 4;
  const uint64_t entry = e.value + (e.bigtiff ? 8 : 2);
  uint64_t at = 0;
  switch (p.from) {
    case From::kMainEntryValue: at = e.at + 4 + word; break;
    case From::kMainEntryCount: at = e.at + 4; break;
    case From::kIfd: at = e.value; break;
    case From::kEntry: at = entry; break;
  }
  at += p.offset < 0 ? 4 + word : p.offset;
  Bytes out = file;
  PutLe(out, at, p.value == kFileSize ? file.size() : p.value, p.size != 0 ? p.size : word);
  return out;
}

// Hostile private IFDs are refused with the fault named, never read past the
// file or beyond the directory limit.
TEST(PrivateIfdReading, RefusesHostileIfds) {
  const Patch patches[] = {
      {"IFD offset 0", From::kMainEntryValue, 0, 0, 0, "offset 0 lies outside the file"},
      {"IFD offset past the end", From::kMainEntryValue, 0, kFileSize, 0, "lies outside the file"},
      {"two IFD offsets", From::kMainEntryCount, 0, 2, 0, "not one value"},
      {"no entries", From::kIfd, 0, 0, 0, "has 0 entries"},
      {"entries past the end", From::kIfd, 0, 0xFFFF, 0, "runs past the end of the file"},
      {"no entry for the tag", From::kEntry, 0, 65341, 2, "no entry for tag 65342"},
      {"a SHORT entry", From::kEntry, 2, 3, 2, "TIFF type 3, not a byte array"},
      {"a directory over the limit", From::kEntry, 4, tav::kMaxDirectoryBytes + 1, 0,
       "more than the"},
      {"a directory as long as the file", From::kEntry, 4, kFileSize, 0, "runs past the end"},
      {"a directory at the end", From::kEntry, -1, kFileSize, 0, "runs past the end"},
      {"a directory at the header", From::kEntry, -1, 0, 0, "bad magic"},
      {"a directory inside the entry", From::kEntry, 4, 3, 0, "only 3 bytes"},
  };
  for (const bool bigtiff : {false, true}) {
    TempDir dir;
    const std::string good = dir.Path("good.tav");
    {
      ForcedBigTiff forced(bigtiff);
      ASSERT_EQ(WriteTav(good, 2, 64, 0x11, 40, RandomRows(2, 40, 9, 1), 1, 1, {}, kTags), 0);
    }
    const Bytes file = ReadFileBytes(good);
    const MainEntry e = FindMainEntry(file);
    for (const Patch& p : patches) {
      SCOPED_TRACE(std::string(bigtiff ? "BigTIFF: " : "TIFF: ") + p.what);
      const std::string path = dir.Path("hostile.tav");
      WriteFileBytes(path, Patched(file, e, p));
      const std::string error = OpenError(path);
      EXPECT_NE(error.find("damaged TAV"), std::string::npos) << error;
      EXPECT_NE(error.find(p.expected), std::string::npos) << error;
    }
    if (bigtiff) {
      // More entries than libtiff takes are refused before the table is read.
      const std::string path = dir.Path("many.tav");
      WriteFileBytes(path, Patched(file, e, {"", From::kIfd, 0, 0x10000, 0, ""}));
      EXPECT_NE(OpenError(path).find("65536 entries"), std::string::npos) << OpenError(path);
    }
  }
}

// The IFD offset may come as a LONG, as EXIF's does; every flipped byte of
// the private IFD either reads or throws.
TEST(PrivateIfdReading, AcceptsLongOffsetsAndSurvivesFlippedBytes) {
  TempDir dir;
  const std::string good = dir.Path("good.tav");
  ASSERT_EQ(WriteTav(good, 2, 0, 0x51, 24, RandomRows(2, 24, 5, 2), 1, 1, {}, kTags), 0);
  const Bytes file = ReadFileBytes(good);
  const MainEntry e = FindMainEntry(file);
  const std::string path = dir.Path("long.tav");
  Bytes as_long = file;
  PutLe(as_long, e.at + 2, 4, 2);  // LONG
  WriteFileBytes(path, as_long);
  EXPECT_EQ(OpenError(path), "");
  for (uint64_t at = e.value; at < e.value + 18; ++at) {
    Bytes flipped = file;
    flipped[at] ^= 0xFF;
    WriteFileBytes(path, flipped);
    (void)OpenError(path);
  }
}

// A file of the first layout, made from a file of the new one, reads the same
// through the reader and through tavinfo, in TIFF and BigTIFF.
TEST(FirstLayout, ReadsLikeTheNewLayout) {
  const struct {
    bool bigtiff;
    int format, compression, mode;
  } cases[] = {{false, 2, 64, 0x13}, {false, 3, 0, 0x51}, {true, 1, 0, 0x19}, {true, 3, 64, 0x11}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.bigtiff ? "BigTIFF" : "TIFF") + " format " +
                 std::to_string(c.format));
    TempDir dir;
    const std::string now = dir.Path("now.tav");
    const std::string first = dir.Path("first.tav");
    const std::vector<Bytes> rows = RandomRows(c.format, 203, 61, 11);
    {
      ForcedBigTiff forced(c.bigtiff);
      ASSERT_EQ(WriteTav(now, c.format, c.compression, c.mode, 203, rows, 4.3, 1.3, {}, kTags), 0);
    }
    WriteFirstLayoutCopy(now, first);
    ASSERT_EQ(PrivateIfdOffset(first), 0u) << "the copy must hold the directory in the tag";
    ASSERT_NE(PrivateIfdOffset(now), 0u);

    tav::TavReader a(now);
    tav::TavReader b(first);
    EXPECT_EQ(a.Info().bigtiff, c.bigtiff);
    EXPECT_EQ(b.Info().bigtiff, c.bigtiff);
    EXPECT_EQ(b.Info().format, c.format);
    EXPECT_EQ(b.Info().mode, c.mode);
    EXPECT_EQ(b.Info().width_mm, 4.3);
    ASSERT_EQ(b.Tags().size(), kTags.size());
    for (std::size_t i = 0; i < kTags.size(); ++i) {
      EXPECT_EQ(a.Tags()[i].value, kTags[i].value);
      EXPECT_EQ(b.Tags()[i].value, kTags[i].value);
    }
    Bytes row_a(a.RowBytes());
    Bytes row_b(b.RowBytes());
    for (int y = 0; y < 61; ++y) {
      a.ReadRow(y, row_a.data());
      b.ReadRow(y, row_b.data());
      ASSERT_EQ(row_a, ExpectedStoredRow(rows[y], c.format, 203, c.mode)) << y;
      ASSERT_EQ(row_b, row_a) << y;
    }
    // tavinfo shows both alike; only the file names differ.
    for (const std::string options : {"", "--json ", "--tag _KVTVIEW.PNG "}) {
      std::string out_now, out_first;
      const std::string tavinfo = std::string(TAVINFO_PATH) + " " + options;
      ASSERT_EQ(RunCommand("cd " + Quote(dir.Path("")) + " && " + tavinfo + "now.tav", &out_now), 0);
      ASSERT_EQ(RunCommand("cd " + Quote(dir.Path("")) + " && " + tavinfo + "first.tav", &out_first),
                0);
      for (std::size_t at; (at = out_first.find("first.tav")) != std::string::npos;) {
        out_first.replace(at, 9, "now.tav");
      }
      EXPECT_EQ(out_first, out_now) << options;
    }
  }
}

}  // namespace
}  // namespace tavtest
