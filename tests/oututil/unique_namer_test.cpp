// unique_namer_test.cpp - UniqueNamer: the search for a free name starts
// after the last number taken, and a folder that cannot be synced never
// leaves a file where the caller does not expect it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "failure.h"
#include "output_files.h"
#include "test_files.h"

namespace {

using dravoututil::Failure;
using dravoututil::FinalName;
using dravoututil::MoveMethod;
using dravoututil::UniqueNamer;

constexpr std::size_t kCapacity = 4096;

// The name <stem>-<number>.tav in folder (the bare name for number 1).
std::string numbered(const TempFolder& folder, const std::string& stem, int number) {
  return folder / (number == 1 ? stem + ".tav" : stem + "-" + std::to_string(number) + ".tav");
}

// A thousand copies of one file cost one attempt each, not one per copy
// made before.
TEST(UniqueNamer, ManyCopiesOfOneFileTakeOneAttemptEach) {
  constexpr int kCopies = 1000;
  TempFolder folder;
  std::string source = numbered(folder, "page", 1);
  write_file(source, "x");
  UniqueNamer namer;
  for (int i = 0; i < kCopies; ++i) {
    ASSERT_EQ(namer.copy_to_unique_name(source, kCapacity), numbered(folder, "page", i + 2));
  }
  EXPECT_EQ(namer.names_tried(), static_cast<unsigned long long>(kCopies));
  EXPECT_EQ(list_folder(folder.path()).size(), static_cast<std::size_t>(kCopies + 1));
}

TEST(UniqueNamer, ManyRenamesOfOneStemTakeOneAttemptEach) {
  constexpr int kRenames = 500;
  TempFolder folder;
  UniqueNamer namer;
  for (int i = 0; i < kRenames; ++i) {
    std::string source = folder / (".page.1." + std::to_string(i) + ".tmp");
    write_file(source, std::to_string(i));
    std::string last;
    ASSERT_EQ(namer.move_to_unique_name(source, ".tav", kCapacity, last).name,
              numbered(folder, "page", i + 1));
  }
  EXPECT_EQ(namer.names_tried(), static_cast<unsigned long long>(kRenames));
  EXPECT_EQ(read_file(numbered(folder, "page", kRenames)), std::to_string(kRenames - 1));
}

// Names another writer took are passed over once; later calls start after
// them.
TEST(UniqueNamer, NamesTakenByOthersArePassedOverOnce) {
  TempFolder folder;
  std::string source = numbered(folder, "page", 1);
  write_file(source, "mine");
  for (int n = 2; n <= 5; ++n) write_file(numbered(folder, "page", n), "theirs");
  UniqueNamer namer;
  EXPECT_EQ(namer.copy_to_unique_name(source, kCapacity), numbered(folder, "page", 6));
  EXPECT_EQ(namer.names_tried(), 5u);
  write_file(numbered(folder, "page", 7), "theirs");
  EXPECT_EQ(namer.copy_to_unique_name(source, kCapacity), numbered(folder, "page", 8));
  EXPECT_EQ(namer.names_tried(), 7u);
  EXPECT_EQ(read_file(numbered(folder, "page", 7)), "theirs");
}

// The memory is bounded: a stem crowded out by many others is searched from
// its first number again, still without replacing anything.
TEST(UniqueNamer, AForgottenStemStartsOverSafely) {
  TempFolder folder;
  std::string first = numbered(folder, "first", 1);
  write_file(first, "1");
  UniqueNamer namer;
  ASSERT_EQ(namer.copy_to_unique_name(first, kCapacity), numbered(folder, "first", 2));
  for (int s = 0; s < 40; ++s) {
    std::string other = numbered(folder, "other" + std::to_string(s), 1);
    write_file(other, "o");
    ASSERT_EQ(namer.copy_to_unique_name(other, kCapacity),
              numbered(folder, "other" + std::to_string(s), 2));
  }
  EXPECT_EQ(namer.copy_to_unique_name(first, kCapacity), numbered(folder, "first", 3));
  EXPECT_EQ(read_file(numbered(folder, "first", 2)), "1");
}

// A folder sync that fails, optionally after putting a file at put_at.
dravoututil::FolderSync failing_sync(std::string put_at = "") {
  return [put_at](const std::string& folder) {
    if (!put_at.empty()) write_file(put_at, "intruder");
    throw Failure("cannot sync folder " + folder + ": Input/output error");
  };
}

TEST(UniqueNamerUnsyncedFolder, TheRenamedFileGoesBackToItsSource) {
  TempFolder folder;
  std::string source = folder / ".page.1.1.tmp";
  write_file(source, "data");
  UniqueNamer namer(MoveMethod::automatic, failing_sync());
  std::string last;
  EXPECT_THROW(namer.move_to_unique_name(source, ".tav", kCapacity, last), Failure);
  EXPECT_EQ(read_file(source), "data");
  EXPECT_EQ(list_folder(folder.path()), std::vector<std::string>{".page.1.1.tmp"});
}

// When the file cannot go back either, the call reports the final name it
// holds rather than a failure that would send the caller to source.
TEST(UniqueNamerUnsyncedFolder, AFileThatCannotGoBackKeepsItsFinalName) {
  TempFolder folder;
  std::string source = folder / ".page.1.1.tmp";
  write_file(source, "data");
  UniqueNamer namer(MoveMethod::automatic, failing_sync(source));
  std::string last;
  FinalName result = namer.move_to_unique_name(source, ".tav", kCapacity, last);
  EXPECT_EQ(result.name, numbered(folder, "page", 1));
  EXPECT_NE(result.unsynced.find("cannot sync folder"), std::string::npos) << result.unsynced;
  EXPECT_EQ(read_file(result.name), "data");
  EXPECT_EQ(read_file(source), "intruder");  // never replaced
}

TEST(UniqueNamerUnsyncedFolder, ACopyLeavesNothingBehind) {
  TempFolder folder;
  std::string source = numbered(folder, "page", 1);
  write_file(source, "data");
  UniqueNamer namer(MoveMethod::automatic, failing_sync());
  EXPECT_THROW(namer.copy_to_unique_name(source, kCapacity), Failure);
  EXPECT_EQ(list_folder(folder.path()), std::vector<std::string>{"page.tav"});
}

}  // namespace
