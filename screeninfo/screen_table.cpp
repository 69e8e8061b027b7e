// screen_table.cpp - the screen table of a separation's screen selection.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ascii_case.h"
#include "extension.h"

namespace screeninfo {
namespace {

constexpr std::size_t kDotNameSize = 64;

// The dot name a record keeps: "nd00" for a NovaDot screen, "mf" for the
// host's "ys" dots, else the host's name cut to 63 characters.
void name_dot(const char* host_dot, const char* screen_name, char (&name)[kDotNameSize]) {
  name[0] = '\0';
  if (std::strstr(screen_name, "NovaDot") != nullptr) {
    std::snprintf(name, sizeof name, "%c%c%02d", 'n', 'd', 0);
  } else if (textutil::equal_ignoring_case(host_dot, "ys")) {
    std::strcpy(name, "mf");
  } else {
    std::strncat(name, host_dot, sizeof name - 1);
  }
}

// Clears the six descriptive fields of a record.
void clear_description(ScreenInfo& record) {
  record.screen = 0;
  record.loaded = 0;
  record.dot = nullptr;
  record.lpi = 0.0;
  record.ang = 0.0;
  record.scrtype = 0;
}

// Asks the host about one screen: params, then state (which may replace the
// dot name, loaded flag and type), then its name. The host's dot name comes
// back through host_dot; a host that gives none counts as an empty name.
void query_screen(ScreenSelection* selection, uint32_t handle, ScreenInfo& candidate, const char** host_dot,
                  char (&screen_name)[SCR_SCREEN_NAME_SIZE]) {
  const ScrSelHookRecord& hook = ext.saved_scrsel_hook;
  const char* dot = nullptr;
  double unused_real = 0.0;
  int32_t unused_int = 0;
  if (hook.get_screen_params != nullptr) {
    hook.get_screen_params(selection, handle, &dot, &unused_real, &candidate.lpi, &unused_real, &candidate.ang,
                           &candidate.loaded, &candidate.scrtype, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
  }
  if (hook.get_screen_state != nullptr) {
    hook.get_screen_state(selection, handle, &dot, &unused_int, &unused_int, &candidate.loaded, &candidate.scrtype,
                          &unused_int);
  }
  screen_name[0] = '\0';
  if (hook.get_screen_name != nullptr) hook.get_screen_name(selection, handle, screen_name);
  screen_name[SCR_SCREEN_NAME_SIZE - 1] = '\0';
  *host_dot = dot != nullptr ? dot : "";
}

// The result after a failed allocation: 1 when the host's load succeeded.
int failed_load(int host_result) { return host_result == 0 ? 1 : 0; }

}  // namespace

// Frees the screen table, its names and the hash tables.
void release_tables() {
  if (ext.screen_info != nullptr) {
    for (int i = 0; i < ext.unique_count; ++i) std::free(ext.screen_info[i].dot);
    std::free(ext.screen_info);
    ext.screen_info = nullptr;
  }
  std::free(ext.pointer_map);
  ext.pointer_map = nullptr;
  ext.unique_count = 0;
  ext.pointer_count = 0;
  ext.coverage_valid = 0;
  ext.cache_full = false;
  ext.last_record = nullptr;
  ext.hash.release();
}

// Lets the host load, then builds the table of unique screens and the map
// from every taken handle to its record.
int ext_scrsel_load(ScreenSelection* selection) {
  // A load without an unload in between: the old tables go first.
  release_tables();
  const ScrSelLoadFn host_load = ext.saved_scrsel_hook.load;
  const int host_result = host_load != nullptr ? host_load(selection) : 0;

  const int32_t count = selection != nullptr && selection->screen_count > 0 ? selection->screen_count : 0;
  const std::size_t slots = static_cast<std::size_t>(count) + 1;
  ext.screen_info = static_cast<ScreenInfo*>(std::calloc(slots, sizeof(ScreenInfo)));
  if (ext.screen_info == nullptr) {
    ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for screen_info allocation");
    return failed_load(host_result);
  }
  ext.pointer_map = static_cast<PointerEntry*>(std::calloc(slots, sizeof(PointerEntry)));
  if (ext.pointer_map == nullptr) {
    ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for pointer_map allocation");
    std::free(ext.screen_info);
    ext.screen_info = nullptr;
    return failed_load(host_result);
  }

  int n = 0;
  for (int32_t e = 0; e < count; ++e) {
    if (selection->screen_uses == nullptr || selection->screens == nullptr) break;
    if (selection->screen_uses[e] <= 0) continue;
    const uint32_t handle = selection->screens[e];
    ScreenInfo& candidate = ext.screen_info[n];
    candidate = ScreenInfo{};
    const char* host_dot = "";
    char screen_name[SCR_SCREEN_NAME_SIZE];
    query_screen(selection, handle, candidate, &host_dot, screen_name);
    char name[kDotNameSize];
    name_dot(host_dot, screen_name, name);

    ext.pointer_map[ext.pointer_count].handle = handle;
    int same = -1;
    for (int j = 0; j < n && same < 0; ++j) {
      const ScreenInfo& earlier = ext.screen_info[j];
      if (earlier.lpi == candidate.lpi && earlier.ang == candidate.ang && earlier.scrtype == candidate.scrtype &&
          earlier.dot != nullptr && textutil::equal_ignoring_case(earlier.dot, host_dot)) {
        same = j;
      }
    }
    if (same >= 0) {
      ext.pointer_map[ext.pointer_count++].index = same;
      continue;
    }
    candidate.dot = strdup(name);
    if (candidate.dot == nullptr) {
      ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for dotshape name allocation (%s)", host_dot);
      // No screens are published; the names made so far are not kept.
      for (int j = 0; j < n; ++j) {
        std::free(ext.screen_info[j].dot);
        ext.screen_info[j].dot = nullptr;
      }
      return failed_load(host_result);
    }
    ext.pointer_map[ext.pointer_count++].index = n;
    candidate.screen = handle;
    ++n;
  }
  ext.unique_count = n;
  clear_description(ext.screen_info[n]);
  clear_description(ext.other_info[0]);
  clear_description(ext.other_info[1]);
  ext.coverage_valid = 0;
  return host_result;
}

// Frees the tables, then hands the host's unload exactly its arguments.
int ext_scrsel_unload(ScreenSelection* selection, intptr_t host_arg1, intptr_t host_arg2) {
  release_tables();
  const ScrSelUnloadFn host_unload = ext.saved_scrsel_hook.unload;
  return host_unload != nullptr ? host_unload(selection, host_arg1, host_arg2) : 0;
}

}  // namespace screeninfo
