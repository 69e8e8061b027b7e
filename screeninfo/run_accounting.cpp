// run_accounting.cpp - software screening: the hash, the current line and
// the pixels and bounding boxes of every screen's runs.
#include <time.h>

#include "extension.h"

namespace screeninfo {
namespace {

// x + length as the wrapping 32-bit sum (never signed overflow).
int32_t run_end(int32_t x, int32_t length) {
  return static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(length));
}

// Adds one run to a record (steps shared by every kind of run).
inline void add_run(ScreenInfo& record, int32_t x, int32_t length) {
  record.coverage += length;
  record.bound_b = ext.current_line;
  if (x < record.bound_l) record.bound_l = x;
  const int32_t end = run_end(x, length);
  if (end > record.bound_r) record.bound_r = end;
}

// Coverage and bounds to zero.
void clear_totals(ScreenInfo& record) {
  record.coverage = 0;
  record.bound_l = record.bound_t = record.bound_r = record.bound_b = 0;
}

// Calls the host's own init with the callbacks the separation gets.
int host_init(int bits, intptr_t second, ScrRunFn screen, ScrRunFn solid, ScrRunFn copydot) {
  const ScrInitFn init = ext.saved_scr_hook.init;
  return init != nullptr ? init(bits, second, screen, solid, copydot) : 0;
}

}  // namespace

uint32_t tick_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

// The perfect hash over the loaded selection.
int hash_init() {
  return ext.hash.init(ext.pointer_map, ext.pointer_count, ext.unique_count, ext.debug_level,
                       ext.ext_host != nullptr ? ext.ext_host->host_message : nullptr);
}

// Starts the accounting of a 1-bit separation and hands the host the run
// callbacks; other depths and a failed hash get none.
int ext_softscr_init(int bits, intptr_t second, ScrRunFn, ScrRunFn, ScrRunFn) {
  ext.cache_full = false;
  ext.last_record = nullptr;
  ext.current_line = 0;
  if (bits != 1) {
    ext_message(DRAV_MSG_ERROR, "ext_softscr_init: SCR HOOK Extension in MONO: invalid bps (%d)", bits);
    return host_init(bits, second, nullptr, nullptr, nullptr);
  }
  if (ext.time_debug != 0) {
    ext.scr_ms = ext.solid_ms = ext.cpd_ms = 0;
    ext.scr_runs = ext.solid_runs = ext.cpd_runs = 0;
    ext.screen_changes = 0;
    ext.hash_ms = static_cast<int32_t>(tick_ms());
  }
  if (hash_init() != 0) {
    ext_message(DRAV_MSG_ERROR, "ext_softscr_init: error in hash_init()");
    return host_init(1, second, nullptr, nullptr, nullptr);
  }
  ext.coverage_valid = 1;
  for (int i = 0; i <= ext.unique_count; ++i) clear_totals(ext.screen_info[i]);
  clear_totals(ext.other_info[0]);
  clear_totals(ext.other_info[1]);
  if (ext.time_debug != 0) {
    ext.hash_ms = static_cast<int32_t>(tick_ms() - static_cast<uint32_t>(ext.hash_ms));
    return host_init(1, second, timed_screen_run, timed_solid_run, timed_copydot_run);
  }
  return host_init(1, second, count_screen_run, count_solid_run, count_copydot_run);
}

// Lets the host see the line first, then remembers its number.
int ext_softscr_line(intptr_t first, int32_t line, intptr_t third) {
  const ScrLineFn host_line = ext.saved_scr_hook.line;
  const int result = host_line != nullptr ? host_line(first, line, third) : 0;
  ext.current_line = line;
  return result;
}

// A run of a selected screen: one comparison while the screen stays the
// same, a lookup when it changes.
void count_screen_run(uint32_t handle, int32_t x, int32_t length) {
  ScreenInfo* record = ext.last_record;
  if (!ext.cache_full || handle != ext.last_screen) {
    ++ext.screen_changes;
    ext.cache_full = true;
    ext.last_screen = handle;
    record = &ext.screen_info[ext.hash.lookup(handle)];
    ext.last_record = record;
    if (record->coverage == 0) {
      record->bound_l = x;
      record->bound_t = ext.current_line;
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
    record.bound_t = ext.current_line;
  }
  add_run(record, x, length);
}

}  // namespace

// A solid run: the solids record.
void count_solid_run(uint32_t, int32_t x, int32_t length) { count_other_run(ext.other_info[1], x, length); }

// A copydot run: the copydot record.
void count_copydot_run(uint32_t, int32_t x, int32_t length) { count_other_run(ext.other_info[0], x, length); }

namespace {

// Counts and times one run; accounts it too when time_debug is above 1.
template <void (*Count)(uint32_t, int32_t, int32_t)>
void timed_run(uint32_t handle, int32_t x, int32_t length, int32_t& runs, int32_t& ms) {
  const uint32_t t0 = tick_ms();
  if (ext.time_debug > 1) Count(handle, x, length);
  const uint32_t t1 = tick_ms();
  ++runs;
  ms = static_cast<int32_t>(static_cast<uint32_t>(ms) + (t1 - t0));
}

}  // namespace

void timed_screen_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_screen_run>(handle, x, length, ext.scr_runs, ext.scr_ms);
}
void timed_solid_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_solid_run>(handle, x, length, ext.solid_runs, ext.solid_ms);
}
void timed_copydot_run(uint32_t handle, int32_t x, int32_t length) {
  timed_run<count_copydot_run>(handle, x, length, ext.cpd_runs, ext.cpd_ms);
}

}  // namespace screeninfo
