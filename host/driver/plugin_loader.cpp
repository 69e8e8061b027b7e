// plugin_loader.cpp - dlopen and dlsym of the plug-in's exports.
#include "driver/plugin_loader.h"

#include <dlfcn.h>

#include <string>
#include <system_error>

#include "common/host_error.h"

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
  // The plug-in stays mapped once loaded: what it and its libraries start
  // once per process (Exempi) must stay theirs when riphost loads it again
  // (a document's check, then its run).
  handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
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

// The plug-in's place after `cmake --install`, relative to riphost's folder;
// the build passes the real one (the install's bin and lib folders).
#ifndef RIPHOST_INSTALLED_PLUGIN
#define RIPHOST_INSTALLED_PLUGIN "../lib/dravout/libdravout.so"
#endif

// libdravout.so beside riphost (the build tree, or a copied folder) first, then
// the installed place relative to riphost's folder.
std::filesystem::path default_plugin_path() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw HostError("cannot find riphost's own folder: " + error.message() + " (use --plugin PATH)");
  return find_plugin(exe.parent_path());
}

std::filesystem::path find_plugin(const std::filesystem::path& exe_dir) {
  const std::filesystem::path candidates[] = {
      exe_dir / "libdravout.so",
      (exe_dir / RIPHOST_INSTALLED_PLUGIN).lexically_normal(),
  };
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::exists(candidate, error)) return candidate;
  }
  throw HostError("cannot find the plug-in: neither " + candidates[0].string() + " nor " + candidates[1].string() +
                  " exists (use --plugin PATH)");
}

}  // namespace riphost
