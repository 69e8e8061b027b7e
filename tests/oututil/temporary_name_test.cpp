// temporary_name_test.cpp - dravoututil_outputspec: temporary names and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

#include "dravoututil.h"
#include "fake_host.h"
#include "names.h"
#include "test_files.h"

namespace {

constexpr int32_t kTime = 1700000000;

// "YYYYMMDD-HHMMSS" of kTime in local time, as the library should write it.
std::string expected_stamp() { return local_stamp(kTime); }

class TemporaryName : public testing::Test {
 protected:
  void SetUp() override {
    host.options["OUTDIR"] = folder.path();
    host.options["JOBNAME"] = "myjob";
    util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
  }
  void TearDown() override { dravoututil_end(util); }

  // One outputspec call into name (DRAV_NAME_SIZE bytes).
  int make_temporary(const char* suffix, int size = DRAV_NAME_SIZE) {
    return dravoututil_outputspec(util, name, size, suffix, &time);
  }

  FakeHost host;
  TempFolder folder;
  DravOutUtil* util = nullptr;
  int32_t time = kTime;
  char name[DRAV_NAME_SIZE] = "old";
};

TEST_F(TemporaryName, NamesAndCreatesAnEmptyHiddenFile) {
  ASSERT_EQ(make_temporary(".tmp"), 0);
  // <folder>/.myjob-<stamp>.<host>.<pid>.<sequence>.tmp
  std::string text = name;
  std::string prefix = folder.path() + "/.myjob-" + expected_stamp() + "." +
                       dravoututil::host_name() + "." + std::to_string(getpid()) + ".";
  ASSERT_EQ(text.rfind(prefix, 0), 0u) << text;
  ASSERT_GT(text.size(), prefix.size() + 4);
  std::string sequence = text.substr(prefix.size(), text.size() - prefix.size() - 4);
  EXPECT_EQ(sequence.find_first_not_of("0123456789"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 4), ".tmp") << text;
  ASSERT_TRUE(exists(name));
  EXPECT_EQ(read_file(name), "");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(TemporaryName, AJobNameWithDotsAndDigitsKeepsItsStemWhenRenamed) {
  host.options["JOBNAME"] = "a.1.2";
  ASSERT_EQ(make_temporary(".tmp"), 0);
  std::string temporary = name;
  char final_name[DRAV_NAME_SIZE];
  ASSERT_EQ(dravoututil_uniquerename(util, final_name, sizeof final_name, temporary.c_str(), ".tav"),
            0);
  EXPECT_EQ(std::string(final_name), folder / ("a.1.2-" + expected_stamp() + ".tav"));
  EXPECT_FALSE(exists(temporary));
}

// The contract's 32-bit count of seconds for a time after 2038-01-19 is
// negative; the name still carries that time's own date, never 1901.
TEST_F(TemporaryName, TimesAfter2038NameTheirOwnYear) {
  for (int64_t seconds : {int64_t{2147483648}, int64_t{2208988800}, int64_t{2524608000}}) {
    time = static_cast<int32_t>(static_cast<uint32_t>(seconds));
    ASSERT_EQ(make_temporary(".tmp"), 0);
    const std::string text = name;
    EXPECT_NE(text.find("/.myjob-" + local_stamp(seconds) + "."), std::string::npos) << text;
    char final_name[DRAV_NAME_SIZE];
    ASSERT_EQ(dravoututil_uniquerename(util, final_name, sizeof final_name, name, ".tav"), 0);
    EXPECT_EQ(std::string(final_name), folder / ("myjob-" + local_stamp(seconds) + ".tav"));
  }
}

TEST_F(TemporaryName, EveryCallGivesANewName) {
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(make_temporary(".tmp"), 0);
    names.insert(name);
  }
  ASSERT_EQ(make_temporary(".tmp_pngpreview"), 0);
  names.insert(name);
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(list_folder(folder.path()).size(), 6u);
}

TEST_F(TemporaryName, ReadsTheOptionsAnewForEveryCall) {
  TempFolder other;
  host.options["OUTDIR"] = other.path() + "/";  // a final "/" is not doubled
  host.options["JOBNAME"] = "second";
  ASSERT_EQ(make_temporary(".tmp"), 0);
  EXPECT_EQ(std::string(name).rfind(other.path() + "/.second-", 0), 0u) << name;
  host.options.erase("JOBNAME");
  ASSERT_EQ(make_temporary(".tmp"), 0);
  EXPECT_EQ(std::string(name).rfind(other.path() + "/.job-", 0), 0u) << name;
}

TEST_F(TemporaryName, HostileJobNamesStayInTheOutputFolder) {
  const std::string hostile[] = {"../../x", "%s%n", std::string(300, 'q'), "/etc/passwd", ".."};
  const std::string expected[] = {"_._.._x", "_s_n", std::string(64, 'q'), "_etc_passwd", "_."};
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    host.options["JOBNAME"] = hostile[i];
    ASSERT_EQ(make_temporary(".tmp"), 0) << hostile[i];
    std::string prefix = folder.path() + "/." + expected[i] + "-";
    EXPECT_EQ(std::string(name).rfind(prefix, 0), 0u) << name;
    EXPECT_EQ(std::string(name).find('/', folder.path().size() + 1), std::string::npos) << name;
    EXPECT_TRUE(exists(name));
  }
  EXPECT_EQ(list_folder(folder.path()).size(), std::size(hostile));
}

TEST_F(TemporaryName, RefusesANameThatDoesNotFitAndCreatesNothing) {
  ASSERT_EQ(make_temporary(".tmp"), 0);
  int fits = static_cast<int>(std::strlen(name)) + 1;
  std::string first = name;
  std::remove(first.c_str());
  EXPECT_NE(make_temporary(".tmp", fits - 1), 0);
  EXPECT_STREQ(name, "");
  EXPECT_TRUE(list_folder(folder.path()).empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].level, DRAV_MSG_ERROR);
  EXPECT_NE(host.messages[0].text.find("does not fit"), std::string::npos);
  EXPECT_EQ(make_temporary(".tmp", fits), 0);  // exactly enough room
}

TEST_F(TemporaryName, FailsWhenTheFolderIsMissing) {
  host.options["OUTDIR"] = folder / "missing";
  EXPECT_NE(make_temporary(".tmp"), 0);
  EXPECT_STREQ(name, "");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].format, "dravoututil: %s");
  EXPECT_NE(host.messages[0].text.find("No such file or directory"), std::string::npos)
      << host.messages[0].text;
}

TEST_F(TemporaryName, FailsWhenTheFolderIsNotWritable) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempFolder locked;
  ASSERT_EQ(chmod(locked.path().c_str(), 0500), 0);
  host.options["OUTDIR"] = locked.path();
  EXPECT_NE(make_temporary(".tmp"), 0);
  chmod(locked.path().c_str(), 0700);
  EXPECT_TRUE(list_folder(locked.path()).empty());
}

TEST_F(TemporaryName, RefusesMissingArguments) {
  EXPECT_NE(dravoututil_outputspec(util, nullptr, DRAV_NAME_SIZE, ".tmp", &time), 0);
  EXPECT_NE(dravoututil_outputspec(util, name, 0, ".tmp", &time), 0);
  EXPECT_NE(dravoututil_outputspec(util, name, DRAV_NAME_SIZE, nullptr, &time), 0);
  EXPECT_NE(dravoututil_outputspec(util, name, DRAV_NAME_SIZE, ".tmp", nullptr), 0);
  EXPECT_NE(dravoututil_outputspec(nullptr, name, DRAV_NAME_SIZE, ".tmp", &time), 0);
  EXPECT_NE(make_temporary("/../escape"), 0);
  EXPECT_TRUE(list_folder(folder.path()).empty());
}

}  // namespace
