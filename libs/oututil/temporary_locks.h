// temporary_locks.h - how a live writer marks its temporary files and how a
// cleaner tells them from the leftovers of writers that died.
//
// A writer holds an open-file-description lock (F_OFD_SETLK) on each of its
// temporary files from their creation until they have their final name or
// are deleted. The kernel drops such a lock when the last descriptor of its
// open file description closes, so also when the writer dies, whatever PID
// namespace it ran in: a file nobody holds a lock on has no live writer.
// Open-file-description locks (unlike the older process locks) survive the
// writer closing other descriptors of the same file, as the raster file
// writer and the preview writer do.
#ifndef DRAVOUTUTIL_TEMPORARY_LOCKS_H
#define DRAVOUTUTIL_TEMPORARY_LOCKS_H

#include <sys/stat.h>

namespace dravoututil {

// Outcome of lock_as_writer.
enum class WriterLock {
  held,        // the lock is taken
  busy,        // someone else holds a lock on the file (a cleaner at work)
  unsupported  // the file system takes no such locks: the file goes unlocked
};

// Takes, without waiting, a write lock on the whole file of fd (open for
// writing); it lasts until fd's open file description closes.
WriterLock lock_as_writer(int fd);

// Takes, without waiting, a read lock on the whole file of fd: true when no
// writer holds its lock, so the file has no live writer. False when a lock
// is held or the file system takes no locks (nothing can be proved then).
bool lock_as_cleaner(int fd);

// True when a and b describe the same file (device and inode).
inline bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_TEMPORARY_LOCKS_H
