// unique_files.cpp - final names: moving a finished file to a name no file
// has, and copying it to further such names.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "ascii_text.h"
#include "failure.h"
#include "file_ops.h"
#include "names.h"
#include "output_files.h"

namespace dravoututil {

namespace {

// Attempts at a free temporary name for a copy before giving up.
constexpr int kMaxTemporaryAttempts = 1000;

// Stems whose last number a namer remembers; the least recently used one
// is forgotten first, so the memory stays small however long a handle lives.
constexpr std::size_t kRememberedStems = 16;

// Opens source for reading and checks that it is a regular file; returns its
// permission bits through mode.
FileDescriptor open_copy_source(const std::string& source, mode_t& mode) {
  // O_NONBLOCK keeps a FIFO under that name from stalling the open.
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) {
    int err = errno;
    fail_with_errno("cannot open " + source, err);
  }
  struct stat status {};
  if (::fstat(in.get(), &status) != 0) {
    int err = errno;
    fail_with_errno("cannot examine " + source, err);
  }
  if (!S_ISREG(status.st_mode)) throw Failure("cannot copy " + source + ": not a regular file");
  mode = status.st_mode & 0777;
  return in;
}

// Longest base name the file systems take (NAME_MAX on Linux).
constexpr std::size_t kBaseNameLimit = 255;

// The base name of a copy's temporary file. It only has to be unique and
// recognisable, and the final name does not come from it, so a stem too long
// for the added host, pid and sequence is cut (at the start of a UTF-8
// character) rather than make the copy of a long name fail.
std::string copy_temporary_base(std::string_view stem) {
  std::string base = temporary_base_name(stem, ".copy");
  if (base.size() <= kBaseNameLimit) return base;
  // One byte more for a sequence number that gains a digit meanwhile.
  std::size_t excess = base.size() - kBaseNameLimit + 1;
  std::size_t keep = excess < stem.size() ? stem.size() - excess : 1;
  while (keep > 1 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
  return temporary_base_name(stem.substr(0, keep), ".copy");
}

// Creates the copy's temporary file ".<stem>.<host>.<pid>.<sequence>.copy"
// beside the source, locked as its writer's; returns its name and
// descriptor.
std::string create_copy_temporary(const PathParts& parts, const std::string& stem, mode_t mode,
                                  FileDescriptor& out) {
  for (int attempt = 0; attempt < kMaxTemporaryAttempts; ++attempt) {
    std::string name = parts.folder_prefix + copy_temporary_base(stem);
    out = create_exclusive(name, mode);
    if (out.valid()) {
      if (claim_new_file(name, out)) return name;
      out.reset();
      continue;
    }
    if (errno != EEXIST) {
      int err = errno;
      fail_with_errno("cannot create " + name, err);
    }
  }
  throw Failure("no free temporary name in " + folder_of(parts));
}

// The key under which a namer remembers the last number of a stem: the
// parts joined by "/", which none of them holds but the folder's end.
std::string stem_key(const PathParts& parts, std::string_view stem, std::string_view extension) {
  std::string key = parts.folder_prefix;
  key += '/';
  key += stem;
  key += '/';
  key += extension;
  return key;
}

}  // namespace

// Sets up a namer that moves with method and syncs folders with sync.
UniqueNamer::UniqueNamer(MoveMethod method, FolderSync sync_folder_entries)
    : method_(method), sync_folder_(std::move(sync_folder_entries)) {}

// Final names tried so far.
unsigned long long UniqueNamer::names_tried() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return names_tried_;
}

// The number to try first for key: the one after the last taken, at least
// lowest.
unsigned long UniqueNamer::first_number(const std::string& key, unsigned long lowest) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const LastNumber& entry : last_numbers_) {
    if (entry.key == key) return std::max(lowest, entry.number + 1);
  }
  return lowest;
}

// Records number as the last taken for key, as the most recent entry.
void UniqueNamer::remember(const std::string& key, unsigned long number) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = std::find_if(last_numbers_.begin(), last_numbers_.end(),
                            [&](const LastNumber& entry) { return entry.key == key; });
  if (found != last_numbers_.end()) {
    // Another thread may have gone further meanwhile.
    number = std::max(number, found->number);
    last_numbers_.erase(found);
  } else if (last_numbers_.size() == kRememberedStems) {
    last_numbers_.pop_back();
  }
  last_numbers_.insert(last_numbers_.begin(), LastNumber{key, number});
}

// Moves from to the first free numbered name of stem and extension in the
// folder of parts, from the number after the last one taken (at least
// lowest); returns that name.
std::string UniqueNamer::take_free_name(const std::string& from, const PathParts& parts,
                                        const std::string& stem, std::string_view extension,
                                        unsigned long lowest, std::size_t capacity,
                                        std::string* last_tried) {
  std::string key = stem_key(parts, stem, extension);
  for (unsigned long number = first_number(key, lowest);; ++number) {
    if (number > kMaxCandidates) {
      throw Failure("no free name for " + numbered_name(parts.folder_prefix, stem, 1, extension) +
                    ": the numbers up to " + decimal(kMaxCandidates) + " are taken");
    }
    std::string candidate = numbered_name(parts.folder_prefix, stem, number, extension);
    require_fit(candidate, capacity);
    if (last_tried != nullptr) *last_tried = candidate;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++names_tried_;
    }
    if (move_without_replacing(from, candidate, method_) == MoveResult::moved) {
      remember(key, number);
      return candidate;
    }
  }
}

// Moves source to the first free final name.
FinalName UniqueNamer::move_to_unique_name(const std::string& source,
                                           std::string_view extension, std::size_t capacity,
                                           std::string& last_tried) {
  last_tried.clear();
  if (extension.find('/') != std::string_view::npos) {
    throw Failure("the file extension " + std::string(extension) + " holds a \"/\"");
  }
  PathParts parts = split_path(source);
  if (parts.base.empty()) throw Failure("cannot move " + source + ": no file name");
  std::string stem = stem_of_temporary(parts.base);
  // Named from the start, so that a failure before the first move still
  // tells where the file was to go.
  last_tried = numbered_name(parts.folder_prefix, stem,
                             first_number(stem_key(parts, stem, extension), 1), extension);

  // The contents reach the disk before the file gets the name under which
  // others may pick it up.
  sync_file(source);
  FinalName result;
  result.name = take_free_name(source, parts, stem, extension, 1, capacity, &last_tried);
  try {
    sync_folder_(folder_of(parts));
  } catch (const Failure& not_synced) {
    // The new name may not survive a crash: give the file its old name back
    // so that the failure leaves it where the caller expects it.
    bool moved_back = false;
    try {
      moved_back = move_without_replacing(result.name, source, method_) == MoveResult::moved;
    } catch (const Failure&) {
      moved_back = false;
    }
    if (moved_back) throw;
    // The file stays complete under its final name: say so instead of
    // reporting a failure that would send the caller looking for source.
    result.unsynced = not_synced.what();
  }
  return result;
}

// Moves a complete file that could not get its final name to the first
// free kept name.
std::string UniqueNamer::move_to_kept_name(const std::string& source, std::string_view extension,
                                           std::size_t capacity) {
  if (extension.find('/') != std::string_view::npos) {
    throw Failure("the file extension " + std::string(extension) + " holds a \"/\"");
  }
  PathParts parts = split_path(source);
  if (parts.base.empty()) throw Failure("cannot move " + source + ": no file name");
  const std::string stem = stem_of_temporary(parts.base);
  const std::string kept_extension = std::string(kKeptInfix) + std::string(extension);
  // Best effort only: the file is kept whether or not it reaches the disk.
  try {
    sync_file(source);
  } catch (const Failure&) {
  }
  std::string name;
  try {
    name = take_free_name(source, parts, stem, kept_extension, 1, capacity, nullptr);
  } catch (const Failure&) {
    // The move that failed for the final name may fail here too: the
    // other way of moving is tried before the file stays where it is.
    if (method_ == MoveMethod::link_then_unlink) throw;
    UniqueNamer other(MoveMethod::link_then_unlink, sync_folder_);
    name = other.take_free_name(source, parts, stem, kept_extension, 1, capacity, nullptr);
  }
  try {
    sync_folder_(folder_of(parts));
  } catch (const Failure&) {
  }
  return name;
}

// Copies source to the first free numbered name.
std::string UniqueNamer::copy_to_unique_name(const std::string& source, std::size_t capacity) {
  PathParts parts = split_path(source);
  if (parts.base.empty()) throw Failure("cannot copy " + source + ": no file name");
  FinalNameParts name = split_final_name(parts.base);
  // A name too long for the caller is refused before anything is copied.
  unsigned long first = first_number(stem_key(parts, name.stem, name.extension), 2);
  require_fit(numbered_name(parts.folder_prefix, name.stem, first, name.extension), capacity);

  mode_t mode = 0;
  FileDescriptor in = open_copy_source(source, mode);
  FileDescriptor out;
  std::string temporary = create_copy_temporary(parts, name.stem, mode, out);
  RemoveOnFailure remove_temporary(temporary);

  copy_contents(in.get(), out.get(), source, temporary);
  if (::fsync(out.get()) != 0) {
    int err = errno;
    fail_with_errno("cannot sync " + temporary, err);
  }

  // The descriptor, and with it the writer's lock, stays open until the
  // copy has its final name.
  std::string final_name =
      take_free_name(temporary, parts, name.stem, name.extension, 2, capacity, nullptr);
  remove_temporary.release();
  try {
    if (int err = out.close(); err != 0) fail_with_errno("cannot close " + final_name, err);
    sync_folder_(folder_of(parts));
  } catch (const Failure&) {
    ::unlink(final_name.c_str());
    throw;
  }
  return final_name;
}

}  // namespace dravoututil
