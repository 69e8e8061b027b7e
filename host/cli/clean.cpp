// clean.cpp - riphost --clean through the output utility library and the
// document source's folder cleaning.
#include "cli/clean.h"

#include <cerrno>
#include <system_error>

#include "driver/driver.h"
#include "dravoututil.h"
#include "sources/document/private_temp.h"
#include "sources/document/separation_planes.h"

namespace riphost {

namespace {

// Prints one removed file as a result line.
void print_removed(const char* path, void* context) {
  static_cast<MessageSink*>(context)->result("removed %s", path);
}

// The folders of dead riphost processes in temp; how many went.
int clean_folders(const std::filesystem::path& temp, MessageSink& sink) {
  const auto report = [&sink](const std::filesystem::path& path) { sink.result("removed %s", path.c_str()); };
  return remove_abandoned_private_folders(temp, report) + remove_abandoned_plane_folders(temp, report);
}

}  // namespace

int clean_temporaries(const std::string& folder, const std::filesystem::path& temp, MessageSink& sink) {
  errno = 0;
  int removed = dravoututil_cleantemporaries(folder.c_str(), print_removed, &sink);
  if (removed < 0) {
    int reason = errno;
    std::string text = reason != 0 ? std::generic_category().message(reason) : std::string("unknown reason");
    sink.error("cannot clean the folder %s: %s", folder.c_str(), text.c_str());
    return kExitFailed;
  }
  sink.info("%d temporary file%s removed from %s", removed, removed == 1 ? "" : "s", folder.c_str());
  const int folders = clean_folders(temp, sink);
  sink.info("%d temporary folder%s removed from %s", folders, folders == 1 ? "" : "s", temp.c_str());
  return kExitOk;
}

}  // namespace riphost
