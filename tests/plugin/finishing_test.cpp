// Whole separations through the real writer and utility library: pixels in
// the finished files, final names, copies and reports, and each failure path.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dravout.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "tav.h"

namespace plugin_test {
namespace {

using dravout::state;
namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Host pixel x of row y: a pattern that tells left from right and rows apart.
bool host_pixel(int x, int y) { return (x * 3 + y) % 5 == 0 || x == 0; }

class FinishingTest : public PluginTest {
 protected:
  // Starts a page and one separation with the given options.
  void Start(int width, int height, int ncopies) {
    OpenJob();
    ASSERT_EQ(dravout_startpage(Page(width, height, ncopies)), 0);
    ASSERT_EQ(dravout_startseparations(Separation()), 0);
  }
  // Renders rows first .. last-1 of the pattern the way a host does.
  void PutRows(int width, int first, int last) {
    for (int y = first; y < last; ++y) {
      ScanlineBuffer* buffer = nullptr;
      ASSERT_EQ(dravout_newscan(&buffer), 0);
      std::memset(buffer->data, 0, static_cast<std::size_t>(dravout::scanline_bytes));
      for (int x = 0; x < width; ++x) {
        if (host_pixel(x, y)) buffer->data[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
      }
      ASSERT_EQ(dravout_putscan(buffer), 0);
    }
  }
  // Checks the file's pixels against the pattern, mirrored when asked.
  void ExpectPattern(const std::string& path, int width, int height, bool mirrored, bool reversed) {
    tav::TavReader reader(path);
    ASSERT_EQ(reader.Info().width, width);
    ASSERT_EQ(reader.Info().height, height);
    std::vector<uint8_t> row(reader.RowBytes());
    const bool eight = reader.Info().bits_per_sample == 8;
    for (int y = 0; y < height; ++y) {
      reader.ReadRow(y, row.data());
      for (int x = 0; x < width; ++x) {
        const bool ink = eight ? row[x] == 0xFF : (row[x / 8] >> (7 - x % 8)) & 1;
        const bool expected = host_pixel(mirrored ? width - 1 - x : x, y) != reversed;
        ASSERT_EQ(ink, expected) << path << " x=" << x << " y=" << y;
      }
    }
  }
};

TEST_F(FinishingTest, CopiesAreNamedReportedAndIdentical) {
  Start(37, 9, 3);
  PutRows(37, 0, 9);
  ASSERT_EQ(dravout_endseparations(), 0);

  const auto& files = fake_host().files;
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], dravout::output_file_name);
  for (const std::string& f : files) {
    EXPECT_EQ(fs::path(f).extension(), ".tav") << f;
    EXPECT_EQ(fs::path(f).parent_path(), out_dir_) << f;
    EXPECT_EQ(slurp(f), slurp(files[0]));
  }
  EXPECT_NE(files[1], files[0]);
  EXPECT_NE(files[2], files[1]);
  EXPECT_EQ(OutputFiles().size(), 3u);  // no temporary file left
  ExpectPattern(files[0], 37, 9, /*mirrored=*/true, /*reversed=*/false);

  tav::TavReader reader(files[0]);
  EXPECT_EQ(reader.Info().format, 2);
  EXPECT_EQ(reader.Info().compression, 64);
  EXPECT_EQ(reader.Info().mode, 0x13);
  EXPECT_NEAR(reader.Info().x_resolution, 2400.0, 1e-6);
}

TEST_F(FinishingTest, EightBitReversedWithoutMirror) {
  fake_host().strings["OFORMAT"] = "FW88B";
  fake_host().strings["OCOMPRESS"] = "SUN";
  fake_host().ints["LEFT"] = 1;
  fake_host().ints["REVERSE"] = 1;
  Start(21, 4, 1);
  PutRows(21, 0, 4);
  ASSERT_EQ(dravout_endseparations(), 0);
  ASSERT_EQ(fake_host().files.size(), 1u);
  ExpectPattern(fake_host().files[0], 21, 4, /*mirrored=*/false, /*reversed=*/true);
}

TEST_F(FinishingTest, SeparationsOfOnePageGetDistinctFiles) {
  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(16, 2)), 0);
  for (int s = 0; s < 3; ++s) {
    ASSERT_EQ(dravout_startseparations(Separation()), 0);
    PutRows(16, 0, 2);
    ASSERT_EQ(dravout_endseparations(), 0);
  }
  EXPECT_EQ(OutputFiles().size(), 3u);
  EXPECT_EQ(fake_host().files.size(), 3u);
}

TEST_F(FinishingTest, IncompleteFilesAreDeletedNotNamedOrReported) {
  // A short file cannot be closed: it is deleted, not left as debris.
  Start(16, 3, 2);
  PutRows(16, 0, 2);
  EXPECT_EQ(dravout_endseparations(), 6);
  EXPECT_TRUE(fake_host().Has(1, "Closing tavfile failed"));
  EXPECT_TRUE(OutputFiles().empty());

  // A row the writer refuses (here one beyond the page) gives up the file at
  // once; later rows and the end fail in turn, nothing is named.
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  PutRows(16, 0, 3);
  ScanlineBuffer* buffer = nullptr;
  ASSERT_EQ(dravout_newscan(&buffer), 0);
  EXPECT_EQ(dravout_putscan(buffer), 7);
  EXPECT_TRUE(fake_host().Has(1, "Writing scanline 3 failed"));
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_EQ(dravout_putscan(buffer), 7);
  EXPECT_EQ(dravout_endseparations(), 6);

  // The host ends the page, or starts the next one, with a separation open.
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  PutRows(16, 0, 1);
  EXPECT_EQ(dravout_endpage(), 0);
  EXPECT_TRUE(OutputFiles().empty());
  ASSERT_EQ(dravout_startpage(Page(16, 3, 1)), 0);
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  ASSERT_EQ(dravout_startpage(Page(16, 3, 1)), 0);
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_TRUE(fake_host().files.empty());

  // The next separation is whole again.
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  PutRows(16, 0, 3);
  EXPECT_EQ(dravout_endseparations(), 0);
  EXPECT_EQ(fake_host().files.size(), 1u);
  EXPECT_EQ(OutputFiles().size(), 1u);
}

TEST_F(FinishingTest, FailedRenameKeepsTheTemporaryFileUnreported) {
  Start(16, 1, 1);
  PutRows(16, 0, 1);
  const std::string tmp = state.tmp_name;
  // The final name cannot be made: the output folder is no folder any more.
  std::strcpy(state.tmp_name, (out_dir_ / "missing" / "x.tmp").c_str());
  EXPECT_EQ(dravout_endseparations(), 6);
  bool reported = false;
  for (const std::string& m : fake_host().At(1)) {
    reported |= m.rfind("DRAVOUT: Could not generate unique filename (" + std::string(state.tmp_name) + " -> ", 0) == 0;
  }
  EXPECT_TRUE(reported);
  // Nothing is under that name: no message says a file is kept there.
  for (const std::string& m : fake_host().At(3)) {
    EXPECT_EQ(m.find("kept as"), std::string::npos) << m;
  }
  EXPECT_TRUE(fake_host().files.empty());
  EXPECT_TRUE(fs::exists(tmp));
}

TEST_F(FinishingTest, FailedCopyKeepsWhatWasMadeAndReported) {
  Start(16, 1, 4);
  PutRows(16, 0, 1);
  // After the second copy is reported, the first file disappears.
  fake_host().on_file_done = [](const std::string&) {
    if (fake_host().files.size() == 3) fs::remove(dravout::output_file_name);
  };
  EXPECT_EQ(dravout_endseparations(), 7);
  EXPECT_TRUE(fake_host().Has(1, "Could not copy " + std::string(dravout::output_file_name)));
  ASSERT_EQ(fake_host().files.size(), 3u);
  EXPECT_TRUE(fs::exists(fake_host().files[1]));
  EXPECT_TRUE(fs::exists(fake_host().files[2]));
  EXPECT_EQ(OutputFiles().size(), 2u);
}

TEST_F(FinishingTest, SixteenBitWordFormatIsOneBitToo) {
  fake_host().strings["OFORMAT"] = "FW16B";
  fake_host().strings["OCOMPRESS"] = "NONE";
  Start(19, 3, 1);
  PutRows(19, 0, 3);
  ASSERT_EQ(dravout_endseparations(), 0);
  ASSERT_EQ(fake_host().files.size(), 1u);
  tav::TavReader reader(fake_host().files[0]);
  EXPECT_EQ(reader.Info().format, 1);
  EXPECT_EQ(reader.Info().compression, 0);
  ExpectPattern(fake_host().files[0], 19, 3, /*mirrored=*/true, /*reversed=*/false);
}

TEST_F(FinishingTest, SeparationThatCannotBeNamedOrCreatedFailsWithFive) {
  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(16, 2)), 0);
  fake_host().strings["OUTDIR"] = (out_dir_ / "missing").string();
  EXPECT_EQ(dravout_startseparations(Separation()), 5);
  EXPECT_TRUE(fake_host().Has(1, "Could not make a temporary name for the output file"));

  // A file that the writer refuses: its sizes in millimetres are no numbers.
  fake_host().strings["OUTDIR"] = out_dir_.string();
  state.resolution = 0.0;
  EXPECT_EQ(dravout_startseparations(Separation()), 5);
  bool reported = false;
  for (const std::string& m : fake_host().At(1)) reported |= m.rfind("Could not create tavfile (", 0) == 0;
  EXPECT_TRUE(reported);
  EXPECT_TRUE(OutputFiles().empty());  // no reserved name left behind
}

TEST_F(FinishingTest, SeparationsTheHostNeverEndedAreDeletedNotLeaked) {
  Start(16, 2, 1);
  PutRows(16, 0, 1);
  // The host starts the next separation without ending this one ...
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  PutRows(16, 0, 1);
  // ... and ends the job without ending that one either.
  ASSERT_EQ(dravout_endjob(), 0);
  EXPECT_EQ(state.tavfile, nullptr);
  int abandoned = 0;
  for (const std::string& m : fake_host().At(2)) abandoned += m.rfind("Unfinished output file ", 0) == 0;
  EXPECT_EQ(abandoned, 2);
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_TRUE(fake_host().files.empty());

  // The same at close.
  ASSERT_EQ(dravout_close(), 0);
  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(16, 2)), 0);
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  ASSERT_EQ(dravout_close(), 0);
  EXPECT_TRUE(OutputFiles().empty());
}

TEST_F(FinishingTest, RunningAgainAddsFilesAndReplacesNone) {
  for (int run = 0; run < 2; ++run) {
    if (run == 1) {
      ASSERT_EQ(dravout_endjob(), 0);
      ASSERT_EQ(dravout_close(), 0);
    }
    Start(8, 1, 2);
    PutRows(8, 0, 1);
    ASSERT_EQ(dravout_endseparations(), 0);
  }
  EXPECT_EQ(OutputFiles().size(), 4u);
}

}  // namespace
}  // namespace plugin_test
