// output_files.h - the output files' life: a temporary file under a name no
// other writer holds, its move to a unique final name, and unique copies.
#ifndef DRAVOUTUTIL_OUTPUT_FILES_H
#define DRAVOUTUTIL_OUTPUT_FILES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "file_ops.h"
#include "names.h"

namespace dravoututil {

// What a kept name carries before its extension: "<stem>.kept.tav".
inline constexpr std::string_view kKeptInfix = ".kept";

// Highest number a final name or a copy's name may carry; a stem whose names
// are all taken up to it gets no further one.
inline constexpr unsigned long kMaxCandidates = 1000000;

// A temporary file just made: its name and a descriptor (open for writing)
// that holds its writer's lock (temporary_locks.h) while it stays open.
struct TemporaryFile {
  std::string name;
  FileDescriptor file;
};

// Creates, empty, the temporary file
//   <folder>/.<job>-YYYYMMDD-HHMMSS.<host>.<pid>.<sequence><suffix>
// (job sanitised, time the local time of seconds, host this machine's host
// name as host_name() gives it), locked as its writer's, and returns it. A
// taken name is passed over for the next sequence number, and so is a name
// whose fresh file a cleaner took before the lock was set. On a file system
// without such locks the file goes unlocked. Throws Failure, creating
// nothing, when the name is capacity bytes or longer (no room for its zero
// byte; the name is refused, never cut) or the file cannot be created.
TemporaryFile create_temporary_file(std::string_view folder, std::string_view job,
                                    std::string_view suffix, std::int64_t seconds,
                                    std::size_t capacity);

// Locks file, just created exclusively as path, as its writer's. False when
// the name is lost: a cleaner holds the file or removed it before the lock
// was set (the caller then takes another name and leaves this one to the
// cleaner). True also on a file system without locks.
bool claim_new_file(const std::string& path, const FileDescriptor& file);

// How the names of one folder are flushed to disk (sync_folder); tests put
// a failing one in its place.
using FolderSync = std::function<void(const std::string& folder)>;

// A final name given out by UniqueNamer::move_to_unique_name.
struct FinalName {
  std::string name;
  // Empty, or why the file's folder could not be synced after the move when
  // the file could not be given its old name back either: the file is
  // complete under name, but the name may not survive a crash.
  std::string unsynced;
};

// Gives finished files unique final names and makes unique copies. It
// remembers, for each folder, stem and extension it recently served, the
// last number it took there and probes the next name from the number after
// it, so N files of one stem cost about N attempts instead of N*N/2.
// Uniqueness never rests on that memory: every name is taken by a move that
// refuses to replace a file, and a taken name is passed over. Numbers thus
// only grow within one namer: a lower name freed later is not used again.
// The members may be called from several threads at once.
class UniqueNamer {
 public:
  explicit UniqueNamer(MoveMethod method = MoveMethod::automatic,
                       FolderSync sync_folder_entries = sync_folder);

  // Moves source, after syncing it, to the first free name of
  // <folder of source>/<stem><extension>, <stem>-2<extension>,
  // <stem>-3<extension>, ... (stem_of_temporary) from the number after the
  // last one taken for this stem; then syncs the folder. last_tried receives
  // the first name to try before anything is done, then every name tried. Throws Failure when a name would not fit capacity bytes
  // or the move fails; the file then keeps the name source. When the folder
  // cannot be synced the file is moved back to source and Failure thrown;
  // only when that move fails too is the final name returned, with the
  // reason in unsynced.
  FinalName move_to_unique_name(const std::string& source, std::string_view extension,
                                std::size_t capacity, std::string& last_tried);

  // Copies source (a final name, split_final_name) into a temporary file
  // ".<stem>.<host>.<pid>.<sequence>.copy" in its folder, syncs it and gives it the first free name <stem>-2<ext>,
  // <stem>-3<ext>, ... from the number after the last one taken for this
  // stem; then syncs the folder. Returns the new name. Throws Failure on any
  // error (also, before anything is copied, when the first name to try does
  // not fit capacity bytes), leaving neither the temporary file nor a final
  // name.
  std::string copy_to_unique_name(const std::string& source, std::size_t capacity);

  // Moves source, a complete file that move_to_unique_name could not name,
  // to the first free name of <folder of source>/<stem>.kept<extension>,
  // <stem>-2.kept<extension>, ... (the stem as there): a visible name that
  // is no temporary name, so no cleaner ever removes the file. A move that
  // fails is tried once more with link and unlink. The file and
  // the folder are synced where they can be; a failed sync does not undo
  // the move. Returns the name; throws Failure when the move fails (the
  // file then keeps the name source).
  std::string move_to_kept_name(const std::string& source, std::string_view extension,
                                std::size_t capacity);

  // Final names tried so far by both members, taken or not.
  unsigned long long names_tried() const;

 private:
  // The last number taken for one folder, stem and extension.
  struct LastNumber {
    std::string key;
    unsigned long number;
  };

  unsigned long first_number(const std::string& key, unsigned long lowest) const;
  void remember(const std::string& key, unsigned long number);
  std::string take_free_name(const std::string& from, const PathParts& parts,
                             const std::string& stem, std::string_view extension,
                             unsigned long lowest, std::size_t capacity, std::string* last_tried);

  MoveMethod method_;
  FolderSync sync_folder_;
  mutable std::mutex mutex_;
  std::vector<LastNumber> last_numbers_;  // most recently used first
  unsigned long long names_tried_ = 0;
};

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_OUTPUT_FILES_H
