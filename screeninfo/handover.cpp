// handover.cpp - the screen table and totals for the screen-information tag.
#include <cstdio>

#include "extension.h"

namespace screeninfo {

// The table of unique screens, listed at level 3 when debugging.
int pass_screen_info(int* count, ScreenInfo** table) {
  if (ext.registered == 0) {
    *count = 0;
    *table = nullptr;
    std::fputs("pass_screen_info: drav_extension() not called: extension not registered", stdout);
    return -4;
  }
  *count = ext.unique_count;
  *table = ext.screen_info;
  // The heading comes with every debug listing, also when no selection is
  // loaded (an empty list).
  if (ext.debug_level > 0) ext_message(DRAV_MSG_INFO, "Screen info:");
  if (ext.debug_level > 0 && ext.screen_info != nullptr) {
    for (int i = 0; i < ext.unique_count; ++i) {
      const ScreenInfo& s = ext.screen_info[i];
      ext_message(DRAV_MSG_INFO, "%d:0x%08X,dot=%s,lpi=%3.1f,ang=%3.1f,loaded=%d,scrtype=%d", i, s.screen,
                  s.dot != nullptr ? s.dot : "", s.lpi, s.ang, s.loaded, s.scrtype);
      if (ext.coverage_valid == 1) {
        ext_message(DRAV_MSG_INFO, "\t Coverage=%lld, Bound: l=%d, t=%d, r=%d, b=%d",
                    static_cast<long long>(s.coverage), s.bound_l, s.bound_t, s.bound_r, s.bound_b);
      }
    }
    const ScreenInfo& unknown = ext.screen_info[ext.unique_count];
    if (ext.coverage_valid == 1 && unknown.coverage != 0) {
      ext_message(DRAV_MSG_INFO, "\t NONE LOADED screens surface: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                  static_cast<long long>(unknown.coverage), unknown.bound_l, unknown.bound_t, unknown.bound_r,
                  unknown.bound_b);
    }
  }
  if (ext.time_debug != 0) {
    ext_message(DRAV_MSG_INFO,
                "post-screen run timings: Hash=%ldms, ScreenChanges:%ld Scr:%ldruns,%ldms Cpp:%ldruns,%ldms "
                "Solids:%ldruns,%ldms",
                static_cast<long>(ext.hash_ms), static_cast<long>(ext.screen_changes),
                static_cast<long>(ext.scr_runs), static_cast<long>(ext.scr_ms), static_cast<long>(ext.cpd_runs),
                static_cast<long>(ext.cpd_ms), static_cast<long>(ext.solid_runs), static_cast<long>(ext.solid_ms));
  }
  return 0;
}

// The copydot and solids records and whether the accounting was active.
int pass_other_info(ScreenInfo** records, int* coverage_valid) {
  if (ext.registered == 0) {
    *coverage_valid = 0;
    *records = nullptr;
    std::fputs("pass_other_info: drav_extension() not called: extension not registered", stdout);
    return -4;
  }
  *records = ext.other_info;
  *coverage_valid = ext.coverage_valid;
  if (ext.coverage_valid == 1 && ext.debug_level > 0) {
    const ScreenInfo& c = ext.other_info[0];
    const ScreenInfo& s = ext.other_info[1];
    ext_message(DRAV_MSG_INFO, "\t Copydot: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                static_cast<long long>(c.coverage), c.bound_l, c.bound_t, c.bound_r, c.bound_b);
    ext_message(DRAV_MSG_INFO, "\t Solids: Coverage: %lld, Bound: l=%d, t=%d, r=%d, b=%d",
                static_cast<long long>(s.coverage), s.bound_l, s.bound_t, s.bound_r, s.bound_b);
  }
  return 0;
}

}  // namespace screeninfo
