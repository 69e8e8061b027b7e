// stale_files.h - removing the temporary files that writers of this
// machine left in an output folder when they died.
#ifndef DRAVOUTUTIL_STALE_FILES_H
#define DRAVOUTUTIL_STALE_FILES_H

#include <functional>
#include <string>
#include <string_view>

namespace dravoututil {

// True when the process pid is known not to run: kill(pid, 0) fails with
// ESRCH. A process we may not signal (EPERM) runs; so does this one.
bool process_is_gone(unsigned long long pid);

// True when base is a temporary name (parse_temporary_name) that carries
// this machine's host name and a process that is gone.
bool is_stale_temporary(std::string_view base);

// Removes from folder, not from its sub-folders, every regular file whose
// name is_stale_temporary and that no writer holds: it can be locked as a
// cleaner (temporary_locks.h; a live writer in another PID namespace, whose
// process number means nothing here, holds its lock) and it has a write
// permission (a complete file that its writer kept under its temporary name
// has none). Symbolic links, folders and other kinds of file are left alone,
// and nothing is followed through a link. Names are looked
// at and removed relative to a descriptor of the folder. removed (may be
// empty) is called with the full name of each file removed. A file that
// cannot be removed is left and not counted. Returns the number removed, or
// -1 with errno set when the folder cannot be opened or read.
int remove_stale_temporaries(const std::string& folder,
                             const std::function<void(const std::string& path)>& removed);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_STALE_FILES_H
