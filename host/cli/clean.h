// clean.h - riphost --clean: removes the temporary files that dead runs on
// this machine left in an output folder.
#ifndef RIPHOST_CLEAN_H
#define RIPHOST_CLEAN_H

#include <string>

#include "common/message.h"

namespace riphost {

// Removes from folder the plug-in's temporary files whose process on this
// machine is gone (dravoututil_cleantemporaries); prints "removed <path>" as
// a result line for each. Returns kExitOk (0), or kExitFailed (1) with an
// error message when the folder cannot be read.
int clean_temporaries(const std::string& folder, MessageSink& sink);

}  // namespace riphost

#endif  // RIPHOST_CLEAN_H
