// screeninfo_tag.h - the "_KVT_RIPINFO0" tag: the screens of a separation.
#ifndef TAGS_SCREENINFO_TAG_H
#define TAGS_SCREENINFO_TAG_H

#include <cstdint>
#include <string>

#include "screen_info.h"
#include "tag_output.h"

namespace dravout {

// The page a separation is written on.
struct PageGeometry {
  int32_t width = 0;    // pixels
  int32_t height = 0;   // scanlines
  bool mirror = false;  // rows are stored mirrored left to right
};

// What the screening extension hands over for one separation: count unique
// screens in table, then the unknown-screens record at table[count]; the
// copydot ([0]) and solids ([1]) records; whether the runs were counted.
// The writer upper-cases dot names and merges foreign-type records into the
// unknown-screens record in place, and frees nothing.
struct ScreenTotals {
  screeninfo::ScreenInfo* table = nullptr;
  int count = 0;
  screeninfo::ScreenInfo* other = nullptr;
  int coverage_valid = 0;
};

// The totals as the extension hands them over now (pass_screen_info, then
// pass_other_info); none when it was never registered.
ScreenTotals handed_over_totals();

// The coverage fraction of one record (its pixels over the page area, at
// most 1.0) and its area in pixels of the output file (mirrored when the
// output is). label names the record in warnings when it has no dot name.
// Always 0.
int screen_coverage(const screeninfo::ScreenInfo& record, const PageGeometry& page, HostMessage message,
                    double* fraction, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom,
                    const char* label = "NONE");

// The tag text: the plain form when the runs were not counted, else the
// extended form with coverage and area. Throws std::bad_alloc.
std::string screeninfo_tag_text(const ScreenTotals& totals, const PageGeometry& page, HostMessage message);

// Builds the tag from totals and attaches it: the sink's result, or -1 when
// the text cannot be built.
int write_screeninfo_tag(const TagOutput& out, const PageGeometry& page, const ScreenTotals& totals);

// The same with the totals the extension hands over.
int write_screeninfo_tag(const TagOutput& out, const PageGeometry& page);

}  // namespace dravout

#endif  // TAGS_SCREENINFO_TAG_H
