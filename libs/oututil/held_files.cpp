// held_files.cpp - the locked temporary files of one handle.
#include "held_files.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "temporary_locks.h"

namespace dravoututil {

std::vector<HeldTemporaries::Held>::iterator HeldTemporaries::find(const std::string& path) {
  return std::find_if(held_.begin(), held_.end(), [&](const Held& entry) { return entry.path == path; });
}

std::vector<HeldTemporaries::Held>::const_iterator HeldTemporaries::find(const std::string& path) const {
  return std::find_if(held_.begin(), held_.end(), [&](const Held& entry) { return entry.path == path; });
}

void HeldTemporaries::reserve_one() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.reserve(held_.size() + 1);
}

void HeldTemporaries::hold(const std::string& path, FileDescriptor file) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = find(path);
  if (found != held_.end()) {
    found->file = std::move(file);
    return;
  }
  held_.push_back(Held{path, std::move(file)});
}

void HeldTemporaries::release(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = find(path);
  if (found != held_.end()) held_.erase(found);
}

int HeldTemporaries::discard(const std::string& path) {
  int err = 0;
  // Once more after a failure: a passing error (an interrupted call on a
  // network file system) should not leave an unfinished file behind.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
      err = 0;
      break;
    }
    err = errno;
  }
  // Closed only now: the lock keeps a cleaner away until the name is gone,
  // and the space of a deleted file is given back here.
  release(path);
  return err;
}

bool HeldTemporaries::make_read_only(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = find(path);
  if (found == held_.end()) return false;
  struct stat status {};
  if (::fstat(found->file.get(), &status) != 0) return false;
  return ::fchmod(found->file.get(), status.st_mode & 07555) == 0;
}

bool HeldTemporaries::still_named(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = find(path);
  if (found == held_.end()) return false;
  struct stat held {}, named {};
  return ::fstat(found->file.get(), &held) == 0 && ::lstat(path.c_str(), &named) == 0 && same_file(held, named);
}

void HeldTemporaries::prune() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(held_, [](const Held& entry) {
    struct stat status {};
    return ::fstat(entry.file.get(), &status) != 0 || status.st_nlink == 0;
  });
}

std::size_t HeldTemporaries::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_.size();
}

}  // namespace dravoututil
