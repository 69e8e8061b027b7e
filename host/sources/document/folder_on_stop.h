// folder_on_stop.h - the private folder goes also when riphost ends at once.
//
// Ghostscript's library cannot be interrupted while it reads a page, so a
// stop signal or a page past its time limit while a document is checked
// ends riphost with std::_Exit from a watchdog thread (page_watch.h),
// without unwinding the scope that would remove the private folder
// (private_temp.h). The folder armed here is removed by that path first,
// with plain system calls only (no allocation, no locks), whatever the
// other threads are doing.
#ifndef RIPHOST_FOLDER_ON_STOP_H
#define RIPHOST_FOLDER_ON_STOP_H

#include <filesystem>

namespace riphost {

// Names folder as the one remove_armed_folder removes; true when this call
// armed it. One folder is armed at a time; a later call while one is armed
// does nothing and says false (a folder made inside the armed one goes
// with it).
bool arm_folder_removal(const std::filesystem::path& folder);

// Forgets the armed folder; for the caller whose call armed it.
void disarm_folder_removal();

// Removes the armed folder and all in it (a few levels deep), if one is
// armed; called just before riphost ends with std::_Exit.
void remove_armed_folder() noexcept;

}  // namespace riphost

#endif  // RIPHOST_FOLDER_ON_STOP_H
