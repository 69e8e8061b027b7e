// unique_rename_test.cpp - dravoututil_uniquerename: final names, never
// replacing a file, several processes at once, and failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <set>
#include <string>

#include "dravoututil.h"
#include "fake_host.h"
#include "output_files.h"
#include "processes.h"
#include "test_files.h"

namespace {

constexpr int32_t kTime = 1700000000;

// "job-YYYYMMDD-HHMMSS" for kTime.
std::string stem() { return "job-" + local_stamp(kTime); }

class UniqueRename : public testing::Test {
 protected:
  void SetUp() override {
    host.options["OUTDIR"] = folder.path();
    host.options["JOBNAME"] = "job";
    util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
  }
  void TearDown() override { dravoututil_end(util); }

  // A new temporary file holding contents; empty on failure.
  std::string temporary(const std::string& contents, const char* suffix = ".tmp") {
    char name[DRAV_NAME_SIZE];
    int32_t time = kTime;
    if (dravoututil_outputspec(util, name, sizeof name, suffix, &time) != 0) return "";
    write_file(name, contents);
    return name;
  }

  // Renames source with extension; returns the final name or "" on failure.
  std::string rename(const std::string& source, const char* extension = ".tav",
                     int size = DRAV_NAME_SIZE) {
    char name[DRAV_NAME_SIZE] = "old";
    if (dravoututil_uniquerename(util, name, size, source.c_str(), extension) != 0) return "";
    return name;
  }

  FakeHost host;
  TempFolder folder;
  DravOutUtil* util = nullptr;
};

TEST_F(UniqueRename, GivesTheBareNameFirstThenNumberedOnes) {
  std::string a = temporary("a"), b = temporary("b"), c = temporary("c");
  EXPECT_EQ(rename(a), folder / (stem() + ".tav"));
  EXPECT_EQ(rename(b), folder / (stem() + "-2.tav"));
  EXPECT_EQ(rename(c), folder / (stem() + "-3.tav"));
  EXPECT_EQ(read_file(folder / (stem() + ".tav")), "a");
  EXPECT_EQ(read_file(folder / (stem() + "-2.tav")), "b");
  EXPECT_EQ(read_file(folder / (stem() + "-3.tav")), "c");
  EXPECT_FALSE(exists(a));
  EXPECT_EQ(list_folder(folder.path()).size(), 3u);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(UniqueRename, ThePreviewAndTheRasterFileShareTheStem) {
  std::string raster = temporary("raster"), preview = temporary("png", ".tmp_pngpreview");
  EXPECT_EQ(rename(preview, ".png"), folder / (stem() + ".png"));
  EXPECT_EQ(rename(raster), folder / (stem() + ".tav"));
}

// Each extension of a stem counts on its own: the previews and the raster
// files of two separations in the same second pair up by number.
TEST_F(UniqueRename, EachExtensionOfAStemIsNumberedOnItsOwn) {
  std::string raster1 = temporary("r1"), preview1 = temporary("p1", ".tmp_pngpreview");
  std::string raster2 = temporary("r2"), preview2 = temporary("p2", ".tmp_pngpreview");
  EXPECT_EQ(rename(preview1, ".png"), folder / (stem() + ".png"));
  EXPECT_EQ(rename(raster1), folder / (stem() + ".tav"));
  EXPECT_EQ(rename(preview2, ".png"), folder / (stem() + "-2.png"));
  EXPECT_EQ(rename(raster2), folder / (stem() + "-2.tav"));
}

// Numbers grow within one handle: a name freed after the handle took it is
// not handed out again by that handle, but a new handle starts from the
// lowest free one.
TEST_F(UniqueRename, NumbersGrowWithinOneHandle) {
  std::string a = temporary("a"), b = temporary("b"), c = temporary("c");
  ASSERT_EQ(rename(a), folder / (stem() + ".tav"));
  ASSERT_EQ(rename(b), folder / (stem() + "-2.tav"));
  ASSERT_EQ(unlink((folder / (stem() + ".tav")).c_str()), 0);
  EXPECT_EQ(rename(c), folder / (stem() + "-3.tav"));

  DravOutUtil* other = dravoututil_init(host.callbacks(), 0, nullptr);
  ASSERT_NE(other, nullptr);
  std::string d = temporary("d");
  char name[DRAV_NAME_SIZE];
  EXPECT_EQ(dravoututil_uniquerename(other, name, sizeof name, d.c_str(), ".tav"), 0);
  EXPECT_EQ(name, folder / (stem() + ".tav"));
  dravoututil_end(other);
}

TEST_F(UniqueRename, NeverReplacesAnExistingFile) {
  write_file(folder / (stem() + ".tav"), "first owner");
  write_file(folder / (stem() + "-2.tav"), "second owner");
  std::string source = temporary("new");
  EXPECT_EQ(rename(source), folder / (stem() + "-3.tav"));
  EXPECT_EQ(read_file(folder / (stem() + ".tav")), "first owner");
  EXPECT_EQ(read_file(folder / (stem() + "-2.tav")), "second owner");
  EXPECT_EQ(read_file(folder / (stem() + "-3.tav")), "new");
}

TEST_F(UniqueRename, ASourceOfAnotherFormKeepsItsOwnStemAndFolder) {
  TempFolder elsewhere;
  write_file(elsewhere / "plain.tif", "p");
  EXPECT_EQ(rename(elsewhere / "plain.tif"), elsewhere / "plain.tav");
  EXPECT_EQ(read_file(elsewhere / "plain.tav"), "p");
}

TEST_F(UniqueRename, ABufferTooSmallLeavesTheFileWhereItWas) {
  std::string source = temporary("kept");
  int needed = static_cast<int>((folder / (stem() + ".tav")).size()) + 1;
  EXPECT_EQ(rename(source, ".tav", needed - 1), "");
  EXPECT_EQ(read_file(source), "kept");
  EXPECT_FALSE(exists(folder / (stem() + ".tav")));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].level, DRAV_MSG_ERROR);
  EXPECT_EQ(rename(source, ".tav", needed), folder / (stem() + ".tav"));
}

TEST_F(UniqueRename, AMissingSourceFailsAndCreatesNothing) {
  char name[DRAV_NAME_SIZE] = "old";
  EXPECT_NE(
      dravoututil_uniquerename(util, name, sizeof name, (folder / ".gone.1.1.tmp").c_str(), ".tav"),
      0);
  EXPECT_TRUE(list_folder(folder.path()).empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].format, "dravoututil: %s");
  EXPECT_NE(host.messages[0].text.find("No such file or directory"), std::string::npos);
}

TEST_F(UniqueRename, RefusesMissingArguments) {
  std::string source = temporary("x");
  char name[DRAV_NAME_SIZE];
  EXPECT_NE(dravoututil_uniquerename(util, nullptr, DRAV_NAME_SIZE, source.c_str(), ".tav"), 0);
  EXPECT_NE(dravoututil_uniquerename(util, name, DRAV_NAME_SIZE, nullptr, ".tav"), 0);
  EXPECT_NE(dravoututil_uniquerename(util, name, DRAV_NAME_SIZE, source.c_str(), nullptr), 0);
  EXPECT_NE(dravoututil_uniquerename(util, name, DRAV_NAME_SIZE, source.c_str(), "/../x"), 0);
  EXPECT_NE(dravoututil_uniquerename(nullptr, name, DRAV_NAME_SIZE, source.c_str(), ".tav"), 0);
  EXPECT_EQ(read_file(source), "x");
  EXPECT_EQ(list_folder(folder.path()).size(), 1u);
}

// Checks that folder holds exactly the files "<p>-<i>" of processes p and
// calls i under final names (and nothing else).
void expect_every_file_once(const std::string& folder, int processes, int calls) {
  std::set<std::string> contents;
  int finals = 0;
  for (const std::string& name : list_folder(folder)) {
    ASSERT_NE(name[0], '.') << "temporary file left: " << name;
    ++finals;
    contents.insert(read_file(folder + "/" + name));
  }
  EXPECT_EQ(finals, processes * calls);
  EXPECT_EQ(contents.size(), static_cast<std::size_t>(processes * calls));
  for (int p = 0; p < processes; ++p) {
    for (int i = 0; i < calls; ++i) {
      EXPECT_EQ(contents.count(std::to_string(p) + "-" + std::to_string(i)), 1u);
    }
  }
}

constexpr int kProcesses = 8;
constexpr int kCalls = 20;

TEST_F(UniqueRename, EightProcessesAtOnceLoseAndReplaceNothing) {
  int failed = run_in_processes(kProcesses, [&](int index) {
    for (int i = 0; i < kCalls; ++i) {
      std::string source = temporary(std::to_string(index) + "-" + std::to_string(i));
      if (source.empty() || rename(source).empty()) return false;
    }
    return true;
  });
  EXPECT_EQ(failed, 0);
  expect_every_file_once(folder.path(), kProcesses, kCalls);
}

// The link + unlink path that file systems without RENAME_NOREPLACE take.
TEST_F(UniqueRename, TheLinkPathAlsoNeverReplacesAFile) {
  using dravoututil::MoveMethod;
  write_file(folder / (stem() + ".tav"), "owner");
  std::string last;
  std::string source = temporary("a");
  dravoututil::UniqueNamer namer(MoveMethod::link_then_unlink);
  EXPECT_EQ(namer.move_to_unique_name(source, ".tav", DRAV_NAME_SIZE, last).name,
            folder / (stem() + "-2.tav"));
  EXPECT_EQ(last, folder / (stem() + "-2.tav"));
  EXPECT_FALSE(exists(source));
  EXPECT_EQ(read_file(folder / (stem() + ".tav")), "owner");
  EXPECT_EQ(read_file(folder / (stem() + "-2.tav")), "a");
}

TEST_F(UniqueRename, TheLinkPathHoldsWithEightProcessesAtOnce) {
  using dravoututil::MoveMethod;
  int failed = run_in_processes(kProcesses, [&](int index) {
    dravoututil::UniqueNamer namer(MoveMethod::link_then_unlink);
    for (int i = 0; i < kCalls; ++i) {
      std::string source = temporary(std::to_string(index) + "-" + std::to_string(i));
      std::string last;
      namer.move_to_unique_name(source, ".tav", DRAV_NAME_SIZE, last);
    }
    return true;
  });
  EXPECT_EQ(failed, 0);
  expect_every_file_once(folder.path(), kProcesses, kCalls);
}

}  // namespace
