// What callers rely on from the C functions: refused arguments give null or
// negative results, rows must come in order and complete, and a failed disk
// never looks like success.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "tav.h"
#include "tav_test_support.h"

namespace tavtest {
namespace {

// Captures what the process writes to standard error while it lives.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& path) {
    std::fflush(stderr);
    saved_ = dup(2);
    std::FILE* f = std::fopen(path.c_str(), "w");
    dup2(fileno(f), 2);
    std::fclose(f);
  }
  ~StderrCapture() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

TEST(OpenArguments, InvalidOnesGiveNull) {
  TempDir dir;
  const std::string path = dir.Path("x.tav");
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    int format, compression, mode, height, width;
    double width_mm, height_mm;
  } cases[] = {
      {"format 0", 0, 0, 0, 10, 10, 1, 1},
      {"format 4", 4, 0, 0, 10, 10, 1, 1},
      {"compression 1", 2, 1, 0, 10, 10, 1, 1},
      {"compression 32", 2, 32, 0, 10, 10, 1, 1},
      {"height 0", 2, 0, 0, 0, 10, 1, 1},
      {"width negative", 2, 0, 0, 10, -1, 1, 1},
      {"width_mm 0", 2, 0, 0, 10, 10, 0, 1},
      {"height_mm negative", 2, 0, 0, 10, 10, 1, -1},
      {"width_mm infinite", 2, 0, 0, 10, 10, inf, 1},
      {"height_mm NaN", 2, 0, 0, 10, 10, 1, nan},
      {"width_mm denormal (infinite resolution)", 2, 0, 0, 10, 10, 1e-320, 1},
      {"8-bit rows longer than 256 MiB", 3, 0, 0, 1, (1 << 28) + 1, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tav_fopenw(path.c_str(), c.format, c.compression, c.mode, c.height, c.width,
                         c.width_mm, c.height_mm),
              nullptr)
        << c.what;
    EXPECT_STRNE(tav_lasterror(), "") << c.what;
  }
  EXPECT_EQ(tav_fopenw(nullptr, 2, 0, 0, 1, 1, 1, 1), nullptr);
  EXPECT_EQ(tav_fopenw("", 2, 0, 0, 1, 1, 1, 1), nullptr);
  EXPECT_EQ(tav_fopenw(dir.Path(std::string(300, 'a')).c_str(), 2, 0, 0, 1, 1, 1, 1), nullptr);
  EXPECT_EQ(tav_fopenw(dir.Path("missing/x.tav").c_str(), 2, 0, 0, 1, 1, 1, 1), nullptr);
  EXPECT_NE(std::string(tav_lasterror()).find("missing/x.tav"), std::string::npos);
}

TEST(OpenArguments, UnknownModeBitsAreKept) {
  TempDir dir;
  const std::string path = dir.Path("m.tav");
  ASSERT_EQ(WriteTav(path, 2, 0, 0x7FFF0001, 8, RandomRows(2, 8, 1, 3), 1, 1), 0);
  EXPECT_EQ(tav::TavReader(path).Info().mode, 0x7FFF0001);
}

TEST(NullHandles, Refused) {
  const uint8_t row[1] = {0};
  EXPECT_LT(tav_putrow(nullptr, 0, row), 0);
  EXPECT_LT(tav_puttag(nullptr, "a", 1, "a"), 0);
  EXPECT_LT(tav_fclose(nullptr), 0);
}

TEST(RowOrder, OutOfOrderAndBeyondHeightAreRefused) {
  TempDir dir;
  const std::string path = dir.Path("rows.tav");
  const std::vector<Bytes> rows = RandomRows(2, 20, 3, 9);
  TavFile* f = tav_fopenw(path.c_str(), 2, 0, 0x11, 3, 20, 1, 1);
  ASSERT_NE(f, nullptr);
  EXPECT_LT(tav_putrow(f, 1, rows[1].data()), 0) << "row 1 before row 0";
  EXPECT_LT(tav_putrow(f, -1, rows[0].data()), 0);
  EXPECT_LT(tav_putrow(f, 0, nullptr), 0);
  EXPECT_EQ(tav_putrow(f, 0, rows[0].data()), 0);
  EXPECT_LT(tav_putrow(f, 0, rows[0].data()), 0) << "row 0 twice";
  EXPECT_EQ(tav_putrow(f, 1, rows[1].data()), 0);
  EXPECT_EQ(tav_putrow(f, 2, rows[2].data()), 0);
  EXPECT_LT(tav_putrow(f, 3, rows[2].data()), 0) << "beyond the height";
  EXPECT_NE(std::string(tav_lasterror()).find("row 3"), std::string::npos);
  // Refused rows leave the file intact.
  EXPECT_EQ(tav_fclose(f), 0);
  tav::TavReader reader(path);
  Bytes row(reader.RowBytes());
  for (int y = 0; y < 3; ++y) {
    reader.ReadRow(y, row.data());
    EXPECT_EQ(row, ExpectedStoredRow(rows[y], 2, 20, 0x11));
  }
}

TEST(Close, ShortFileIsNotComplete) {
  TempDir dir;
  for (const int written : {0, 1, 4}) {
    const std::string path = dir.Path("short" + std::to_string(written) + ".tav");
    TavFile* f = tav_fopenw(path.c_str(), 3, 64, 0x11, 5, 10, 1, 1);
    ASSERT_NE(f, nullptr);
    const Bytes row(10, 0xFF);
    for (int y = 0; y < written; ++y) ASSERT_EQ(tav_putrow(f, y, row.data()), 0);
    EXPECT_LT(tav_fclose(f), 0) << written << " of 5 rows";
    EXPECT_NE(std::string(tav_lasterror()).find("5"), std::string::npos);
  }
}

TEST(Tags, InvalidOnesAreRefused) {
  TempDir dir;
  TavFile* f = tav_fopenw(dir.Path("t.tav").c_str(), 2, 0, 0, 1, 8, 1, 1);
  ASSERT_NE(f, nullptr);
  EXPECT_LT(tav_puttag(f, nullptr, 1, "a"), 0);
  EXPECT_LT(tav_puttag(f, "", 1, "a"), 0);
  EXPECT_LT(tav_puttag(f, std::string(256, 'n').c_str(), 1, "a"), 0);
  EXPECT_LT(tav_puttag(f, "neg", -1, "a"), 0);
  EXPECT_LT(tav_puttag(f, "nodata", 4, nullptr), 0);
  EXPECT_EQ(tav_puttag(f, "empty", 0, nullptr), 0);
  const uint8_t row[1] = {0};
  EXPECT_EQ(tav_putrow(f, 0, row), 0);
  EXPECT_EQ(tav_fclose(f), 0);
  tav::TavReader reader(dir.Path("t.tav"));
  ASSERT_EQ(reader.Tags().size(), 1u);
  EXPECT_EQ(reader.Tags()[0].name, "empty");
  EXPECT_TRUE(reader.Tags()[0].value.empty());
}

// /dev/full accepts the open but no byte: the writer must not report
// success, and libtiff's complaints must not reach standard error.
TEST(FullDisk, DevFullNeverSucceeds) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full not writable";
  TempDir dir;
  const std::string err_path = dir.Path("stderr.txt");
  bool succeeded = false;
  {
    StderrCapture capture(err_path);
    TavFile* f = tav_fopenw("/dev/full", 2, 0, 0x11, 2, 16, 1, 1);
    if (f != nullptr) {
      const uint8_t row[2] = {1, 2};
      bool rows_ok = tav_putrow(f, 0, row) == 0;
      rows_ok = tav_putrow(f, 1, row) == 0 && rows_ok;
      succeeded = tav_fclose(f) == 0 && rows_ok;
    }
  }
  EXPECT_FALSE(succeeded);
  EXPECT_STRNE(tav_lasterror(), "");
  EXPECT_TRUE(ReadFileBytes(err_path).empty()) << "libtiff printed to standard error";
}

// Runs body in a child whose files may not grow past limit bytes, and
// returns the child's exit code.
template <typename Body>
int RunWithFileSizeLimit(rlim_t limit, Body body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Exit codes of the children below.
constexpr int kFailureReported = 0;
constexpr int kFalseSuccess = 1;
constexpr int kOpenFailed = 2;

// The disk fills while strips are written.
TEST(FullDisk, FailureWhileWritingRows) {
  TempDir dir;
  const std::string path = dir.Path("limited.tav");
  const std::vector<Bytes> rows = RandomRows(3, 4000, 300, 11);  // 1.2 MB uncompressed
  const int code = RunWithFileSizeLimit(64 * 1024, [&] {
    TavFile* f = tav_fopenw(path.c_str(), 3, 0, 0x11, 300, 4000, 10, 10);
    if (f == nullptr) return kOpenFailed;
    bool rows_ok = true;
    for (int y = 0; y < 300; ++y) rows_ok = tav_putrow(f, y, rows[y].data()) == 0 && rows_ok;
    const int closed = tav_fclose(f);
    return (rows_ok || closed == 0) ? kFalseSuccess : kFailureReported;
  });
  EXPECT_EQ(code, kFailureReported);
}

// The disk fills only when the tag directory is written at close.
TEST(FullDisk, FailureWhileWritingTheDirectory) {
  TempDir dir;
  const std::string path = dir.Path("limited.tav");
  const Bytes big(200 * 1024, 0x5A);
  const int code = RunWithFileSizeLimit(64 * 1024, [&] {
    TavFile* f = tav_fopenw(path.c_str(), 2, 64, 0x11, 10, 64, 1, 1);
    if (f == nullptr) return kOpenFailed;
    const Bytes row(8, 0);
    bool rows_ok = true;
    for (int y = 0; y < 10; ++y) rows_ok = tav_putrow(f, y, row.data()) == 0 && rows_ok;
    const bool tag_ok = tav_puttag(f, "_KVTVIEW.PNG", static_cast<int>(big.size()), big.data()) == 0;
    const int closed = tav_fclose(f);
    if (!rows_ok || !tag_ok) return kOpenFailed;
    return closed == 0 ? kFalseSuccess : kFailureReported;
  });
  EXPECT_EQ(code, kFailureReported);
}

// Writing a file twice under one name replaces it.
TEST(Open, TruncatesAnExistingFile) {
  TempDir dir;
  const std::string path = dir.Path("again.tav");
  ASSERT_EQ(WriteTav(path, 3, 0, 0x11, 500, RandomRows(3, 500, 50, 1), 1, 1), 0);
  const std::vector<Bytes> rows = RandomRows(2, 9, 2, 2);
  ASSERT_EQ(WriteTav(path, 2, 0, 0x11, 9, rows, 1, 1), 0);
  tav::TavReader reader(path);
  EXPECT_EQ(reader.Info().width, 9);
  EXPECT_EQ(reader.Info().height, 2);
}

}  // namespace
}  // namespace tavtest
