// held_files.h - the temporary files a library handle made and still holds
// locked for their writer (temporary_locks.h), until each has its final
// name, is kept or is deleted.
#ifndef DRAVOUTUTIL_HELD_FILES_H
#define DRAVOUTUTIL_HELD_FILES_H

#include <mutex>
#include <string>
#include <vector>

#include "file_ops.h"

namespace dravoututil {

// The held temporary files of one handle, each with the descriptor that
// carries its lock. The members may be called from several threads at once.
class HeldTemporaries {
 public:
  // Makes room for one more file, so that hold cannot fail afterwards.
  void reserve_one();

  // Holds file (open, locked) under path until release, discard or the end.
  void hold(const std::string& path, FileDescriptor file);

  // Ends the hold on path (its lock goes); nothing when path is not held.
  void release(const std::string& path);

  // Deletes path and ends the hold on it. Returns 0 when nothing is left
  // under path (also when it was gone already), else the error number of
  // the deletion, tried twice.
  int discard(const std::string& path);

  // Takes every write permission from the file held as path, through its
  // descriptor (so never from another file put under that name). False
  // when path is not held or the permissions cannot be changed.
  bool make_read_only(const std::string& path);

  // True when path is held and still names the held file.
  bool still_named(const std::string& path) const;

  // Ends the holds on files that have no name any more (deleted by name
  // outside the library): their descriptors would keep their disk space.
  void prune();

  // Number of files held.
  std::size_t count() const;

 private:
  struct Held {
    std::string path;
    FileDescriptor file;
  };

  std::vector<Held>::iterator find(const std::string& path);
  std::vector<Held>::const_iterator find(const std::string& path) const;

  mutable std::mutex mutex_;
  std::vector<Held> held_;
};

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_HELD_FILES_H
