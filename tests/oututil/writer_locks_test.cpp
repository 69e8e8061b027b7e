// writer_locks_test.cpp - live writers hold their temporary files locked,
// complete files that could not be named are kept, and the cleaner removes
// exactly the leftovers of writers that died.
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
#include "file_ops.h"
#include "held_files.h"
#include "kept_files.h"
#include "names.h"
#include "output_files.h"
#include "test_files.h"

namespace {

using dravoututil::FileDescriptor;

// The pid of a child that has ended and been reaped: no process has it.
pid_t dead_pid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// Takes an open-file-description write lock on path, as a live writer does,
// through a descriptor of its own; the lock lasts while the result is open.
FileDescriptor lock_like_a_writer(const std::string& path) {
  FileDescriptor file(open(path.c_str(), O_WRONLY | O_CLOEXEC));
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  EXPECT_EQ(fcntl(file.get(), F_OFD_SETLK, &lock), 0) << path;
  return file;
}

// The cleaner's reported names, sorted.
std::vector<std::string> clean(const std::string& folder) {
  std::vector<std::string> removed;
  int count = dravoututil_cleantemporaries(
      folder.c_str(),
      [](const char* path, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(path); },
      &removed);
  EXPECT_EQ(count, static_cast<int>(removed.size()));
  std::sort(removed.begin(), removed.end());
  return removed;
}

// A temporary name of this machine for a writer whose process number means
// nothing here (another PID namespace): the number runs nowhere.
std::string foreign_name(const std::string& stem, int sequence, const char* suffix) {
  static const std::string pid = std::to_string(dead_pid());
  return "." + stem + "-20380301-101500." + dravoututil::host_name() + "." + pid + "." +
         std::to_string(sequence) + suffix;
}

// Beside live writers (locked, whatever their process number says), kept
// complete files (read-only temporary names and ".kept" names) and decoys,
// the cleaner removes the unlocked leftovers only; a writer's file goes once
// its writer is gone.
TEST(WriterLocks, CleanerRemovesExactlyTheLeftoversOfDeadWriters) {
  TempFolder folder;
  const std::vector<std::string> dead = {foreign_name("a", 1, ".tmp"), foreign_name("a", 2, ".tmp_pngpreview"),
                                         foreign_name("a", 3, ".copy")};
  const std::vector<std::string> live = {foreign_name("b", 1, ".tmp"), foreign_name("b", 2, ".tmp_pngpreview"),
                                         foreign_name("b", 3, ".copy")};
  const std::string read_only = foreign_name("c", 1, ".tmp");
  const std::vector<std::string> plain = {"c-20380301-101500.kept.tav", "c-20380301-101500-2.kept.tav",
                                          "c-20380301-101500.tav", "c-20380301-101500.png"};
  for (const auto& name : dead) write_file(folder / name, "left");
  for (const auto& name : live) write_file(folder / name, "writing");
  for (const auto& name : plain) write_file(folder / name, "kept");
  write_file(folder / read_only, "complete");
  ASSERT_EQ(chmod((folder / read_only).c_str(), 0444), 0);
  std::vector<FileDescriptor> writers;
  for (const auto& name : live) writers.push_back(lock_like_a_writer(folder / name));

  std::vector<std::string> expected;
  for (const auto& name : dead) expected.push_back(folder / name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(clean(folder.path()), expected);
  for (const auto& name : live) EXPECT_EQ(read_file(folder / name), "writing") << name;
  for (const auto& name : plain) EXPECT_EQ(read_file(folder / name), "kept") << name;
  EXPECT_EQ(read_file(folder / read_only), "complete");

  // The writers die: their files are leftovers now; the kept ones stay.
  writers.clear();
  expected.clear();
  for (const auto& name : live) expected.push_back(folder / name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(clean(folder.path()), expected);
  EXPECT_EQ(read_file(folder / read_only), "complete");
  EXPECT_TRUE(clean(folder.path()).empty());
}

class HandleLocks : public testing::Test {
 protected:
  void SetUp() override {
    host.options["OUTDIR"] = folder.path();
    host.options["JOBNAME"] = "job";
    util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
  }
  void TearDown() override { dravoututil_end(util); }

  // A new temporary file of the handle.
  std::string make(const char* suffix) {
    char name[DRAV_NAME_SIZE] = {};
    EXPECT_EQ(dravoututil_outputspec(util, name, sizeof name, suffix, &time), 0);
    return name;
  }

  // Moves path to a name of a writer whose process number means nothing
  // here, as a writer in another PID namespace would have it; the lock is on
  // the file and moves with it.
  std::string as_foreign(const std::string& path, int sequence) {
    const std::string foreign = folder / foreign_name("job", sequence, ".tmp");
    EXPECT_EQ(rename(path.c_str(), foreign.c_str()), 0);
    return foreign;
  }

  FakeHost host;
  TempFolder folder;
  DravOutUtil* util = nullptr;
  int32_t time = 1700000000;
};

// The handle's lock lasts from dravoututil_outputspec until the file is
// named, discarded or the handle ends, and no longer.
TEST_F(HandleLocks, TheHandleHoldsItsFilesUntilTheyAreNamedDiscardedOrItEnds) {
  const std::string held = as_foreign(make(".tmp"), 1);
  const std::string discarded = make(".tmp_pngpreview");
  const std::string at_end = as_foreign(make(".tmp"), 2);
  EXPECT_TRUE(clean(folder.path()).empty());
  EXPECT_TRUE(exists(held));

  EXPECT_EQ(dravoututil_discard(util, discarded.c_str()), 0);
  EXPECT_FALSE(exists(discarded));
  EXPECT_EQ(dravoututil_discard(util, discarded.c_str()), 0);  // gone already: nothing left
  errno = 0;
  EXPECT_EQ(dravoututil_discard(util, folder.path().c_str()), -1);  // a folder is no file to delete
  EXPECT_EQ(errno, EISDIR);
  EXPECT_TRUE(exists(folder.path()));
  errno = 0;
  EXPECT_EQ(dravoututil_discard(util, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);

  // Named: the lock ends with the temporary name.
  const std::string named = make(".tmp");
  char final_name[DRAV_NAME_SIZE];
  ASSERT_EQ(dravoututil_uniquerename(util, final_name, sizeof final_name, named.c_str(), ".tav"), 0);
  EXPECT_TRUE(clean(folder.path()).empty());

  dravoututil_end(util);
  util = nullptr;
  std::vector<std::string> expected = {held, at_end};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(clean(folder.path()), expected);
  EXPECT_TRUE(exists(final_name));
}

// A complete file that could not be named goes to "<stem>.kept.tav" (then
// -2, ...), reported where it is; the cleaner never removes it.
TEST_F(HandleLocks, KeptFilesGetVisibleNamesTheCleanerLeaves) {
  std::vector<std::string> kept;
  for (int i = 0; i < 2; ++i) {
    const std::string temporary = make(".tmp");
    write_file(temporary, "complete " + std::to_string(i));
    char where[DRAV_NAME_SIZE] = "old";
    ASSERT_EQ(dravoututil_keepcomplete(util, where, sizeof where, temporary.c_str(), ".tav"), 0);
    kept.push_back(where);
    EXPECT_FALSE(exists(temporary));
  }
  const std::string stem = folder / ("job-" + local_stamp(time));
  EXPECT_EQ(kept, (std::vector<std::string>{stem + ".kept.tav", stem + "-2.kept.tav"}));
  EXPECT_EQ(read_file(kept[1]), "complete 1");
  dravoututil_end(util);
  util = nullptr;
  EXPECT_TRUE(clean(folder.path()).empty());
  EXPECT_EQ(read_file(kept[0]), "complete 0");
  EXPECT_TRUE(host.messages.empty());
}

// A file that is under no name any more cannot be kept: failure, no name.
TEST_F(HandleLocks, AFileThatIsGoneIsNotReportedAsKept) {
  const std::string temporary = make(".tmp");
  ASSERT_EQ(unlink(temporary.c_str()), 0);
  char where[DRAV_NAME_SIZE] = "old";
  EXPECT_NE(dravoututil_keepcomplete(util, where, sizeof where, temporary.c_str(), ".tav"), 0);
  EXPECT_STREQ(where, "");
  EXPECT_EQ(host.count_at(DRAV_MSG_ERROR), 1);
}

// When the kept name cannot be taken, the file stays under its temporary
// name without write permission: the cleaner leaves it after its writer
// ended.
TEST(KeptFiles, AFileThatCannotMoveIsMarkedComplete) {
  TempFolder folder;
  dravoututil::UniqueNamer namer;
  dravoututil::HeldTemporaries held;
  const std::string source = folder / foreign_name("d", 1, ".tmp");
  write_file(source, "complete");
  held.reserve_one();
  held.hold(source, lock_like_a_writer(source));
  // Five bytes hold no kept name: the move is refused.
  EXPECT_EQ(dravoututil::keep_complete_file(namer, held, source, ".tav", 5), source);
  EXPECT_EQ(held.count(), 0u);
  struct stat status {};
  ASSERT_EQ(stat(source.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0222, 0u);
  EXPECT_TRUE(clean(folder.path()).empty());
  EXPECT_EQ(read_file(source), "complete");
}

// A writer that creates a file while a cleaner holds it (the cleaner found
// the fresh, unlocked file) or after the cleaner removed it gives up that
// name; a file it locks first is its own.
TEST(WriterLocks, ANewFileIsClaimedOnlyWhenItIsStillTheWritersOwn) {
  TempFolder folder;
  enum class Meanwhile { nothing, cleaner_holds, removed };
  const struct {
    Meanwhile meanwhile;
    bool claimed;
  } cases[] = {{Meanwhile::nothing, true}, {Meanwhile::cleaner_holds, false}, {Meanwhile::removed, false}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = folder / ("new" + std::to_string(++n));
    FileDescriptor file = dravoututil::create_exclusive(path, 0666);
    ASSERT_TRUE(file.valid());
    FileDescriptor cleaner(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct flock lock {};
    lock.l_type = F_RDLCK;
    if (c.meanwhile == Meanwhile::cleaner_holds) {
      ASSERT_EQ(fcntl(cleaner.get(), F_OFD_SETLK, &lock), 0);
    }
    if (c.meanwhile == Meanwhile::removed) {
      ASSERT_EQ(unlink(path.c_str()), 0);
    }
    EXPECT_EQ(dravoututil::claim_new_file(path, file), c.claimed) << n;
    // A claimed file keeps every cleaner out.
    if (c.claimed) {
      EXPECT_NE(fcntl(cleaner.get(), F_OFD_SETLK, &lock), 0);
    }
  }
}

}  // namespace
