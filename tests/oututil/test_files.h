// test_files.h - temporary folders and small file helpers for the tests.
#ifndef OUTUTIL_TESTS_TEST_FILES_H
#define OUTUTIL_TESTS_TEST_FILES_H

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under testing::TempDir(), removed with its contents when
// the object ends.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

  // path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes contents to path (replacing it).
void write_file(const std::string& path, const std::string& contents);

// The whole contents of path; throws when it cannot be read.
std::string read_file(const std::string& path);

// True when path exists.
bool exists(const std::string& path);

// "YYYYMMDD-HHMMSS" of time in local time, as the library writes it into
// file names.
std::string local_stamp(int64_t time);

// The names in folder, sorted.
std::vector<std::string> list_folder(const std::string& folder);

#endif  // OUTUTIL_TESTS_TEST_FILES_H
