// folder_on_stop.h - the private folder goes also when a stop signal ends
// riphost outside a run.
//
// riphost's own stop handlers (common/signals.h) are in place only while
// the driver runs a ticket or --render-only renders; a stop signal while a
// document is checked (a long PostScript program, say) ends the process by
// the signal's default action, which would leave the private folder
// (private_temp.h) behind. While a folder is armed here, SIGINT, SIGTERM and
// SIGHUP remove it (with async-signal-safe calls only) and then end the
// process by the same signal, as before. A signal ignored when the folder
// was armed (nohup) stays ignored; the driver's handlers take over while it
// runs and put these back after.
#ifndef RIPHOST_FOLDER_ON_STOP_H
#define RIPHOST_FOLDER_ON_STOP_H

#include <filesystem>

namespace riphost {

// Removes folder (and all in it, a few levels deep) when a stop signal
// ends the process; true when this call armed it. One folder is armed at a
// time; a later call while one is armed does nothing and says false (a
// folder made inside the armed one goes with it).
bool arm_folder_removal(const std::filesystem::path& folder);

// Puts back the signal dispositions arm_folder_removal found; for the
// caller whose call armed the folder.
void disarm_folder_removal();

}  // namespace riphost

#endif  // RIPHOST_FOLDER_ON_STOP_H
