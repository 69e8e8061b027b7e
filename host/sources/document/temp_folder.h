// temp_folder.h - the document source's private temporary folder.
//
// Spool files live in a folder of their own, made for one run with mode
// 0700 in $TMPDIR (else /tmp) as riphost-<host>-<pid>-XXXXXX, and removed
// with all it holds when the run ends: after success, after a failure and
// after a stop signal (riphost stops cleanly and unwinds). Only a process
// killed outright leaves it behind; its name tells the machine and process.
#ifndef RIPHOST_TEMP_FOLDER_H
#define RIPHOST_TEMP_FOLDER_H

#include <filesystem>

namespace riphost {

class TempFolder {
 public:
  // Throws HostError when the folder cannot be made.
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace riphost

#endif  // RIPHOST_TEMP_FOLDER_H
