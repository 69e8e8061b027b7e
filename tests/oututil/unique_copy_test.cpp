// unique_copy_test.cpp - dravoututil_uniquecopy: numbered copies, identical
// contents, several processes at once, and failures that leave nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "dravoututil.h"
#include "fake_host.h"
#include "file_ops.h"
#include "processes.h"
#include "test_files.h"

namespace {

const std::string kStem = "job-20240101-120000";

// Contents large enough to need several copy steps, different at every byte
// position modulo a prime.
std::string sample_contents() {
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + 7) % 251);
  return bytes;
}

class UniqueCopy : public testing::Test {
 protected:
  void SetUp() override {
    util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
    source = folder / (kStem + ".tav");
    write_file(source, contents);
  }
  void TearDown() override { dravoututil_end(util); }

  // Copies from; returns the copy's name or "" on failure.
  std::string copy(const std::string& from, int size = DRAV_NAME_SIZE) {
    char name[DRAV_NAME_SIZE] = "old";
    if (dravoututil_uniquecopy(util, name, size, from.c_str()) != 0) return "";
    return name;
  }

  FakeHost host;
  TempFolder folder;
  DravOutUtil* util = nullptr;
  std::string contents = sample_contents();
  std::string source;
};

// A source whose base name is near the file system's 255 bytes still gets
// its copy: only the copy's final name has to fit, not its longer temporary.
TEST_F(UniqueCopy, CopiesANameOfNearlyTheLongestLength) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(folder.path().c_str()), 0);
  std::string stem(240, 'c');
  stem += "\xc3\xa9\xc3\xa9\xc3\xa9";  // a character that a cut must not split
  const std::string name = stem + ".tav";  // 250 bytes; the copy's name 252
  write_file(name, "long");
  std::string made = copy(name);
  std::string second = copy(name);
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(made, stem + "-2.tav");
  EXPECT_EQ(second, stem + "-3.tav");
  EXPECT_EQ(read_file(folder / (stem + "-2.tav")), "long");
  EXPECT_EQ(list_folder(folder.path()).size(), 4u);  // the sources and two copies
  EXPECT_TRUE(host.messages.empty()) << host.messages[0].text;
}

TEST_F(UniqueCopy, MakesNumberedCopiesWithTheSameContents) {
  EXPECT_EQ(copy(source), folder / (kStem + "-2.tav"));
  EXPECT_EQ(copy(source), folder / (kStem + "-3.tav"));
  EXPECT_EQ(read_file(folder / (kStem + "-2.tav")), contents);
  EXPECT_EQ(read_file(folder / (kStem + "-3.tav")), contents);
  EXPECT_EQ(read_file(source), contents);
  EXPECT_EQ(list_folder(folder.path()).size(), 3u);  // no temporary file left
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(UniqueCopy, ACopyOfANumberedFileTakesTheNextFreeNumber) {
  std::string second = folder / (kStem + "-2.tav");
  write_file(second, "two");
  EXPECT_EQ(copy(second), folder / (kStem + "-3.tav"));
  EXPECT_EQ(read_file(folder / (kStem + "-3.tav")), "two");
  EXPECT_EQ(read_file(second), "two");  // never replaced
}

TEST_F(UniqueCopy, CopiesAnEmptyFile) {
  std::string empty = folder / "empty.tav";
  write_file(empty, "");
  EXPECT_EQ(copy(empty), folder / "empty-2.tav");
  EXPECT_EQ(read_file(folder / "empty-2.tav"), "");
}

TEST_F(UniqueCopy, ABufferTooSmallLeavesNothingBehind) {
  int needed = static_cast<int>((folder / (kStem + "-2.tav")).size()) + 1;
  EXPECT_EQ(copy(source, needed - 1), "");
  EXPECT_EQ(list_folder(folder.path()), std::vector<std::string>{kStem + ".tav"});
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].level, DRAV_MSG_ERROR);
  EXPECT_EQ(copy(source, needed), folder / (kStem + "-2.tav"));
}

// The name is checked before the contents are copied: a source that cannot
// even be opened is refused for its name.
TEST_F(UniqueCopy, ANameTooLongIsRefusedBeforeTheCopy) {
  std::string missing = folder / (kStem + "-missing.tav");
  EXPECT_EQ(copy(missing, static_cast<int>(missing.size())), "");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find("does not fit"), std::string::npos)
      << host.messages[0].text;
}

// Copies and renames of one stem share the numbers of one handle.
TEST_F(UniqueCopy, CopiesCarryOnAfterTheHandlesLastNumber) {
  ASSERT_EQ(copy(source), folder / (kStem + "-2.tav"));
  ASSERT_EQ(copy(source), folder / (kStem + "-3.tav"));
  ASSERT_EQ(unlink((folder / (kStem + "-2.tav")).c_str()), 0);
  EXPECT_EQ(copy(source), folder / (kStem + "-4.tav"));
  EXPECT_EQ(list_folder(folder.path()).size(), 3u);
}

TEST_F(UniqueCopy, RefusesMissingSourcesAndFolders) {
  EXPECT_EQ(copy(folder / "missing.tav"), "");
  EXPECT_EQ(copy(folder.path()), "");  // ends in "/": no file name
  std::string subfolder = folder / "sub.tav";
  ASSERT_EQ(mkdir(subfolder.c_str(), 0700), 0);
  EXPECT_EQ(copy(subfolder), "");
  EXPECT_EQ(list_folder(folder.path()).size(), 2u);
  EXPECT_EQ(host.messages.size(), 3u);
  char name[DRAV_NAME_SIZE];
  EXPECT_NE(dravoututil_uniquecopy(util, name, DRAV_NAME_SIZE, nullptr), 0);
  EXPECT_NE(dravoututil_uniquecopy(nullptr, name, DRAV_NAME_SIZE, source.c_str()), 0);
}

TEST_F(UniqueCopy, EightProcessesAtOnceGetDistinctCompleteCopies) {
  constexpr int kProcesses = 8;
  constexpr int kCopies = 10;
  int failed = run_in_processes(kProcesses, [&](int) {
    for (int i = 0; i < kCopies; ++i) {
      if (copy(source).empty()) return false;
    }
    return true;
  });
  EXPECT_EQ(failed, 0);
  std::vector<std::string> names = list_folder(folder.path());
  EXPECT_EQ(names.size(), static_cast<std::size_t>(1 + kProcesses * kCopies));
  std::set<std::string> expected{kStem + ".tav"};
  for (int n = 2; n <= 1 + kProcesses * kCopies; ++n) {
    expected.insert(kStem + "-" + std::to_string(n) + ".tav");
  }
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
  for (const std::string& name : names) {
    EXPECT_EQ(read_file(folder / name), contents) << name;
  }
}

// A pipe cannot serve copy_file_range: the buffer copy takes over.
TEST(CopyContents, FallsBackToReadAndWrite) {
  TempFolder folder;
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  std::string text = "through a pipe";
  ASSERT_EQ(write(pipe_ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(pipe_ends[1]);
  std::string target = folder / "out";
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(out, 0);
  EXPECT_NO_THROW(dravoututil::copy_contents(pipe_ends[0], out, "pipe", target));
  close(out);
  close(pipe_ends[0]);
  EXPECT_EQ(read_file(target), text);
}

}  // namespace
