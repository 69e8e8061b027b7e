// clean.h - riphost --clean: removes the temporary files that runs on this
// machine left in an output folder when they died, and the private
// temporary folders they left in $TMPDIR.
#ifndef RIPHOST_CLEAN_H
#define RIPHOST_CLEAN_H

#include <filesystem>
#include <string>

#include "common/message.h"

namespace riphost {

// Removes from folder the plug-in's temporary files whose writer on this
// machine died: its process is gone and no writer holds the file's lock
// (dravoututil_cleantemporaries; complete files kept by a writer stay);
// then from temp the private folders of riphost processes of this machine
// that are gone and whose lock nobody holds (private_temp.h), and the plane
// folders of earlier versions whose process is gone. Prints
// "removed <path>" as a result line for each. Returns kExitOk (0), or
// kExitFailed (1) with an error message when folder cannot be read (temp
// that cannot be read holds nothing to remove).
int clean_temporaries(const std::string& folder, const std::filesystem::path& temp, MessageSink& sink);

}  // namespace riphost

#endif  // RIPHOST_CLEAN_H
