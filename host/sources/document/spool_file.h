// spool_file.h - nameless files for spooled plates.
//
// A spool is never visible in the file system: it is opened without a name
// (O_TMPFILE) in the run's private folder (private_temp.h), so the kernel
// frees it when its last descriptor closes, also when riphost is killed
// outright (SIGKILL, a lost machine). A file system without O_TMPFILE gets a file made under a
// random name and unlinked at once, before anything is written to it.
#ifndef RIPHOST_SPOOL_FILE_H
#define RIPHOST_SPOOL_FILE_H

#include <cstdio>
#include <filesystem>

namespace riphost {

// The folder spools go into: the run's private work folder (made when
// needed), else $TMPDIR when set and not empty, else /tmp. Throws
// TemporaryFolderError when the private folder cannot be made.
std::filesystem::path spool_folder();

// A new nameless file in folder, open for reading and writing (mode "w+b").
// Throws HostError naming the folder and the system's reason (a full disk
// said as such).
std::FILE* open_spool_file(const std::filesystem::path& folder);

// The fallback of open_spool_file: a file made under a random name in
// folder and unlinked before it is returned.
std::FILE* open_unlinked_file(const std::filesystem::path& folder);

}  // namespace riphost

#endif  // RIPHOST_SPOOL_FILE_H
