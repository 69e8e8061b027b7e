// private_temp_test.cpp - the private temporary folder: made private and
// locked, handed to Ghostscript through TMPDIR, removed at the end; the
// folders of dead processes go, live ones stay whatever their process
// number says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/document/private_temp.h"
#include "sources/document/spool_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using riphost_test::TempDir;
using riphost_test::write_file;

// The number of a process that has ended and been reaped.
pid_t dead_pid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// True when another open file description can lock file: nobody holds it.
bool lockable(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  const bool free = fcntl(fd, F_OFD_SETLK, &lock) == 0;
  close(fd);
  return free;
}

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

TEST(PrivateTemp, AFolderIsPrivateLockedAndGoneWithEverythingInIt) {
  TempDir base;
  fs::path folder, work;
  {
    riphost::PrivateTempFolder temp(base.path());
    folder = temp.folder();
    work = temp.work();
    EXPECT_EQ(folder.parent_path(), base.path());
    const std::string name = folder.filename().string();
    const std::string prefix = riphost::private_folder_prefix() + std::to_string(getpid()) + ".";
    EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0) << name;
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(stat(work.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_FALSE(lockable(folder / "lock")) << "the owner holds the lock";
    // What Ghostscript and the planes leave in the work folder goes too.
    fs::create_directories(work / "planes.abc");
    write_file(work / "planes.abc" / "page(Cyan).tif", "plane");
  }
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(names_in(base.path()).empty());

  // A base that cannot take a folder is named in the error.
  try {
    riphost::PrivateTempFolder missing(base / "missing");
    ADD_FAILURE() << "a folder in a missing base";
  } catch (const riphost::TemporaryFolderError& error) {
    EXPECT_NE(std::string(error.what()).find((base / "missing").string()), std::string::npos) << error.what();
  }
  // A full disk is said as such.
  EXPECT_EQ(riphost::temp_failure("/mnt/x", ENOSPC), "the temporary folder /mnt/x is full (No space left on device)");
}

TEST(PrivateTemp, AScopeMakesItsFolderWhenAskedAndPutsTmpdirBack) {
  TempDir base;
  for (const std::string& outside : {base.path().string(), std::string()}) {
    SCOPED_TRACE(outside.empty() ? "TMPDIR unset" : "TMPDIR set");
    riphost_test::TmpdirAs tmpdir(outside);
    const fs::path expected_base = outside.empty() ? fs::path("/tmp") : base.path();
    fs::path work;
    {
      riphost::TemporaryFolderScope scope;
      EXPECT_EQ(std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string(), outside)
          << "nothing is made before a document needs it";
      work = riphost::private_work_folder();
      EXPECT_EQ(work.parent_path().parent_path(), expected_base);
      ASSERT_NE(std::getenv("TMPDIR"), nullptr);
      EXPECT_EQ(fs::path(std::getenv("TMPDIR")), work) << "Ghostscript and its gs program take it";
      EXPECT_EQ(riphost::private_work_folder(), work) << "one folder per run";
      EXPECT_EQ(riphost::spool_folder(), work);
      {
        // A run inside a run (a test's) gets a folder of its own, inside.
        riphost::TemporaryFolderScope inner;
        const fs::path inner_work = riphost::private_work_folder();
        EXPECT_EQ(inner_work.parent_path().parent_path(), work);
      }
      EXPECT_EQ(fs::path(std::getenv("TMPDIR")), work);
      EXPECT_TRUE(fs::is_directory(work));
    }
    EXPECT_FALSE(fs::exists(work.parent_path()));
    EXPECT_EQ(std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string(), outside);
    EXPECT_EQ(riphost::private_work_folder(), expected_base) << "no scope: the base as it is";
  }
}

// Folders of this host's dead processes go; a live owner, whatever its
// process number says here (another PID namespace), keeps its folder by
// its lock; other hosts' folders, links and files are never touched.
TEST(PrivateTemp, OnlyAbandonedFoldersAreRemoved) {
  TempDir base;
  const std::string prefix = riphost::private_folder_prefix();
  const std::string dead = std::to_string(dead_pid());
  const std::string gone = prefix + dead + ".aaaaaa";
  const std::string gone_aside = prefix + dead + ".bbbbbb.end";
  const std::string locked = prefix + dead + ".cccccc";
  const std::string alive = prefix + std::to_string(getpid()) + ".dddddd";
  const std::string other_host = "riphost.elsewhere." + dead + ".eeeeee";
  const std::string making = prefix + dead + ".ffffff";  // no lock file yet, new
  const std::string unlocked_old = prefix + dead + ".gggggg";  // no lock file, long unchanged
  const std::string link = prefix + dead + ".hhhhhh";
  const std::string file = prefix + dead + ".iiiiii";
  for (const std::string& name : {gone, gone_aside, locked, alive, other_host}) {
    fs::create_directories(base / name / "work");
    write_file(base / name / "lock", "");
    write_file(base / name / "work" / "data", "data");
  }
  fs::create_directories(base / making / "work");
  fs::create_directories(base / unlocked_old / "work");
  const std::time_t old = std::time(nullptr) - 3600;
  const struct timespec times[2] = {{old, 0}, {old, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (base / unlocked_old).c_str(), times, 0), 0);
  fs::create_directories(base / "target" / "work");
  fs::create_directory_symlink(base / "target", base / link);
  write_file(base / file, "");
  const int holder = open((base / locked / "lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);

  std::vector<fs::path> removed;
  EXPECT_EQ(riphost::remove_abandoned_private_folders(base.path(), [&](const fs::path& p) { removed.push_back(p); }),
            3);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<fs::path>{base / gone, base / gone_aside, base / unlocked_old}));
  for (const std::string& name : {locked, alive, other_host, making, link, file}) {
    EXPECT_TRUE(fs::exists(fs::symlink_status(base / name))) << name;
  }
  EXPECT_TRUE(fs::exists(base / "target" / "work"));

  close(holder);  // its owner dies
  EXPECT_EQ(riphost::remove_abandoned_private_folders(base.path(), {}), 1);
  EXPECT_FALSE(fs::exists(base / locked));
  EXPECT_EQ(riphost::remove_abandoned_private_folders(base / "missing", {}), 0);
}

}  // namespace
