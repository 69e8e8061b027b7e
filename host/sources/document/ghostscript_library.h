// ghostscript_library.h - Ghostscript's library, loaded when a document needs it.
//
// Ghostscript is licensed under the GNU AGPL. riphost does not link it: the
// document source loads the shared library at run time, the first time a
// document is read, so that riphost runs without Ghostscript for everything
// else and a missing Ghostscript is a plain message. Nothing outside
// host/sources/document/ calls it.
//
// The library is RIPHOST_GHOSTSCRIPT when that is set (a file name), else
// Debian's libgs.so.10, else libgs.so.
#ifndef RIPHOST_GHOSTSCRIPT_LIBRARY_H
#define RIPHOST_GHOSTSCRIPT_LIBRARY_H

#include <ghostscript/iapi.h>

#include <string>

namespace riphost {

// The gsapi functions riphost calls, as the library exports them.
struct GhostscriptLibrary {
  int (*revision)(gsapi_revision_t*, int) = nullptr;
  int (*new_instance)(void**, void*) = nullptr;
  void (*delete_instance)(void*) = nullptr;
  int (*set_stdio_with_handle)(void*, int (*)(void*, char*, int), int (*)(void*, const char*, int),
                               int (*)(void*, const char*, int), void*) = nullptr;
  int (*set_poll_with_handle)(void*, int (*)(void*), void*) = nullptr;
  int (*register_callout)(void*, gs_callout, void*) = nullptr;
  int (*set_arg_encoding)(void*, int) = nullptr;
  int (*init_with_args)(void*, int, char**) = nullptr;
  int (*exit)(void*) = nullptr;
  int (*add_control_path)(void*, int, const char*) = nullptr;
  // "GPL Ghostscript 10.00.0", for messages.
  std::string product;
};

// Environment name that picks the library file.
inline constexpr const char* kGhostscriptLibraryVariable = "RIPHOST_GHOSTSCRIPT";

// The library, loaded on the first call and kept for the life of the
// process. Throws HostError ("Ghostscript is not installed: ...; install
// Debian's libgs10 (ghostscript)") when it cannot be loaded or lacks a
// function.
const GhostscriptLibrary& ghostscript_library();

}  // namespace riphost

#endif  // RIPHOST_GHOSTSCRIPT_LIBRARY_H
