// extension.h - the screening extension: registration, screen table, run
// accounting, and the hand-over of the totals to the tag writer.
//
// The host registers its SCR and SCRSEL hooks through drav_extension. For
// each separation it then loads the screen selection (ext_scrsel_load: the
// screen table), starts software screening (ext_softscr_init: the perfect
// hash and the run callbacks), reports lines and runs (ext_softscr_line and
// the callbacks add up pixels and bounding boxes per screen), and finally
// releases the selection (ext_scrsel_unload) after the file's tags were
// written. All state is process-wide and used from the host's thread only.
#ifndef SCREENINFO_EXTENSION_H
#define SCREENINFO_EXTENSION_H

#include <cstdint>
#include <vector>

#include "drav_host.h"
#include "perfect_hash.h"
#include "screen_info.h"
#include "screening_hooks.h"

namespace screeninfo {

// The extension's identification and build date, as the host is told.
inline constexpr const char* kIdentification = "SCRINFO  10.1.00";
inline constexpr const char* kBuildDate = "Nov 29 2011";

// The host's own functions of the slots of one hook record the extension
// wrote into, kept per record: a record registered again (its slots then
// hold the extension's functions) chains to its own host's functions, not
// to those of another record registered in between.
struct ScrRecordSlots {
  const ScrHookRecord* record;
  ScrInitFn init;
  ScrLineFn line;
};
struct ScrSelRecordSlots {
  const ScrSelHookRecord* record;
  ScrSelLoadFn load;
  ScrSelUnloadFn unload;
};

// Records whose host functions are remembered; the oldest is forgotten
// first (a host offers one record of each hook, or a few).
inline constexpr std::size_t kRememberedRecords = 16;

// Everything the extension keeps, zero at load.
struct ExtensionState {
  // Registration (drav_extension).
  HostCallbacks* ext_host = nullptr;
  int registered = 0;
  int time_debug = 0;
  int debug_level = 0;
  ScrHookRecord saved_scr_hook{};
  ScrSelHookRecord saved_scrsel_hook{};
  std::vector<ScrRecordSlots> scr_records;        // most recent last
  std::vector<ScrSelRecordSlots> scrsel_records;  // most recent last

  // Screen table (ext_scrsel_load).
  ScreenInfo* screen_info = nullptr;
  int unique_count = 0;
  PointerEntry* pointer_map = nullptr;
  int pointer_count = 0;
  ScreenInfo other_info[2] = {};  // [0] copydot, [1] solids
  int coverage_valid = 0;

  // Lookup and run accounting (ext_softscr_init and the callbacks).
  ScreenHash hash;
  int32_t current_line = 0;
  bool cache_full = false;  // the run cache is empty after init, whatever the handle
  uint32_t last_screen = 0;
  ScreenInfo* last_record = nullptr;
  int32_t screen_changes = 0;
  int32_t scr_runs = 0, scr_ms = 0;
  int32_t solid_runs = 0, solid_ms = 0;
  int32_t cpd_runs = 0, cpd_ms = 0;
  int32_t hash_ms = 0;
};

extern ExtensionState ext;

// drav_extension: claims the SCR and SCRSEL hooks. 1 claimed, 0 not ours, -1
// ours in an unsupported version.
int register_hook(void* hook_record, HostCallbacks* host_table);

// SCRSEL slots.
int ext_scrsel_load(ScreenSelection* selection);
int ext_scrsel_unload(ScreenSelection* selection, intptr_t host_arg1, intptr_t host_arg2);
// Frees the screen table and the hash tables (also used by a repeated load).
void release_tables();

// hash_init over the loaded pointer_map: 0, -1 or -3.
int hash_init();

// SCR slots.
int ext_softscr_init(int bits, intptr_t second, ScrRunFn, ScrRunFn, ScrRunFn);
int ext_softscr_line(intptr_t first, int32_t line, intptr_t third);

// The run callbacks handed to the host.
void count_screen_run(uint32_t handle, int32_t x, int32_t length);
void count_solid_run(uint32_t handle, int32_t x, int32_t length);
void count_copydot_run(uint32_t handle, int32_t x, int32_t length);
void timed_screen_run(uint32_t handle, int32_t x, int32_t length);
void timed_solid_run(uint32_t handle, int32_t x, int32_t length);
void timed_copydot_run(uint32_t handle, int32_t x, int32_t length);

// The millisecond tick counter; only differences are used (32-bit wrapping).
uint32_t tick_ms();

// Reports through the registered host's message entry: the format and the
// arguments go to the host as they stand.
template <typename... Args>
void ext_message(int level, const char* format, Args... args) {
  if (ext.ext_host != nullptr && ext.ext_host->host_message != nullptr) {
    ext.ext_host->host_message(level, format, args...);
  }
}

}  // namespace screeninfo

#endif  // SCREENINFO_EXTENSION_H
