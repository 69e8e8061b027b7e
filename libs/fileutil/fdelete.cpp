// fdelete.cpp - deletes a file.
#include "fileutil.h"

#include <cerrno>
#include <unistd.h>

// Deletes the file path (never a directory); 0 on success, -1 with errno set.
int fdelete(const char* path) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  return unlink(path) == 0 ? 0 : -1;
}
