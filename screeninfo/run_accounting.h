// run_accounting.h - software screening (SCR init and line) and the run
// callbacks: pixels and bounding boxes of every screen's runs, and of the
// solid and copydot runs.
//
// Owns the accounting state: the current line, the run cache (last handle
// and its record), the copydot and solids records, whether the accounting
// is active, and the run counters and timings. It counts into the records
// of the screen table it is handed at init, and finds them through the
// hash built then.
#ifndef SCREENINFO_RUN_ACCOUNTING_H
#define SCREENINFO_RUN_ACCOUNTING_H

#include <cstdint>

#include "perfect_hash.h"
#include "screen_info.h"
#include "screening_hooks.h"

namespace screeninfo {

struct RunAccounting {
  ScreenInfo* records = nullptr;        // the table's records, from init; null when none
  const ScreenHash* hash = nullptr;     // finds a handle's record; set at init
  int32_t current_line = 0;
  bool cache_full = false;  // the run cache is empty after init, whatever the handle
  uint32_t last_screen = 0;
  ScreenInfo* last_record = nullptr;
  ScreenInfo other_info[2] = {};  // [0] copydot, [1] solids
  int coverage_valid = 0;         // 1 while the runs of the separation are counted
  int32_t screen_changes = 0;
  int32_t scr_runs = 0, scr_ms = 0;
  int32_t solid_runs = 0, solid_ms = 0;
  int32_t cpd_runs = 0, cpd_ms = 0;
  int32_t hash_ms = 0;
};

// The accounting as it stands.
const RunAccounting& run_accounting();

// The copydot and solids records, which the tag writer may change in place.
ScreenInfo* other_info_records();

// Back to the state at load.
void reset_run_accounting();

// A new selection was loaded: the accounting stops until the next init, and
// the copydot and solids records lose their description.
void selection_loaded();

// The selection's table was freed: nothing is counted into it any more.
void selection_released();

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

}  // namespace screeninfo

#endif  // SCREENINFO_RUN_ACCOUNTING_H
