// clean.h - riphost --clean: removes the temporary files that runs on this
// machine left in an output folder when they died.
#ifndef RIPHOST_CLEAN_H
#define RIPHOST_CLEAN_H

#include <string>

#include "common/message.h"

namespace riphost {

// Removes from folder the plug-in's temporary files whose writer on this
// machine died: its process is gone and no writer holds the file's lock
// (dravoututil_cleantemporaries; complete files kept by a writer stay);
// prints "removed <path>" as
// a result line for each. Returns kExitOk (0), or kExitFailed (1) with an
// error message when the folder cannot be read.
int clean_temporaries(const std::string& folder, MessageSink& sink);

}  // namespace riphost

#endif  // RIPHOST_CLEAN_H
