// private_temp.h - the private temporary folder of a riphost process.
//
// Ghostscript's -dSAFER lets a document read, write, rename and delete
// anything in Ghostscript's temporary folder, which it takes from TMPDIR
// (TEMP, TMP, else /tmp and /temp): given the machine's shared /tmp, a
// document could read other jobs' files and any file there. So a process
// that runs documents makes one folder of its own and hands Ghostscript
// only a folder inside it:
//
//   $TMPDIR/riphost.<host>.<pid>.XXXXXX/   (else /tmp; mkdtemp, mode 0700)
//     lock    held locked (F_OFD_SETLK) for as long as the folder lives
//     work/   TMPDIR of Ghostscript's library and `gs` program, riphost's
//             spools and Ghostscript's plane folders
//
// The lock file lies outside what a document may touch, and its lock tells
// a live folder from one a killed process left, whatever PID namespace the
// owner runs in: the kernel drops the lock when the owner dies.
#ifndef RIPHOST_PRIVATE_TEMP_H
#define RIPHOST_PRIVATE_TEMP_H

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace riphost {

// The private folder cannot be made or used. Not a HostError: it is no
// fault of the document or ticket being checked, so it ends the run with
// exit status 1 wherever it happens.
class TemporaryFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where temporary files go: $TMPDIR when set and not empty, else /tmp.
std::filesystem::path temp_base();

// This machine's host name as folder names carry it: up to its first ".",
// bytes other than A-Z a-z 0-9 _ - made "_", at most 64 bytes, "localhost"
// when empty or unreadable (as output files' temporary names carry it).
std::string host_label();

// "riphost.<host>.": how the private folders of this host's processes begin.
std::string private_folder_prefix();

// A message for errno reason while making or using folder; ENOSPC and
// EDQUOT say that the folder's disk (or quota) is full.
std::string temp_failure(const std::filesystem::path& folder, int reason);

// The folder the innermost scope made its private folder in, else
// temp_base(): the temporary folder a user knows by name.
std::filesystem::path private_folder_base();

// When the file system of the temporary folder has little room left (less
// than 64 MiB), a note for an error message that names the folder
// (private_folder_base()) and says it is full, with what is free: Ghostscript says only that it could not draw a page when its
// scratch files or planes find no room. Empty otherwise.
std::string temp_space_note();

// One private folder, made in base and locked; removed when it ends.
class PrivateTempFolder {
 public:
  // Throws TemporaryFolderError naming base and the reason.
  explicit PrivateTempFolder(const std::filesystem::path& base);
  ~PrivateTempFolder();
  PrivateTempFolder(const PrivateTempFolder&) = delete;
  PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

  const std::filesystem::path& folder() const noexcept { return folder_; }
  const std::filesystem::path& work() const noexcept { return work_; }

  // Removes the folder and all in it, then lets go of the lock. The folder
  // is first moved aside, so that a Ghostscript still running on another
  // thread (a stopped run ends without waiting for it) can make nothing
  // more in it by name.
  void remove() noexcept;

 private:
  std::filesystem::path folder_;
  std::filesystem::path work_;
  int lock_ = -1;
};

// Removes from base the private folders that processes of this host left
// when they were killed: a directory of this user named
// "riphost.<host>.<pid>.*" whose process is gone and whose lock file nobody
// holds locked (a folder without one is left for a minute: its maker may
// be about to lock it). removed (may be empty) is told each folder removed.
// Returns how many; nothing when base cannot be read.
int remove_abandoned_private_folders(const std::filesystem::path& base,
                                     const std::function<void(const std::filesystem::path&)>& removed);

// The temporary folder of one run of riphost. Nothing is made until a
// document needs it (private_work_folder): a run of a ticket without
// documents makes no folder. While a folder exists TMPDIR names its work
// folder, so that Ghostscript's library (which reads the environment when
// an instance starts and whenever it makes a scratch file) and the `gs`
// program it inherits take it; the scope ends by removing the folder and
// putting TMPDIR back as it was. When riphost ends at once while a
// document is checked (a stop signal, a page past its time limit), the
// folder is removed first (folder_on_stop.h). Scopes nest; the innermost
// counts.
class TemporaryFolderScope {
 public:
  TemporaryFolderScope();
  ~TemporaryFolderScope();
  TemporaryFolderScope(const TemporaryFolderScope&) = delete;
  TemporaryFolderScope& operator=(const TemporaryFolderScope&) = delete;

  // The work folder, made on the first call (after removing the abandoned
  // folders of $TMPDIR). Throws TemporaryFolderError.
  std::filesystem::path work();

 private:
  friend std::filesystem::path private_folder_base();
  std::unique_ptr<PrivateTempFolder> folder_;
  std::filesystem::path base_;  // where folder_ was made
  bool had_tmpdir_ = false;
  std::string tmpdir_;  // TMPDIR before the folder was made
  bool removed_on_stop_ = false;  // armed: folder_on_stop.h
  TemporaryFolderScope* outer_ = nullptr;
};

// The work folder of the innermost scope (made when needed), or temp_base()
// when no scope is open. Called before each Ghostscript instance is made.
// Throws TemporaryFolderError.
std::filesystem::path private_work_folder();

}  // namespace riphost

#endif  // RIPHOST_PRIVATE_TEMP_H
