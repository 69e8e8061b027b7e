// run_accounting.cpp - software screening: the hash, the current line and
// the pixels and bounding boxes of every screen's runs.
#include "run_accounting.h"

#include <time.h>

#include "registration.h"
#include "screen_table.h"

namespace screeninfo {
namespace {

// The accounting of the separation being screened.
RunAccounting acc;

// x + length as the wrapping 32-bit sum (never signed overflow).
int32_t run_end(int32_t x, int32_t length) {
  return static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(length));
}

// Adds one run to a record (steps shared by every kind of run).
inline void add_run(ScreenInfo& record, int32_t x, int32_t length) {
  record.coverage += length;
  record.bound_b = acc.current_line;
  if (x < record.bound_l) record.bound_l = x;
  const int32_t end = run_end(x, length);
  if (end > record.bound_r) record.bound_r = end;
}

// Coverage and bounds to zero.
void clear_totals(ScreenInfo& record) {
  record.coverage = 0;
  record.bound_l = record.bound_t = record.bound_r = record.bound_b = 0;
}

// Empties the run cache: the next screen run looks its handle up.
void empty_cache() {
  acc.cache_full = false;
  acc.last_record = nullptr;
}

// Calls the host's own init with the callbacks the separation gets.
int host_init(int bits, intptr_t second, ScrRunFn screen, ScrRunFn solid, ScrRunFn copydot) {
  const ScrInitFn init = registration().saved_scr_hook.init;
  return init != nullptr ? init(bits, second, screen, solid, copydot) : 0;
}

// The counters and timings to zero, the hash's clock started.
void start_timings() {
  acc.scr_ms = acc.solid_ms = acc.cpd_ms = 0;
  acc.scr_runs = acc.solid_runs = acc.cpd_runs = 0;
  acc.screen_changes = 0;
  acc.hash_ms = static_cast<int32_t>(tick_ms());
}

// Starts counting into the loaded table, every total at zero.
void start_counting(const ScreenTable& table) {
  acc.records = table.screen_info;
  acc.hash = &screen_hash();
  acc.coverage_valid = 1;
  for (int i = 0; i <= table.unique_count; ++i) clear_totals(table.screen_info[i]);
  clear_totals(acc.other_info[0]);
  clear_totals(acc.other_info[1]);
}

}  // namespace

const RunAccounting& run_accounting() { return acc; }

ScreenInfo* other_info_records() { return acc.other_info; }

void reset_run_accounting() { acc = RunAccounting{}; }

void selection_loaded() {
  selection_released();
  for (ScreenInfo& record : acc.other_info) {
    record.screen = 0;
    record.loaded = 0;
    record.dot = nullptr;
    record.lpi = 0.0;
    record.ang = 0.0;
    record.scrtype = 0;
  }
}

void selection_released() {
  empty_cache();
  acc.records = nullptr;
  acc.coverage_valid = 0;
}

uint32_t tick_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

// Starts the accounting of a 1-bit separation and hands the host the run
// callbacks; other depths and a failed hash get none.
int ext_softscr_init(int bits, intptr_t second, ScrRunFn, ScrRunFn, ScrRunFn) {
  empty_cache();
  acc.current_line = 0;
  if (bits != 1) {
    ext_message(DRAV_MSG_ERROR, "ext_softscr_init: SCR HOOK Extension in MONO: invalid bps (%d)", bits);
    return host_init(bits, second, nullptr, nullptr, nullptr);
  }
  const Registration& reg = registration();
  if (reg.time_debug != 0) start_timings();
  const ScreenTable& table = screen_table();
  if (hash_init(table.pointer_map, table.pointer_count, table.unique_count, reg.debug_level, ext_host_message()) !=
      0) {
    ext_message(DRAV_MSG_ERROR, "ext_softscr_init: error in hash_init()");
    return host_init(1, second, nullptr, nullptr, nullptr);
  }
  start_counting(table);
  if (reg.time_debug != 0) {
    acc.hash_ms = static_cast<int32_t>(tick_ms() - static_cast<uint32_t>(acc.hash_ms));
    return host_init(1, second, timed_screen_run, timed_solid_run, timed_copydot_run);
  }
  return host_init(1, second, count_screen_run, count_solid_run, count_copydot_run);
}

// Lets the host see the line first, then remembers its number.
int ext_softscr_line(intptr_t first, int32_t line, intptr_t third) {
  const ScrLineFn host_line = registration().saved_scr_hook.line;
  const int result = host_line != nullptr ? host_line(first, line, third) : 0;
  acc.current_line = line;
  return result;
}

// A run of a selected screen: one comparison while the screen stays the
// same, a lookup when it changes. A run that comes when no table is being
// counted (before init, after the selection was released) is not counted.
void count_screen_run(uint32_t handle, int32_t x, int32_t length) {
  ScreenInfo* record = acc.last_record;
  if (!acc.cache_full || handle != acc.last_screen) {
    if (acc.records == nullptr) return;
    ++acc.screen_changes;
    acc.cache_full = true;
    acc.last_screen = handle;
    record = &acc.records[acc.hash->lookup(handle)];
    acc.last_record = record;
    if (record->coverage == 0) {
      record->bound_l = x;
      record->bound_t = acc.current_line;
    }
  }
  add_run(*record, x, length);
}

namespace {

// A solid or copydot run: its record takes the run's place as its first
// one whenever it has counted nothing yet.
inline void count_other_run(ScreenInfo& record, int32_t x, int32_t length) {
  if (record.coverage == 0) {
    record.bound_l = x;
    record.bound_t = acc.current_line;
  }
  add_run(record, x, length);
}

}  // namespace

// A solid run: the solids record.
void count_solid_run(uint32_t, int32_t x, int32_t length) { count_other_run(acc.other_info[1], x, length); }

// A copydot run: the copydot record.
void count_copydot_run(uint32_t, int32_t x, int32_t length) { count_other_run(acc.other_info[0], x, length); }

namespace {

// Counts and times one run; accounts it too when time_debug is above 1.
template <void (*Count)(uint32_t, int32_t, int32_t)>
void timed_run(uint32_t handle, int32_t x, int32_t length, int32_t& runs, int32_t& ms) {
  const uint32_t t0 = tick_ms();
  if (registration().time_debug > 1) Count(handle, x, length);
  const uint32_t t1 = tick_ms();
  ++runs;
  ms = static_cast<int32_t>(static_cast<uint32_t>(ms) + (t1 - t0));
}

}  // namespace

void timed_screen_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_screen_run>(handle, x, length, acc.scr_runs, acc.scr_ms);
}
void timed_solid_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_solid_run>(handle, x, length, acc.solid_runs, acc.solid_ms);
}
void timed_copydot_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_copydot_run>(handle, x, length, acc.cpd_runs, acc.cpd_ms);
}

}  // namespace screeninfo
