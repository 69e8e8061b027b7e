// A failing disk is reported in plain words: the system's reason first, then
// what the writer was doing and to which file. The failures are made by the
// writer's test seam (tav::FailIoForTesting) and by /dev/full.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tav.h"
#include "tav_test_support.h"
#include "tav_tiffio.h"

namespace tavtest {
namespace {

constexpr char kNoSpace[] = "No space left on device";

bool StartsWith(const std::string& text, const std::string& front) {
  return text.compare(0, front.size(), front) == 0;
}

class WriterFailure : public ::testing::Test {
 protected:
  void TearDown() override { tav::ClearIoFailureForTesting(); }

  // Opens an 8-bit file of 64 rows of 64 KiB: 8 rows per strip, 8 strips.
  TavFile* OpenBig() {
    TavFile* f = tav_fopenw(path_.c_str(), 3, 0, 0x11, kHeight, kWidth, 10, 10);
    EXPECT_NE(f, nullptr) << tav_lasterror();
    return f;
  }
  // Writes every row; returns the first row refused, or -1.
  int PutAllRows(TavFile* f) {
    int refused = -1;
    for (int y = 0; y < kHeight; ++y) {
      if (tav_putrow(f, y, row_.data()) != 0 && refused < 0) refused = y;
    }
    return refused;
  }

  static constexpr int kWidth = 64 * 1024;
  static constexpr int kHeight = 64;
  TempDir dir_;
  std::string path_ = dir_.Path("out.tav");
  Bytes row_ = Bytes(kWidth, 0xFF);
};

// The disk fills while strips are written: the row whose strip could not be
// written is refused, later rows too, and the close repeats the reason.
TEST_F(WriterFailure, WriteFailureNamesTheCauseAndTheRow) {
  TavFile* f = OpenBig();
  ASSERT_NE(f, nullptr);
  tav::FailIoForTesting(tav::IoCall::kWrite, 2, ENOSPC);
  int refused = -1;
  std::string reason;
  for (int y = 0; y < kHeight; ++y) {
    if (tav_putrow(f, y, row_.data()) != 0) {
      refused = y;
      reason = tav_lasterror();
      break;
    }
  }
  ASSERT_GE(refused, 0) << "no row was refused";
  EXPECT_EQ(refused % 8, 7) << "a row is refused when its strip is written";
  EXPECT_EQ(reason, std::string(kNoSpace) + " (writing row " + std::to_string(refused) + " of " +
                        path_ + ")");
  EXPECT_LT(tav_putrow(f, refused + 1, row_.data()), 0);
  EXPECT_TRUE(StartsWith(tav_lasterror(), reason)) << tav_lasterror();
  EXPECT_LT(tav_fclose(f), 0);
  const std::string closing = tav_lasterror();
  EXPECT_TRUE(StartsWith(closing, reason)) << closing;
  EXPECT_NE(closing.find("rows were written"), std::string::npos) << closing;
}

// Rows fit, but the tag directory written at close does not.
TEST_F(WriterFailure, FlushSyncAndCloseFailuresNameTheCause) {
  {
    TavFile* f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PutAllRows(f), -1);
    ASSERT_EQ(tav_puttag(f, "_KVT_XMP", 3, "x\n"), 0);
    tav::FailIoForTesting(tav::IoCall::kWrite, 0, ENOSPC);
    EXPECT_LT(tav_fclose(f), 0);
    EXPECT_EQ(std::string(tav_lasterror()), std::string(kNoSpace) + " (writing " + path_ + ")");
  }
  {
    tav::FailIoForTesting(tav::IoCall::kSync, 0, ENOSPC);
    TavFile* f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PutAllRows(f), -1);
    EXPECT_LT(tav_fclose(f), 0);
    EXPECT_EQ(std::string(tav_lasterror()),
              std::string(kNoSpace) + " (syncing " + path_ + " to disk)");
  }
  {
    // A network file system may report the lost data only at close.
    tav::FailIoForTesting(tav::IoCall::kClose, 0, ENOSPC);
    TavFile* f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PutAllRows(f), -1);
    EXPECT_LT(tav_fclose(f), 0);
    EXPECT_EQ(std::string(tav_lasterror()), std::string(kNoSpace) + " (closing " + path_ + ")");
  }
  {
    // Other errors keep their own text; a sync the file system cannot do is
    // no failure.
    tav::FailIoForTesting(tav::IoCall::kWrite, 3, EIO);
    TavFile* f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_GE(PutAllRows(f), 0);
    EXPECT_TRUE(StartsWith(tav_lasterror(), "Input/output error (writing row ")) << tav_lasterror();
    EXPECT_LT(tav_fclose(f), 0);
    tav::FailIoForTesting(tav::IoCall::kSync, 0, EINVAL);
    f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PutAllRows(f), -1);
    EXPECT_EQ(tav_fclose(f), 0) << tav_lasterror();
  }
  // Without a failure the same file is written and reads back.
  tav::ClearIoFailureForTesting();
  TavFile* f = OpenBig();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(PutAllRows(f), -1);
  EXPECT_EQ(tav_fclose(f), 0) << tav_lasterror();
  tav::TavReader reader(path_);
  EXPECT_EQ(reader.Info().height, kHeight);
}

// Every write at close can fail: the private IFD, the tag directory after it
// and libtiff's main IFD. Each failure names its cause; once none fails, the
// file is complete.
TEST_F(WriterFailure, EveryWriteOfTheCloseNamesTheCause) {
  int failures = 0;
  for (int succeed = 0; succeed < 20; ++succeed) {
    TavFile* f = OpenBig();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PutAllRows(f), -1);
    ASSERT_EQ(tav_puttag(f, "_KVTVIEW.PNG", 5000, Bytes(5000, 7).data()), 0);
    tav::FailIoForTesting(tav::IoCall::kWrite, succeed, ENOSPC);
    const int closed = tav_fclose(f);
    tav::ClearIoFailureForTesting();
    if (closed == 0) break;
    ++failures;
    EXPECT_EQ(std::string(tav_lasterror()), std::string(kNoSpace) + " (writing " + path_ + ")")
        << "after " << succeed << " writes";
  }
  EXPECT_GE(failures, 3) << "the private IFD, the directory and the main IFD are written";
  tav::TavReader reader(path_);
  ASSERT_NE(reader.FindTag("_KVTVIEW.PNG"), nullptr);
  EXPECT_EQ(reader.FindTag("_KVTVIEW.PNG")->value, Bytes(5000, 7));
}

// The real device that is always full: whichever call fails first says so.
TEST(WriterFullDevice, DevFullReportsNoSpace) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full not writable";
  TavFile* f = tav_fopenw("/dev/full", 2, 0, 0x11, 2, 16, 1, 1);
  if (f != nullptr) {
    const uint8_t row[2] = {1, 2};
    const bool rows_ok = tav_putrow(f, 0, row) == 0 && tav_putrow(f, 1, row) == 0;
    const std::string row_error = tav_lasterror();
    const bool closed = tav_fclose(f) == 0;
    EXPECT_FALSE(rows_ok && closed);
    if (!rows_ok) {
      EXPECT_TRUE(StartsWith(row_error, kNoSpace)) << row_error;
    }
  }
  EXPECT_TRUE(StartsWith(tav_lasterror(), kNoSpace)) << tav_lasterror();
  EXPECT_NE(std::string(tav_lasterror()).find("/dev/full"), std::string::npos);
}

}  // namespace
}  // namespace tavtest
