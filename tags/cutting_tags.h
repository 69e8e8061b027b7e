// cutting_tags.h - the transformation and cutting tags of a separation file.
//
// "_KVT_STAGGER": the job's transformation text followed by its common
// staggered-cutting text. "_KVT_TRANSFORMATION": the transformation text.
// "_KVT_STAGGEREDCUT": the staggered-cutting text of the separation's first
// ink, scrambled with the transformation text. "_KVT_CAD_<cad name>": each
// ink's CAD cutting text, scrambled likewise.
#ifndef TAGS_CUTTING_TAGS_H
#define TAGS_CUTTING_TAGS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tag_output.h"
#include "xmplib.h"

namespace dravout {

// Size of the buffer the transformation text is formatted into.
inline constexpr std::size_t kTransformationBufferSize = 1024;

// The job's transformation settings, as the transformation text gives them.
struct Transformation {
  int32_t vshift = 0, hshift = 0;  // shifts in pixels
  double vscale = 0.0, hscale = 0.0;
  int32_t rotation = 0;  // degrees
  int32_t mirror = 0;    // 1 when the output is mirrored
  double vdist = 0.0, hdist = 0.0;
};

// The cutting texts of the job and what picks them for a separation.
struct CuttingTexts {
  const std::vector<int32_t>& sep_inks;           // the separation's ink numbers, first ink first
  const std::vector<std::string>& stagger_texts;  // slot 0 "SCPAll", slot n ink n; "" when none
  const std::vector<std::string>& cad_texts;      // slot n ink n; "" when none
  const std::vector<XMPlInk>& xmp_inks;           // the page's inks: ink n is entry n - 1
  uint64_t& cad_ignored_reported;                 // bit n: an ignored CAD text of ink n was reported
};

// The transformation text ("VSHFT=... HDIST=...\n"), formatted in the "C"
// locale. False when it does not fit its 1024 bytes.
bool transformation_text(const Transformation& t, std::string* text);

// "_KVT_STAGGER" with the common staggered-cutting text stagger_all: the
// sink's result, 9 without memory, 17 when the text cannot be formatted.
int write_stagger_tag(const TagOutput& out, const Transformation& t, const char* stagger_all);

// "_KVT_TRANSFORMATION", "_KVT_STAGGEREDCUT" and the "_KVT_CAD_" tags: the
// bitwise OR of the sink's results, 17 when the transformation text cannot
// be formatted, 9 without memory.
int write_cutting_tags(const TagOutput& out, const Transformation& t, const CuttingTexts& texts);

}  // namespace dravout

#endif  // TAGS_CUTTING_TAGS_H
