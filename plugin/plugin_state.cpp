// plugin_state.cpp - the plug-in's process-wide state and its message helper.
#include "plugin_state.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "fileutil.h"

namespace dravout {

PluginState state;

HostCallbacks* host = nullptr;
DravOutUtil* util_handle = nullptr;
CDictContainerFactory* dict_factory = nullptr;
CDictContainer* devinfo = nullptr;
char output_file_name[DRAV_NAME_SIZE] = {};
int32_t output_page = 1;
int32_t add_png_preview = 0;
int32_t output_png_preview = 0;
int32_t png_preview_resolution = 1000;
char preview_tmp_name[DRAV_NAME_SIZE] = {};
bool preview_failed = false;
ScanlineBuffer scanline = {nullptr, 0};
ScanlineBuffer expanded = {nullptr, 0};
int32_t scanline_bytes = 0;

const DravOptionDecl declared_options[] = {
    {"CONF", DRAV_OPT_STRING},       {"LEFT", DRAV_OPT_INTEGER},
    {"OCOMPRESS", DRAV_OPT_STRING},  {"OFORMAT", DRAV_OPT_STRING},
    {"OUTPUTPAGE", DRAV_OPT_INTEGER}, {"RES", DRAV_OPT_REAL},
    {"REVERSE", DRAV_OPT_INTEGER},   {nullptr, 0},
};

CallOrder call_order;

namespace {

// The job's common staggered-cutting text outlives every job and even
// dravout_close (a later job of the same host may still carry it); it is
// released when the library is unloaded.
struct ReleaseAtUnload {
  ~ReleaseAtUnload() {
    std::free(state.stagger_all);
    state.stagger_all = nullptr;
    state.stagger_all_size = 0;
  }
} release_at_unload;

}  // namespace

bool remove_temporary(const char* path) {
  if (path == nullptr || path[0] == '\0') return true;
  const int result = util_handle != nullptr ? dravoututil_discard(util_handle, path) : fdelete(path);
  if (result == 0 || errno == ENOENT) return true;
  const std::string reason = std::error_code(errno, std::generic_category()).message();
  report(DRAV_MSG_WARNING, "Could not delete the unfinished file %s (%s)", path, reason.c_str());
  return false;
}

bool require_open() {
  if (call_order.opened) return true;
  report(DRAV_MSG_ERROR, "The plug-in is not open: dravout_open must come first");
  return false;
}

}  // namespace dravout
