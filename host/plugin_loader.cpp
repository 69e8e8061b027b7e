// plugin_loader.cpp - dlopen and dlsym of the plug-in's exports.
#include "plugin_loader.h"

#include <dlfcn.h>

#include <string>
#include <system_error>

#include "host_error.h"

namespace riphost {

namespace {

// Resolves one export into slot; appends its name to missing when absent.
template <typename Function>
void resolve(void* handle, const char* name, Function& slot, std::string& missing) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    missing += (missing.empty() ? "" : ", ") + std::string(name);
    return;
  }
  slot = reinterpret_cast<Function>(symbol);
}

}  // namespace

// Loads the library and resolves every export before anything is called.
PluginLibrary::PluginLibrary(const std::filesystem::path& path) {
  std::filesystem::path absolute = std::filesystem::absolute(path);
  handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    throw HostError("cannot load the plug-in " + absolute.string() + ": " + (reason ? reason : "unknown reason"));
  }
  std::string missing;
  resolve(handle_, "dravout_open", api_.open, missing);
  resolve(handle_, "dravout_jobsettings", api_.jobsettings, missing);
  resolve(handle_, "dravout_get_param", api_.get_param, missing);
  resolve(handle_, "dravout_startjob", api_.startjob, missing);
  resolve(handle_, "dravout_startpage", api_.startpage, missing);
  resolve(handle_, "dravout_startseparations", api_.startseparations, missing);
  resolve(handle_, "dravout_newscan", api_.newscan, missing);
  resolve(handle_, "dravout_putscan", api_.putscan, missing);
  resolve(handle_, "dravout_endseparations", api_.endseparations, missing);
  resolve(handle_, "dravout_endpage", api_.endpage, missing);
  resolve(handle_, "dravout_endjob", api_.endjob, missing);
  resolve(handle_, "dravout_close", api_.close, missing);
  resolve(handle_, "drav_extension", api_.extension, missing);
  if (!missing.empty()) {
    dlclose(handle_);
    handle_ = nullptr;
    throw HostError("the plug-in " + absolute.string() + " does not export " + missing);
  }
}

// Unloads the library.
PluginLibrary::~PluginLibrary() {
  if (handle_) dlclose(handle_);
}

// The folder of /proc/self/exe plus the plug-in's file name.
std::filesystem::path default_plugin_path() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw HostError("cannot find riphost's own folder: " + error.message() + " (use --plugin PATH)");
  return exe.parent_path() / "libdravout.so";
}

}  // namespace riphost
