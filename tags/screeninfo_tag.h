// screeninfo_tag.h - the "_KVT_RIPINFO0" tag: the screens of a separation.
#ifndef TAGS_SCREENINFO_TAG_H
#define TAGS_SCREENINFO_TAG_H

#include <cstdint>

#include "screen_info.h"
#include "tav.h"

namespace dravout {

// The coverage fraction of one record (its pixels over the page area, at
// most 1.0) and its area in pixels of the output file (mirrored when the
// output is). label names the record in warnings when it has no dot name.
// Always 0.
int screen_coverage(const screeninfo::ScreenInfo& record, double* fraction, int32_t* left, int32_t* top,
                    int32_t* right, int32_t* bottom, const char* label = "NONE");

// Builds the tag from what the screening extension hands over and attaches
// it: the result of tav_puttag, or -1 when the text cannot be built.
int write_screeninfo_tag(TavFile* tavfile);

}  // namespace dravout

#endif  // TAGS_SCREENINFO_TAG_H
