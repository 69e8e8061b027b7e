// clean_test.cpp - riphost --clean: only the temporary files of dead
// processes of this machine go, each one reported.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/clean.h"
#include "common/message.h"
#include "test_support.h"

namespace {

using riphost_test::TempDir;
using riphost_test::write_file;

// This machine's name as temporary file names carry it: up to the first
// ".", other bytes than letters, digits, "_" and "-" made "_".
std::string host_label() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  std::string label(name);
  label = label.substr(0, label.find('.'));
  for (char& c : label) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!plain) c = '_';
  }
  return label;
}

// The number of a process that has ended and been reaped.
pid_t dead_pid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// What clean_temporaries printed and returned.
struct CleanResult {
  int status;
  std::string out;
  std::string err;
};

std::string drain(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char chunk[1024];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
  std::fclose(stream);
  return text;
}

// The "removed" result lines of an output.
std::vector<std::string> removed_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    if (line.rfind("removed ", 0) == 0) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

CleanResult clean(const std::string& folder) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CleanResult result{};
  {
    riphost::MessageSink sink(out, err, false);
    result.status = riphost::clean_temporaries(folder, std::filesystem::path(folder) / "no-temp", sink);
  }
  std::fflush(out);
  std::fflush(err);
  result.out = drain(out);
  result.err = drain(err);
  return result;
}

TEST(CleanTest, RemovesOnlyTheTemporariesOfDeadProcessesOfThisMachine) {
  TempDir dir;
  std::string host = host_label();
  std::string dead = std::to_string(dead_pid());
  std::string alive = std::to_string(getpid());
  const std::string gone = ".job-20260101-000000." + host + "." + dead + ".1.tmp";
  const std::string kept[] = {
      ".job-20260101-000000." + host + "." + alive + ".1.tmp",      // a running process
      ".job-20260101-000000.otherhost." + dead + ".1.tmp",          // another machine
      "job-20260101-000000." + host + "." + dead + ".1.tmp",        // not a hidden temporary name
      "job-p1-K-20260101-000000.tav",                               // a finished file
      "notes.txt",
  };
  write_file(dir / gone, "partial");
  for (const std::string& name : kept) write_file(dir / name, "keep");

  CleanResult result = clean(dir.path().string());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(removed_lines(result.out), std::vector<std::string>{"removed " + (dir / gone).string()}) << result.out;
  EXPECT_EQ(result.err, "");
  EXPECT_FALSE(std::filesystem::exists(dir / gone));
  for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;

  // A second pass finds nothing more.
  result = clean(dir.path().string());
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(removed_lines(result.out).empty()) << result.out;

  // A folder that cannot be read is an error with its reason.
  result = clean((dir / "missing").string());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("riphost: error: cannot clean the folder " + (dir / "missing").string() + ": "),
            std::string::npos)
      << result.err;
}

// A writer whose process number means nothing here (another PID namespace)
// holds its file locked: it stays while the lock lasts. A complete file
// kept read-only under its temporary name, or under its ".kept" name, never
// goes.
TEST(CleanTest, LeavesLockedFilesAndKeptCompleteFiles) {
  TempDir dir;
  const std::string host = host_label();
  const std::string dead = std::to_string(dead_pid());
  const std::string writing = ".job-20380101-000000." + host + "." + dead + ".1.tmp";
  const std::string kept_read_only = ".job-20380101-000000." + host + "." + dead + ".2.tmp";
  const std::string kept_visible = "job-20380101-000000.kept.tav";
  for (const std::string& name : {writing, kept_read_only, kept_visible}) write_file(dir / name, "data");
  ASSERT_EQ(chmod((dir / kept_read_only).c_str(), 0444), 0);
  int writer = open((dir / writing).c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(writer, F_OFD_SETLK, &lock), 0);

  CleanResult result = clean(dir.path().string());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(removed_lines(result.out).empty()) << result.out;

  close(writer);  // the writer dies
  result = clean(dir.path().string());
  EXPECT_EQ(removed_lines(result.out), std::vector<std::string>{"removed " + (dir / writing).string()}) << result.out;
  EXPECT_TRUE(std::filesystem::exists(dir / kept_read_only));
  EXPECT_TRUE(std::filesystem::exists(dir / kept_visible));
}

}  // namespace
