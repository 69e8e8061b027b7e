// ghostscript_library.cpp - finding and loading Ghostscript's library.
#include "sources/document/ghostscript_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <optional>

#include "common/host_error.h"

namespace riphost {

namespace {

// Resolves one export into fn; false when it is missing.
template <typename Fn>
bool resolve(void* handle, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(handle, name));
  return fn != nullptr;
}

// Opens the library file; names every file tried when none opens.
void* open_library(std::string& tried) {
  const char* chosen = std::getenv(kGhostscriptLibraryVariable);
  const char* const defaults[] = {"libgs.so.10", "libgs.so"};
  if (chosen && *chosen) {
    void* handle = dlopen(chosen, RTLD_NOW | RTLD_LOCAL);
    if (!handle) tried = dlerror();
    return handle;
  }
  for (const char* name : defaults) {
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return handle;
    tried += (tried.empty() ? "" : "; ") + std::string(dlerror());
  }
  return nullptr;
}

GhostscriptLibrary load() {
  std::string tried;
  void* handle = open_library(tried);
  if (!handle) {
    throw HostError("Ghostscript is not installed (" + tried +
                    "); documents need Debian's ghostscript and libgs10 packages");
  }
  GhostscriptLibrary lib;
  const bool complete =
      resolve(handle, "gsapi_revision", lib.revision) && resolve(handle, "gsapi_new_instance", lib.new_instance) &&
      resolve(handle, "gsapi_delete_instance", lib.delete_instance) &&
      resolve(handle, "gsapi_set_stdio_with_handle", lib.set_stdio_with_handle) &&
      resolve(handle, "gsapi_set_poll_with_handle", lib.set_poll_with_handle) &&
      resolve(handle, "gsapi_register_callout", lib.register_callout) &&
      resolve(handle, "gsapi_set_arg_encoding", lib.set_arg_encoding) &&
      resolve(handle, "gsapi_init_with_args", lib.init_with_args) && resolve(handle, "gsapi_exit", lib.exit) &&
      resolve(handle, "gsapi_add_control_path", lib.add_control_path);
  if (!complete) {
    dlclose(handle);
    throw HostError("the Ghostscript library lacks the gsapi functions of Ghostscript 9.56 or later");
  }
  gsapi_revision_t revision{};
  if (lib.revision(&revision, sizeof revision) == 0 && revision.product) {
    lib.product = std::string(revision.product) + " " + std::to_string(revision.revision / 1000) + "." +
                  std::to_string(revision.revision % 1000 / 10) + "." + std::to_string(revision.revision % 10);
  }
  // The library stays loaded: its instances may be made until the process ends.
  return lib;
}

}  // namespace

const GhostscriptLibrary& ghostscript_library() {
  static std::mutex mutex;
  static std::optional<GhostscriptLibrary> library;
  std::lock_guard<std::mutex> lock(mutex);
  if (!library) library = load();
  return *library;
}

}  // namespace riphost
