// temporary_locks.cpp - open-file-description locks on temporary files.
#include "temporary_locks.h"

#include <errno.h>
#include <fcntl.h>

namespace dravoututil {

namespace {

// Sets a lock of type over the whole file of fd without waiting; 0 or the
// error number.
int set_whole_file_lock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however long the file grows
  int result;
  do {
    result = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

}  // namespace

WriterLock lock_as_writer(int fd) {
  const int err = set_whole_file_lock(fd, F_WRLCK);
  if (err == 0) return WriterLock::held;
  if (err == EAGAIN || err == EACCES) return WriterLock::busy;
  return WriterLock::unsupported;
}

bool lock_as_cleaner(int fd) { return set_whole_file_lock(fd, F_RDLCK) == 0; }

}  // namespace dravoututil
