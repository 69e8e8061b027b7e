// Strips compressed on worker threads: the same pixels whatever the thread
// count and level, read back through our reader, libtiff and Pillow; the
// PackBits encoder against an independent decoder; failures of a worker
// reported with their reason; the ring of strips never grows.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cerrno>
#include <random>
#include <string>

#include "tav.h"
#include "tav_layout.h"
#include "tav_strips.h"
#include "tav_test_support.h"
#include "tav_tiffio.h"

namespace tavtest {
namespace {

struct Coding {
  const char* name;
  int compression;
  int mode;
};
const Coding kCodings[] = {{"none", 0, 0x11}, {"packbits", 0, 0x51}, {"deflate", 64, 0x11}};

// Rows like a halftone: a dot screen that changes with the row, a band of
// noise, solid and empty runs. Input layout as the host delivers it.
std::vector<Bytes> HalftoneRows(int format, int width, int height, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Bytes> rows(static_cast<std::size_t>(height), Bytes(InputRowBytes(format, width)));
  for (int y = 0; y < height; ++y) {
    Bytes& row = rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < width; ++x) {
      bool ink;
      if (x < width / 4) {
        ink = ((x / 3 + y / 5) % 4) == 0 || (x % 7 == y % 7);
      } else if (x < width / 2) {
        ink = (random() & 3) == 0;
      } else {
        ink = x < width / 2 + (y % 97) * 4;
      }
      if (!ink) continue;
      if (Bits(format) == 8) {
        row[static_cast<std::size_t>(x)] = 0xFF;
      } else {
        row[static_cast<std::size_t>(x) / 8] |= static_cast<uint8_t>(1u << (x % 8));
      }
    }
  }
  return rows;
}

// Writes rows with the given settings; returns tav_fclose's result, or -100
// and -200 when opening or a row failed (the reason in *error).
int WriteWithSettings(const std::string& path, int format, const Coding& coding, int width,
                      const std::vector<Bytes>& rows, int level, int threads,
                      std::string* error = nullptr) {
  TavFile* f = tav_fopenw(path.c_str(), format, coding.compression, coding.mode,
                          static_cast<int>(rows.size()), width, 25.4, 25.4);
  if (f == nullptr) return -100;
  if (tav_setoptions(f, level, threads) != 0) {
    tav_fclose(f);
    return -100;
  }
  for (std::size_t y = 0; y < rows.size(); ++y) {
    if (tav_putrow(f, static_cast<int>(y), rows[y].data()) != 0) {
      if (error != nullptr) *error = tav_lasterror();
      tav_fclose(f);
      return -200;
    }
  }
  const int result = tav_fclose(f);
  if (result != 0 && error != nullptr) *error = tav_lasterror();
  return result;
}

// The compressed bytes of every strip, read through libtiff.
std::vector<Bytes> RawStrips(const std::string& path) {
  std::vector<Bytes> strips;
  TIFF* tif = OpenTiffQuietly(path, "r");
  EXPECT_NE(tif, nullptr);
  if (tif == nullptr) return strips;
  const uint32_t count = TIFFNumberOfStrips(tif);
  for (uint32_t s = 0; s < count; ++s) {
    Bytes strip(static_cast<std::size_t>(TIFFRawStripSize(tif, s)));
    EXPECT_EQ(TIFFReadRawStrip(tif, s, strip.data(), static_cast<tmsize_t>(strip.size())),
              static_cast<tmsize_t>(strip.size()));
    strips.push_back(std::move(strip));
  }
  TIFFClose(tif);
  return strips;
}

// Every format and coding, single-threaded and on 3 workers, at two levels:
// the reader and libtiff see the model's pixels; the thread count changes no
// byte of the strips, and a higher level stores no more.
TEST(ThreadedStrips, SamePixelsAndStripsForEveryThreadCount) {
  TempDir dir;
  for (int format : {1, 2, 3}) {
    const int width = Bits(format) == 8 ? 1999 : 16003;  // several strips of ~262 rows
    const int height = 800;
    const std::vector<Bytes> rows = HalftoneRows(format, width, height, 11u * format);
    for (const Coding& coding : kCodings) {
      for (int level : {1, 9}) {
        if (coding.compression != 64 && level != 1) continue;
        SCOPED_TRACE(std::string(coding.name) + " format " + std::to_string(format) + " level " +
                     std::to_string(level));
        const std::string one = dir.Path("one.tav");
        const std::string many = dir.Path("many.tav");
        std::string error;
        ASSERT_EQ(WriteWithSettings(one, format, coding, width, rows, level, 1, &error), 0) << error;
        ASSERT_EQ(WriteWithSettings(many, format, coding, width, rows, level, 3, &error), 0)
            << error;
        const std::vector<Bytes> strips = RawStrips(one);
        EXPECT_GT(strips.size(), 3u);
        EXPECT_EQ(RawStrips(many), strips);
        EXPECT_EQ(ReadFileBytes(many), ReadFileBytes(one));

        tav::TavReader reader(many);
        TIFF* tif = OpenTiffQuietly(many, "r");
        ASSERT_NE(tif, nullptr);
        Bytes ours(reader.RowBytes());
        Bytes theirs(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        for (int y = 0; y < height; ++y) {
          const Bytes expected =
              ExpectedStoredRow(rows[static_cast<std::size_t>(y)], format, width, coding.mode);
          reader.ReadRow(y, ours.data());
          ASSERT_EQ(TIFFReadScanline(tif, theirs.data(), static_cast<uint32_t>(y), 0), 1);
          ASSERT_EQ(ours, expected) << "row " << y;
          ASSERT_EQ(theirs, expected) << "row " << y;
        }
        TIFFClose(tif);
      }
    }
    // Level 12 stores the strips in fewer bytes than level 1.
    const std::string fast = dir.Path("fast.tav");
    const std::string small = dir.Path("small.tav");
    ASSERT_EQ(WriteWithSettings(fast, format, kCodings[2], width, rows, 1, 2), 0);
    ASSERT_EQ(WriteWithSettings(small, format, kCodings[2], width, rows, 12, 2), 0);
    EXPECT_LT(ReadFileBytes(small).size(), ReadFileBytes(fast).size());
  }
}

// Pillow decodes multi-strip files written by several workers to the same
// ink as the model.
TEST(ThreadedStrips, PillowReadsEveryCoding) {
  const char* python = "/usr/bin/python3";
  if (RunCommand(std::string(python) + " -c 'import PIL' 2>/dev/null") != 0) {
    GTEST_SKIP() << "Pillow is not installed";
  }
  TempDir dir;
  // Writes one byte per pixel, 1 for black (ink), 0 for white.
  const std::string script =
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('L')\n"
      "open(sys.argv[2], 'wb').write(im.point(lambda p: 1 if p < 128 else 0).tobytes())\n";
  WriteFileBytes(dir.Path("ink.py"), Bytes(script.begin(), script.end()));
  for (int format : {2, 3}) {
    const int width = Bits(format) == 8 ? 1500 : 6007;
    const int height = 900;
    const std::vector<Bytes> rows = HalftoneRows(format, width, height, 5u);
    for (const Coding& coding : kCodings) {
      SCOPED_TRACE(std::string(coding.name) + " format " + std::to_string(format));
      const std::string path = dir.Path("p.tav");
      ASSERT_EQ(WriteWithSettings(path, format, coding, width, rows, 0, 4), 0);
      const std::string ink = dir.Path("ink.bin");
      std::string out;
      ASSERT_EQ(RunCommand(std::string(python) + " " + Quote(dir.Path("ink.py")) + " " +
                               Quote(path) + " " + Quote(ink) + " 2>&1",
                           &out),
                0)
          << out;
      const Bytes seen = ReadFileBytes(ink);
      ASSERT_EQ(seen.size(), static_cast<std::size_t>(width) * height);
      for (int y = 0; y < height; ++y) {
        const Bytes stored =
            ExpectedStoredRow(rows[static_cast<std::size_t>(y)], format, width, coding.mode);
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(seen[static_cast<std::size_t>(y) * width + x], StoredInk(stored, format, x))
              << "row " << y << " pixel " << x;
        }
      }
    }
  }
}

// An independent PackBits decoder; false when the code is malformed.
bool UnpackBits(const Bytes& code, Bytes& out) {
  out.clear();
  std::size_t i = 0;
  while (i < code.size()) {
    const int n = static_cast<int8_t>(code[i++]);
    if (n >= 0) {
      if (i + static_cast<std::size_t>(n) + 1 > code.size()) return false;
      out.insert(out.end(), code.begin() + static_cast<long>(i),
                 code.begin() + static_cast<long>(i) + n + 1);
      i += static_cast<std::size_t>(n) + 1;
    } else if (n != -128) {
      if (i >= code.size()) return false;
      out.insert(out.end(), static_cast<std::size_t>(1 - n), code[i++]);
    }
  }
  return true;
}

// Rows that stress the encoder's edges decode to themselves and never pass
// the bound the strip buffers are sized for.
TEST(PackBits, RowsDecodeBackWithinTheBound) {
  std::mt19937 random(3);
  std::vector<Bytes> rows = {Bytes{7}, Bytes{1, 2}, Bytes{5, 5}, Bytes(128, 9), Bytes(129, 9),
                             Bytes(1000, 0), Bytes(300, 0)};
  Bytes alternating(1001);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = static_cast<uint8_t>(i & 1);
  rows.push_back(alternating);
  Bytes pairs;  // AAB AAB ...: runs of 2 between single bytes
  for (int i = 0; i < 400; ++i) pairs.insert(pairs.end(), {1, 1, static_cast<uint8_t>(i)});
  rows.push_back(pairs);
  Bytes triples;  // AAAB AAAB ...: short runs and literals of one
  for (int i = 0; i < 300; ++i) triples.insert(triples.end(), {4, 4, 4, static_cast<uint8_t>(i)});
  rows.push_back(triples);
  for (int n = 0; n < 200; ++n) {
    Bytes row(1 + random() % 700);
    const unsigned spread = 1 + random() % 4;  // few values give many short runs
    for (uint8_t& b : row) b = static_cast<uint8_t>(random() % spread);
    rows.push_back(row);
  }
  for (const Bytes& row : rows) {
    Bytes code(tav::PackBitsBound(row.size()) + 16, 0xEE);
    const std::size_t size = tav::PackBitsRow(row.data(), row.size(), code.data());
    ASSERT_LE(size, tav::PackBitsBound(row.size())) << "row of " << row.size();
    EXPECT_EQ(code[size], 0xEE);
    code.resize(size);
    Bytes back;
    ASSERT_TRUE(UnpackBits(code, back));
    ASSERT_EQ(back, row);
  }
  // A solid row costs 2 bytes per 128.
  Bytes code(tav::PackBitsBound(1280));
  EXPECT_EQ(tav::PackBitsRow(Bytes(1280, 0xFF).data(), 1280, code.data()), 20u);
}

class WorkerFailure : public ::testing::Test {
 protected:
  void TearDown() override { tav::ClearIoFailureForTesting(); }
  TempDir dir_;
  std::string path_ = dir_.Path("out.tav");
};

// A strip the compressor fails on, or whose write fails, fails a later
// tav_putrow (at the latest that of the last row) and tav_fclose with the
// reason, for every thread count; nothing more is taken after it.
TEST_F(WorkerFailure, ReportedByRowAndClose) {
  const int width = 16000;  // 262 rows per strip
  const int height = 3000;
  const std::vector<Bytes> rows = HalftoneRows(2, width, height, 9u);
  for (int threads : {1, 2, 4}) {
    for (const Coding& coding : {kCodings[1], kCodings[2]}) {
      for (tav::IoCall call : {tav::IoCall::kCompress, tav::IoCall::kWrite}) {
        const bool compress = call == tav::IoCall::kCompress;
        SCOPED_TRACE(std::string(coding.name) + (compress ? " compress" : " write") + ", " +
                     std::to_string(threads) + " threads");
        TavFile* f = tav_fopenw(path_.c_str(), 2, coding.compression, coding.mode, height, width,
                                100, 100);
        ASSERT_NE(f, nullptr) << tav_lasterror();
        ASSERT_EQ(tav_setoptions(f, 0, threads), 0);
        tav::FailIoForTesting(call, 3, compress ? 0 : ENOSPC);
        int refused = -1;
        std::string reason;
        for (int y = 0; y < height && refused < 0; ++y) {
          if (tav_putrow(f, y, rows[static_cast<std::size_t>(y)].data()) != 0) {
            refused = y;
            reason = tav_lasterror();
          }
        }
        tav::ClearIoFailureForTesting();
        ASSERT_GE(refused, 0);
        const uint32_t rows_per_strip = tav::RowsPerStrip((width + 7) / 8, height);
        EXPECT_EQ((refused + 1) % rows_per_strip, 0u) << "found when a strip is handed over";
        EXPECT_GE(refused + 1, static_cast<int>(4 * rows_per_strip)) << "not before the 4th strip";
        if (compress) {
          const std::string first = std::to_string(3 * rows_per_strip);
          EXPECT_EQ(reason, path_ + ": cannot compress rows " + first + " to " +
                                std::to_string(4 * rows_per_strip - 1) +
                                ": the compressor failed (a failure made for testing)");
        } else {
          EXPECT_EQ(reason, "No space left on device (writing row " + std::to_string(refused) +
                                " of " + path_ + ")");
        }
        if (refused + 1 < height) {
          EXPECT_LT(tav_putrow(f, refused + 1, rows[0].data()), 0);
          EXPECT_EQ(std::string(tav_lasterror()).rfind(reason, 0), 0u) << tav_lasterror();
        }
        EXPECT_LT(tav_fclose(f), 0);
        EXPECT_EQ(std::string(tav_lasterror()).rfind(reason, 0), 0u) << tav_lasterror();
      }
    }
  }
}

// The compressor fails on the last strip only: the call of the last row
// waits for it and reports it.
TEST_F(WorkerFailure, LastStripIsReportedByTheLastRow) {
  const int width = 16000;
  const int height = 1000;  // 4 strips, the last one short
  const std::vector<Bytes> rows = HalftoneRows(2, width, height, 4u);
  TavFile* f = tav_fopenw(path_.c_str(), 2, 64, 0x11, height, width, 100, 100);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(tav_setoptions(f, 3, 4), 0);
  tav::FailIoForTesting(tav::IoCall::kCompress, 3, 0);
  for (int y = 0; y + 1 < height; ++y) {
    ASSERT_EQ(tav_putrow(f, y, rows[static_cast<std::size_t>(y)].data()), 0) << tav_lasterror();
  }
  EXPECT_LT(tav_putrow(f, height - 1, rows.back().data()), 0);
  EXPECT_NE(std::string(tav_lasterror()).find("cannot compress rows 786 to 999"), std::string::npos)
      << tav_lasterror();
  EXPECT_LT(tav_fclose(f), 0);
}

// tav_setoptions takes levels 0..12 and threads 0..64 before the first row,
// and keeps the earlier settings when it refuses.
TEST(Settings, RangesAndTime) {
  TempDir dir;
  const std::string path = dir.Path("s.tav");
  EXPECT_LT(tav_setoptions(nullptr, 0, 0), 0);
  TavFile* f = tav_fopenw(path.c_str(), 2, 64, 0x11, 4, 64, 1, 1);
  ASSERT_NE(f, nullptr);
  for (auto [level, threads] : {std::pair{13, 0}, {-1, 0}, {0, -1}, {0, 65}}) {
    EXPECT_LT(tav_setoptions(f, level, threads), 0) << level << " " << threads;
    EXPECT_NE(std::string(tav_lasterror()).find(path), std::string::npos);
  }
  EXPECT_EQ(tav_setoptions(f, 12, 64), 0) << tav_lasterror();
  EXPECT_EQ(tav_setoptions(f, 1, 1), 0);
  EXPECT_EQ(tav_setoptions(f, 0, 0), 0);
  const uint8_t row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(tav_putrow(f, 0, row), 0);
  EXPECT_LT(tav_setoptions(f, 6, 2), 0);
  EXPECT_NE(std::string(tav_lasterror()).find("before the first row"), std::string::npos);
  for (int y = 1; y < 4; ++y) ASSERT_EQ(tav_putrow(f, y, row), 0);
  EXPECT_EQ(tav_fclose(f), 0) << tav_lasterror();
  EXPECT_GE(tav::DefaultThreads(), 1);
  EXPECT_LE(tav::DefaultThreads(), tav::kDefaultThreadCap);
}

// The ring holds 2 strips per worker and no more: a full ring is reported
// full, strips come back in the order they were handed over, each with its
// own rows, however the workers finish.
TEST(StripRing, BoundedAndInOrder) {
  tav::StripSettings settings;
  settings.coding = tav::StripCoding::kPackBits;
  settings.threads = 3;
  settings.row_bytes = 4096;
  settings.rows_per_strip = 16;
  std::string error;
  auto ring = tav::StripPipeline::Create(settings, error);
  ASSERT_NE(ring, nullptr) << error;
  EXPECT_EQ(ring->Capacity(), 6u);
  EXPECT_EQ(ring->Workers(), 3);
  std::mt19937 random(1);
  uint32_t next_out = 0;
  for (uint32_t strip = 0; strip < 40; ++strip) {
    ASSERT_FALSE(ring->Full());
    uint8_t* raw = ring->FillBuffer();
    // Strip number in every byte; some strips noisy so they take longer.
    for (std::size_t i = 0; i < settings.row_bytes * settings.rows_per_strip; ++i) {
      raw[i] = static_cast<uint8_t>(strip % 3 == 0 ? (random() & 1) * strip : strip);
    }
    ring->Submit(1 + strip % settings.rows_per_strip, false);
    EXPECT_LE(ring->InFlight(), ring->Capacity());
    tav::CodedStrip coded;
    while (ring->Oldest(ring->Full(), coded)) {
      ASSERT_EQ(coded.failure, nullptr);
      EXPECT_EQ(coded.rows, 1 + next_out % settings.rows_per_strip);
      Bytes back;
      ASSERT_TRUE(UnpackBits(Bytes(coded.data, coded.data + coded.size), back));
      ASSERT_EQ(back.size(), coded.rows * settings.row_bytes);
      for (uint8_t b : back) {
        if (b != 0) {
          ASSERT_EQ(b, static_cast<uint8_t>(next_out)) << "strip " << next_out;
        }
      }
      ring->ReleaseOldest();
      ++next_out;
    }
  }
  tav::CodedStrip coded;
  while (ring->Oldest(true, coded)) {
    ring->ReleaseOldest();
    ++next_out;
  }
  EXPECT_EQ(next_out, 40u);
  EXPECT_FALSE(ring->Oldest(true, coded));
}

// Memory stays bounded whatever is asked: at most kMaxWorkers workers, their
// compressors and strips within kWorkerBudgetBytes, and strips of several MiB (very wide rows)
// coded one at a time on the caller's thread.
TEST(StripRing, MemoryBoundedForAnyThreadCount) {
  tav::StripSettings settings;
  settings.coding = tav::StripCoding::kDeflate;
  settings.level = 12;
  settings.threads = 64;
  settings.row_bytes = 2500;
  settings.rows_per_strip = tav::RowsPerStrip(2500, 30000);
  std::string error;
  auto ring = tav::StripPipeline::Create(settings, error);
  ASSERT_NE(ring, nullptr) << error;
  EXPECT_LE(ring->Workers(), tav::kMaxWorkers);
  EXPECT_GE(ring->Workers(), 2);
  EXPECT_LE(ring->Capacity() * 2 * settings.row_bytes * settings.rows_per_strip +
                static_cast<std::size_t>(ring->Workers()) * tav::CompressorBytes(12),
            tav::kWorkerBudgetBytes);
  EXPECT_LE(ring->Capacity(), 2u * static_cast<unsigned>(ring->Workers()));

  settings.row_bytes = 12u * 1024 * 1024;  // one row per strip, 24 MiB a strip with its code
  settings.rows_per_strip = 1;
  settings.threads = 4;
  ring = tav::StripPipeline::Create(settings, error);
  ASSERT_NE(ring, nullptr) << error;
  EXPECT_EQ(ring->Workers(), 0);
  EXPECT_EQ(ring->Capacity(), 1u);
}

}  // namespace
}  // namespace tavtest
