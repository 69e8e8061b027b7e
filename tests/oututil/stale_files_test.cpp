// stale_files_test.cpp - dravoututil_cleantemporaries: which leftovers of
// dead processes go, and everything that must stay.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dravoututil.h"
#include "fake_host.h"
#include "names.h"
#include "test_files.h"

namespace {

using dravoututil::host_name;

// The pid of a child that has ended and been reaped: no process has it.
pid_t dead_pid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// Collects the names the cleaner reports.
void collect(const char* path, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(path);
}

// Runs the cleaner on folder; the names it reported go to removed, sorted.
int clean(const std::string& folder, std::vector<std::string>& removed) {
  removed.clear();
  int count = dravoututil_cleantemporaries(folder.c_str(), collect, &removed);
  std::sort(removed.begin(), removed.end());
  return count;
}

TEST(CleanTemporaries, RemovesOnlyRegularFilesOfDeadProcessesOfThisMachine) {
  TempFolder folder, outside;
  const std::string host = host_name();
  const std::string dead = std::to_string(dead_pid());
  const std::string mine = std::to_string(getpid());
  const std::string stem = ".job-20240101-120000.";

  // Leftovers of a dead process of this machine, in the three forms.
  const std::vector<std::string> stale = {
      stem + host + "." + dead + ".1.tmp",
      stem + host + "." + dead + ".2.tmp_pngpreview",
      ".report-2.0." + host + "." + dead + ".3.copy",
  };
  for (const std::string& name : stale) write_file(folder / name, "x");

  const std::vector<std::string> kept_files = {
      stem + host + "." + mine + ".1.tmp",          // this process runs
      stem + host + "." + "1" + ".1.tmp",           // init runs (EPERM or not)
      stem + host + "x." + dead + ".1.tmp",         // another machine
      stem + "other-host." + dead + ".1.tmp",       // another machine
      stem + dead + ".1.tmp",                       // older form: machine unknown
      stem + host + "." + dead + ".1.tmpx",         // almost: another suffix
      stem + host + "." + dead + ".tmp",            // almost: no sequence
      stem + host + "." + "0" + dead + ".1.tmp",    // almost: leading zero
      "job-20240101-120000." + host + "." + dead + ".1.tmp",  // almost: not hidden
      "job-20240101-120000.tav",                    // a final name
      "notes.txt",
  };
  for (const std::string& name : kept_files) write_file(folder / name, "keep");

  // A link with a matching name to a file outside, a folder, and a FIFO.
  const std::string target = outside / "target.tav";
  write_file(target, "target");
  const std::string link = stem + host + "." + dead + ".7.tmp";
  ASSERT_EQ(symlink(target.c_str(), (folder / link).c_str()), 0);
  const std::string dangling = stem + host + "." + dead + ".8.tmp";
  ASSERT_EQ(symlink((outside / "none").c_str(), (folder / dangling).c_str()), 0);
  const std::string directory = stem + host + "." + dead + ".9.tmp";
  ASSERT_EQ(mkdir((folder / directory).c_str(), 0700), 0);
  const std::string nested = directory + "/" + stem + host + "." + dead + ".10.tmp";
  write_file(folder / nested, "nested");  // sub-folders are not visited
  const std::string fifo = stem + host + "." + dead + ".11.tmp";
  ASSERT_EQ(mkfifo((folder / fifo).c_str(), 0600), 0);

  std::vector<std::string> removed;
  EXPECT_EQ(clean(folder.path(), removed), 3);
  std::vector<std::string> expected;
  for (const std::string& name : stale) expected.push_back(folder / name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);

  for (const std::string& name : stale) EXPECT_FALSE(exists(folder / name)) << name;
  for (const std::string& name : kept_files) EXPECT_EQ(read_file(folder / name), "keep") << name;
  struct stat status {};
  EXPECT_EQ(lstat((folder / link).c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(read_file(target), "target");
  EXPECT_EQ(lstat((folder / dangling).c_str(), &status), 0);
  EXPECT_EQ(read_file(folder / nested), "nested");
  EXPECT_EQ(lstat((folder / fifo).c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));

  // A second run finds nothing; a null callback is accepted.
  EXPECT_EQ(dravoututil_cleantemporaries(folder.path().c_str(), nullptr, nullptr), 0);
}

TEST(CleanTemporaries, ReportsAFolderItCannotRead) {
  TempFolder folder;
  std::vector<std::string> removed;
  errno = 0;
  EXPECT_EQ(clean(folder / "missing", removed), -1);
  EXPECT_EQ(errno, ENOENT);
  write_file(folder / "file", "");
  errno = 0;
  EXPECT_EQ(clean(folder / "file", removed), -1);
  EXPECT_EQ(errno, ENOTDIR);
  errno = 0;
  EXPECT_EQ(dravoututil_cleantemporaries(nullptr, collect, &removed), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_TRUE(removed.empty());
}

// The cleaner recognises the names the library really gives: a process that
// dies between dravoututil_outputspec and the rename leaves a file it
// removes, while the same name of this live process stays.
TEST(CleanTemporaries, RemovesWhatAKilledWriterLeft) {
  TempFolder folder;
  FakeHost host;
  host.options["OUTDIR"] = folder.path();
  host.options["JOBNAME"] = "a.1.2";
  DravOutUtil* util = dravoututil_init(host.callbacks(), 0, nullptr);
  ASSERT_NE(util, nullptr);
  int32_t time = 1700000000;
  char name[DRAV_NAME_SIZE];
  ASSERT_EQ(dravoututil_outputspec(util, name, sizeof name, ".tmp", &time), 0);
  const std::string live = name;

  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  pid_t child = fork();
  if (child == 0) {
    char child_name[DRAV_NAME_SIZE];
    int result = dravoututil_outputspec(util, child_name, sizeof child_name, ".tmp", &time);
    ssize_t written = result == 0 ? write(pipe_ends[1], child_name, sizeof child_name) : 0;
    _exit(written == static_cast<ssize_t>(sizeof child_name) ? 0 : 1);
  }
  close(pipe_ends[1]);
  char left[DRAV_NAME_SIZE] = {};
  ssize_t got = read(pipe_ends[0], left, sizeof left);
  close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof left));
  ASSERT_TRUE(exists(left));

  std::vector<std::string> removed;
  EXPECT_EQ(clean(folder.path(), removed), 1);
  EXPECT_EQ(removed, std::vector<std::string>{left});
  EXPECT_FALSE(exists(left));
  EXPECT_TRUE(exists(live));
  dravoututil_end(util);
}

}  // namespace
