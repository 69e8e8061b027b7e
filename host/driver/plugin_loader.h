// plugin_loader.h - loading the output plug-in and resolving its exports.
#ifndef RIPHOST_PLUGIN_LOADER_H
#define RIPHOST_PLUGIN_LOADER_H

#include <filesystem>

#include "dravout.h"

namespace riphost {

// The plug-in's thirteen exports.
struct PluginApi {
  dravout_open_fn open = nullptr;
  dravout_void_fn jobsettings = nullptr;
  dravout_get_param_fn get_param = nullptr;
  dravout_container_fn startjob = nullptr;
  dravout_container_fn startpage = nullptr;
  dravout_container_fn startseparations = nullptr;
  dravout_newscan_fn newscan = nullptr;
  dravout_putscan_fn putscan = nullptr;
  dravout_void_fn endseparations = nullptr;
  dravout_void_fn endpage = nullptr;
  dravout_void_fn endjob = nullptr;
  dravout_void_fn close = nullptr;
  drav_extension_fn extension = nullptr;
};

// A loaded plug-in; unloaded when destroyed.
class PluginLibrary {
 public:
  // Loads the library with dlopen and resolves all thirteen exports. Throws
  // HostError naming the library and what failed (dlopen's text, or every
  // missing export).
  explicit PluginLibrary(const std::filesystem::path& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const PluginApi& api() const noexcept { return api_; }

 private:
  void* handle_ = nullptr;
  PluginApi api_;
};

// The plug-in riphost loads when none is named: find_plugin for the folder of
// the running executable.
std::filesystem::path default_plugin_path();

// libdravout.so in exe_dir when it is there, else the installed plug-in
// relative to exe_dir (../lib/dravout/libdravout.so in a standard prefix).
// Throws HostError naming both places when neither exists.
std::filesystem::path find_plugin(const std::filesystem::path& exe_dir);

}  // namespace riphost

#endif  // RIPHOST_PLUGIN_LOADER_H
