// screen_table.cpp - the screen table of a separation's screen selection.
#include "screen_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ascii_case.h"
#include "registration.h"
#include "run_accounting.h"

namespace screeninfo {
namespace {

constexpr std::size_t kDotNameSize = 64;

// The table of the loaded selection.
ScreenTable table;

// Zeroed records on cache-line boundaries: each record (64 bytes) that the
// run callbacks update then lies in one line.
ScreenInfo* allocate_records(std::size_t n) {
  constexpr std::size_t kLine = 64;
  const std::size_t bytes = (n * sizeof(ScreenInfo) + kLine - 1) / kLine * kLine;
  void* records = std::aligned_alloc(kLine, bytes);
  if (records != nullptr) std::memset(records, 0, bytes);
  return static_cast<ScreenInfo*>(records);
}

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

// Asks the host about one screen through its saved queries: params, then
// state (which may replace the dot name, loaded flag and type), then its
// name. The host's dot name comes back through host_dot; a host that gives
// none counts as an empty name.
void query_screen(const ScrSelHookRecord& hook, ScreenSelection* selection, uint32_t handle, ScreenInfo& candidate,
                  const char** host_dot, char (&screen_name)[SCR_SCREEN_NAME_SIZE]) {
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

// The earlier unique screen (0 .. n-1) the candidate is: same ruling,
// angle and type, and a stored name equal to the host's name without
// regard to case; -1 when none.
int same_screen(const ScreenInfo& candidate, const char* host_dot, int n) {
  for (int j = 0; j < n; ++j) {
    const ScreenInfo& earlier = table.screen_info[j];
    if (earlier.lpi == candidate.lpi && earlier.ang == candidate.ang && earlier.scrtype == candidate.scrtype &&
        earlier.dot != nullptr && textutil::equal_ignoring_case(earlier.dot, host_dot)) {
      return j;
    }
  }
  return -1;
}

// Frees the names of the first n records; no screens are published.
void forget_names(int n) {
  for (int j = 0; j < n; ++j) {
    std::free(table.screen_info[j].dot);
    table.screen_info[j].dot = nullptr;
  }
}

// Takes one selection entry into the table: a new unique screen at record
// *n, or a map entry to the earlier one it equals. False when its name
// could not be copied (reported).
bool take_entry(const ScrSelHookRecord& hook, ScreenSelection* selection, uint32_t handle, int* n) {
  ScreenInfo& candidate = table.screen_info[*n];
  candidate = ScreenInfo{};
  const char* host_dot = "";
  char screen_name[SCR_SCREEN_NAME_SIZE];
  query_screen(hook, selection, handle, candidate, &host_dot, screen_name);
  char name[kDotNameSize];
  name_dot(host_dot, screen_name, name);

  PointerEntry& entry = table.pointer_map[table.pointer_count];
  entry.handle = handle;
  const int same = same_screen(candidate, host_dot, *n);
  if (same >= 0) {
    entry.index = same;
    ++table.pointer_count;
    return true;
  }
  candidate.dot = strdup(name);
  if (candidate.dot == nullptr) {
    ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for dotshape name allocation (%s)", host_dot);
    return false;
  }
  entry.index = *n;
  ++table.pointer_count;
  candidate.screen = handle;
  ++*n;
  return true;
}

// Room for the selection's records and map: count + 1 of each. False after
// the report of what could not be had (nothing stays allocated).
bool allocate_tables(int32_t count) {
  const std::size_t slots = static_cast<std::size_t>(count) + 1;
  table.screen_info = allocate_records(slots);
  if (table.screen_info == nullptr) {
    ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for screen_info allocation");
    return false;
  }
  table.pointer_map = static_cast<PointerEntry*>(std::calloc(slots, sizeof(PointerEntry)));
  if (table.pointer_map == nullptr) {
    ext_message(DRAV_MSG_ERROR, "ext_scrsel_load: Not enough memory for pointer_map allocation");
    std::free(table.screen_info);
    table.screen_info = nullptr;
    return false;
  }
  return true;
}

// The result after a failed allocation: 1 when the host's load succeeded.
int failed_load(int host_result) { return host_result == 0 ? 1 : 0; }

}  // namespace

const ScreenTable& screen_table() { return table; }

// Frees the screen table and its names; the hash and the run accounting
// let go of it too.
void release_tables() {
  if (table.screen_info != nullptr) {
    for (int i = 0; i < table.unique_count; ++i) std::free(table.screen_info[i].dot);
    std::free(table.screen_info);
  }
  std::free(table.pointer_map);
  table = ScreenTable{};
  hash_release();
  selection_released();
}

// Lets the host load, then builds the table of unique screens and the map
// from every taken handle to its record.
int ext_scrsel_load(ScreenSelection* selection) {
  // A load without an unload in between: the old tables go first.
  release_tables();
  const ScrSelHookRecord& hook = registration().saved_scrsel_hook;
  const int host_result = hook.load != nullptr ? hook.load(selection) : 0;

  const int32_t count = selection != nullptr && selection->screen_count > 0 ? selection->screen_count : 0;
  if (!allocate_tables(count)) return failed_load(host_result);
  int n = 0;
  for (int32_t e = 0; e < count; ++e) {
    if (selection->screen_uses == nullptr || selection->screens == nullptr) break;
    if (selection->screen_uses[e] <= 0) continue;
    if (!take_entry(hook, selection, selection->screens[e], &n)) {
      forget_names(n);
      return failed_load(host_result);
    }
  }
  table.unique_count = n;
  clear_description(table.screen_info[n]);
  selection_loaded();
  return host_result;
}

// Frees the tables, then hands the host's unload exactly its arguments.
int ext_scrsel_unload(ScreenSelection* selection, intptr_t host_arg1, intptr_t host_arg2) {
  release_tables();
  const ScrSelUnloadFn host_unload = registration().saved_scrsel_hook.unload;
  return host_unload != nullptr ? host_unload(selection, host_arg1, host_arg2) : 0;
}

}  // namespace screeninfo
