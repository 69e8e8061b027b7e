// handover.cpp - the screen table and totals for the screen-information tag.
#include <cstdio>

#include "registration.h"
#include "run_accounting.h"
#include "screen_info.h"
#include "screen_table.h"

namespace screeninfo {
namespace {

// The debug listing of the unique screens, with their totals when counted,
// and the runs of screens not in the selection.
void list_screens(const ScreenTable& table, int coverage_valid) {
  for (int i = 0; i < table.unique_count; ++i) {
    const ScreenInfo& s = table.screen_info[i];
    ext_message(DRAV_MSG_INFO, "%d:0x%08X,dot=%s,lpi=%3.1f,ang=%3.1f,loaded=%d,scrtype=%d", i, s.screen,
                s.dot != nullptr ? s.dot : "", s.lpi, s.ang, s.loaded, s.scrtype);
    if (coverage_valid == 1) {
      ext_message(DRAV_MSG_INFO, "\t Coverage=%lld, Bound: l=%d, t=%d, r=%d, b=%d",
                  static_cast<long long>(s.coverage), s.bound_l, s.bound_t, s.bound_r, s.bound_b);
    }
  }
  const ScreenInfo& unknown = table.screen_info[table.unique_count];
  if (coverage_valid == 1 && unknown.coverage != 0) {
    ext_message(DRAV_MSG_INFO, "\t NONE LOADED screens surface: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                static_cast<long long>(unknown.coverage), unknown.bound_l, unknown.bound_t, unknown.bound_r,
                unknown.bound_b);
  }
}

// The run counters and timings of the separation.
void report_timings(const RunAccounting& a) {
  ext_message(DRAV_MSG_INFO,
              "post-screen run timings: Hash=%ldms, ScreenChanges:%ld Scr:%ldruns,%ldms Cpp:%ldruns,%ldms "
              "Solids:%ldruns,%ldms",
              static_cast<long>(a.hash_ms), static_cast<long>(a.screen_changes), static_cast<long>(a.scr_runs),
              static_cast<long>(a.scr_ms), static_cast<long>(a.cpd_runs), static_cast<long>(a.cpd_ms),
              static_cast<long>(a.solid_runs), static_cast<long>(a.solid_ms));
}

}  // namespace

// The table of unique screens, listed at level 3 when debugging.
int pass_screen_info(int* count, ScreenInfo** table) {
  const Registration& reg = registration();
  if (reg.registered == 0) {
    *count = 0;
    *table = nullptr;
    std::fputs("pass_screen_info: drav_extension() not called: extension not registered", stdout);
    return -4;
  }
  const ScreenTable& loaded = screen_table();
  *count = loaded.unique_count;
  *table = loaded.screen_info;
  // The heading comes with every debug listing, also when no selection is
  // loaded (an empty list).
  if (reg.debug_level > 0) ext_message(DRAV_MSG_INFO, "Screen info:");
  if (reg.debug_level > 0 && loaded.screen_info != nullptr) list_screens(loaded, run_accounting().coverage_valid);
  if (reg.time_debug != 0) report_timings(run_accounting());
  return 0;
}

// The copydot and solids records and whether the accounting was active.
int pass_other_info(ScreenInfo** records, int* coverage_valid) {
  const Registration& reg = registration();
  if (reg.registered == 0) {
    *coverage_valid = 0;
    *records = nullptr;
    std::fputs("pass_other_info: drav_extension() not called: extension not registered", stdout);
    return -4;
  }
  const RunAccounting& a = run_accounting();
  *records = other_info_records();
  *coverage_valid = a.coverage_valid;
  if (a.coverage_valid == 1 && reg.debug_level > 0) {
    const ScreenInfo& c = a.other_info[0];
    const ScreenInfo& s = a.other_info[1];
    ext_message(DRAV_MSG_INFO, "\t Copydot: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                static_cast<long long>(c.coverage), c.bound_l, c.bound_t, c.bound_r, c.bound_b);
    ext_message(DRAV_MSG_INFO, "\t Solids: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                static_cast<long long>(s.coverage), s.bound_l, s.bound_t, s.bound_r, s.bound_b);
  }
  return 0;
}

}  // namespace screeninfo
