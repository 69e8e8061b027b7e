// screen_info.h - what the screening extension hands the tag writer.
//
// One ScreenInfo record per unique screen of the separation's selection,
// then one record for runs whose screen is not in the selection; two more
// records of the same layout count copydot and solid runs. The tag writer
// reads them only through pass_screen_info and pass_other_info. It may
// upper-case the dot names and merge records into the unknown-screens
// record, but never frees anything.
#ifndef SCREENINFO_SCREEN_INFO_H
#define SCREENINFO_SCREEN_INFO_H

#include <cstdint>

namespace screeninfo {

struct ScreenInfo {
  uint32_t screen = 0;   // handle of the selection entry that made the record; 0: unknown screens
  int32_t loaded = 0;    // the screen's loaded flag, as the host reports it
  char* dot = nullptr;   // dot-shape name, owned by the table; null for unknown screens
  double lpi = 0.0;      // screen ruling, lines per inch
  double ang = 0.0;      // screen angle, degrees
  int32_t scrtype = 0;   // the host's screen type code
  int64_t coverage = 0;  // pixels in the runs of this screen
  int32_t bound_l = 0;   // least run start x
  int32_t bound_t = 0;   // line of the first counted run
  int32_t bound_r = 0;   // greatest run start x plus length
  int32_t bound_b = 0;   // line of the last counted run
};

// Hands over the count of unique screens and the table (the unknown-screens
// record follows at index count). -4 with count 0 and a null table when the
// host never called drav_extension; 0 otherwise.
int pass_screen_info(int* count, ScreenInfo** table);

// Hands over the copydot ([0]) and solids ([1]) records and whether the run
// accounting of the separation was active. -4 with null and 0 when the host
// never called drav_extension; 0 otherwise.
int pass_other_info(ScreenInfo** records, int* coverage_valid);

}  // namespace screeninfo

#endif  // SCREENINFO_SCREEN_INFO_H
