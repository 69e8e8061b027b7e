// clean.cpp - riphost --clean through the output utility library.
#include "cli/clean.h"

#include <cerrno>
#include <system_error>

#include "driver/driver.h"
#include "dravoututil.h"

namespace riphost {

namespace {

// Prints one removed file as a result line.
void print_removed(const char* path, void* context) {
  static_cast<MessageSink*>(context)->result("removed %s", path);
}

}  // namespace

int clean_temporaries(const std::string& folder, MessageSink& sink) {
  errno = 0;
  int removed = dravoututil_cleantemporaries(folder.c_str(), print_removed, &sink);
  if (removed < 0) {
    int reason = errno;
    std::string text = reason != 0 ? std::generic_category().message(reason) : std::string("unknown reason");
    sink.error("cannot clean the folder %s: %s", folder.c_str(), text.c_str());
    return kExitFailed;
  }
  sink.info("%d temporary file%s removed from %s", removed, removed == 1 ? "" : "s", folder.c_str());
  return kExitOk;
}

}  // namespace riphost
