// Tests of the file utility library: lognam, fdelete and fopen_utf8.
#include "fileutil.h"
#include "utf8file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr const char* kVariable = "DRAV_FILEUTIL_TEST_VALUE";

TEST(Lognam, CopiesDefinedValueCutToTheBuffer) {
  ASSERT_EQ(setenv(kVariable, "abcdef", 1), 0);
  char buffer[12];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_NE(lognam(kVariable, buffer, 4), 0);
  EXPECT_STREQ(buffer, "abc");
  for (size_t i = 4; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << "byte " << i;

  EXPECT_NE(lognam(kVariable, buffer, 7), 0);  // exact fit
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_NE(lognam(kVariable, buffer, 1), 0);  // room for the terminator only
  EXPECT_STREQ(buffer, "");
  unsetenv(kVariable);
}

TEST(Lognam, UndefinedOrUnusableArgumentsGiveZero) {
  unsetenv(kVariable);
  char buffer[8] = "old";
  EXPECT_EQ(lognam(kVariable, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  std::strcpy(buffer, "old");
  EXPECT_EQ(lognam(nullptr, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");

  ASSERT_EQ(setenv(kVariable, "value", 1), 0);
  std::strcpy(buffer, "old");
  EXPECT_EQ(lognam(kVariable, buffer, 0), 0);  // nothing may be written
  EXPECT_STREQ(buffer, "old");
  EXPECT_EQ(lognam(kVariable, nullptr, 8), 0);
  unsetenv(kVariable);
}

// Gives each test an empty folder of its own.
class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "dict_tests_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(FileTest, FdeleteRemovesFilesOnly) {
  const fs::path file = dir_ / "scratch.tav";
  std::FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  EXPECT_EQ(fdelete(file.c_str()), 0);
  EXPECT_FALSE(fs::exists(file));
  errno = 0;
  EXPECT_EQ(fdelete(file.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(fdelete(nullptr), -1);
  EXPECT_EQ(errno, EINVAL);

  const fs::path sub = dir_ / "folder";
  fs::create_directory(sub);
  EXPECT_EQ(fdelete(sub.c_str()), -1);
  EXPECT_TRUE(fs::is_directory(sub));
}

TEST_F(FileTest, FopenUtf8OpensNonAsciiNamesWithoutLeakingToChildren) {
  const std::string path = (dir_ / "S\xC3\xA9paration \xE6\x97\xA5\xF0\x9F\x8E\xA8.tav").string();
  std::FILE* out = fopen_utf8(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_NE(fcntl(fileno(out), F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(std::fputs("payload", out), 1);
  std::fclose(out);

  std::FILE* in = fopen_utf8(path.c_str(), "r+b");
  ASSERT_NE(in, nullptr);
  EXPECT_NE(fcntl(fileno(in), F_GETFD) & FD_CLOEXEC, 0);
  char text[16] = {};
  EXPECT_NE(std::fgets(text, sizeof text, in), nullptr);
  EXPECT_STREQ(text, "payload");
  std::fclose(in);

  errno = 0;
  EXPECT_EQ(fopen_utf8((dir_ / "absent").c_str(), "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileTest, FopenUtf8RefusesMalformedNames) {
  const char* const bad[] = {
      "\xC3\x28",          // continuation byte missing
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong '/' in three bytes
      "\xF0\x80\x80\xAF",  // overlong '/' in four bytes
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF8\x88\x80\x80\x80",
      "\x80",              // stray continuation byte
      "\xE6\x97",          // cut at the end
  };
  for (const char* name : bad) {
    const std::string path = (dir_ / name).string();
    errno = 0;
    EXPECT_EQ(fopen_utf8(path.c_str(), "wb"), nullptr) << name;
    EXPECT_EQ(errno, EILSEQ) << name;
  }
  EXPECT_TRUE(fs::is_empty(dir_));  // nothing was created
  errno = 0;
  EXPECT_EQ(fopen_utf8(nullptr, "rb"), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

}  // namespace
