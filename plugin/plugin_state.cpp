// plugin_state.cpp - the plug-in's process-wide state and its message helper.
#include "plugin_state.h"

#include <cstdarg>
#include <cstdio>

#include "c_locale.h"

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
ScanlineBuffer scanline = {nullptr, 0};
ScanlineBuffer expanded = {nullptr, 0};
int32_t scanline_bytes = 0;

const DravOptionDecl declared_options[] = {
    {"CONF", DRAV_OPT_STRING},       {"LEFT", DRAV_OPT_INTEGER},
    {"OCOMPRESS", DRAV_OPT_STRING},  {"OFORMAT", DRAV_OPT_STRING},
    {"OUTPUTPAGE", DRAV_OPT_INTEGER}, {"RES", DRAV_OPT_REAL},
    {"REVERSE", DRAV_OPT_INTEGER},   {nullptr, 0},
};

void report(int level, const char* format, ...) {
  if (host == nullptr || host->host_message == nullptr) return;
  char text[4096];
  {
    ScopedCLocale c_locale;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
  }
  host->host_message(level, "%s", text);
}

}  // namespace dravout
