// ink_passes.h - which inks Ghostscript renders in each pass over a page.
//
// Ghostscript's display device renders eight 8-bit inks per pixel, no more
// (its pixel is one 64-bit colour index). A page with more spot colours than
// fit beside the four process inks is rendered in several passes: the first
// renders the process inks and four spot colours, each further pass four
// more spot colours.
//
// How a pass picks its inks follows what Ghostscript 10.0 does with the
// page device's SeparationColorNames and SeparationOrder: the process inks
// are colorants 0-3 and the named spot colours 4, 5, ... in the order
// named; SeparationOrder's i-th name sets where colorant i (of the first
// eight) is drawn: at the place numbered by that name's colorant; colorants
// from 8 on stay where they are. Places from 8 on are not drawn, and a spot
// colour drawn there is left out of the pass, not converted to process
// inks, as long as the device has room for all colorants (MaxSeparations,
// set before the names). So a later pass names its four spot colours first
// (colorants 4-7, drawn at places 4-7) and sends the process inks to places
// from 8 on, where they are left out like every other spot colour.
#ifndef RIPHOST_INK_PASSES_H
#define RIPHOST_INK_PASSES_H

#include <cstddef>
#include <string>
#include <vector>

namespace riphost {

// Bytes of a rendered pixel: one per ink slot.
inline constexpr int kInkSlots = 8;

// Most spot colours a page may have. Ghostscript keeps up to 64 colorants
// of a device, but its display device 10.0 fails on pages with more than 20
// spot colours named (a PostScript error in the PDF interpreter, or a crash
// of the renderer), so riphost refuses such pages while it checks them.
inline constexpr int kMaxSpotColours = 20;

struct InkPass {
  // The spot colours named to Ghostscript (SeparationColorNames), with
  // names of riphost's own that never become plates where more are needed.
  std::vector<std::string> names;
  // Where the first eight colorants go (SeparationOrder).
  std::vector<std::string> order;
  // The inks this pass renders for the page's plates, in the places
  // first_slot, first_slot + 1, ...
  std::vector<std::string> inks;
  int first_slot = 0;
};

struct InkPlan {
  std::vector<InkPass> passes;  // at least one
  // Several passes: the device needs room for more colorants than eight
  // (MaxSeparations) before the names are set.
  bool wide = false;
};

// Whether a name is one of the process inks "Cyan" ... "Black".
bool is_process_ink(const std::string& name) noexcept;

// Whether name is one of riphost's own filler names.
bool is_filler_ink(const std::string& name) noexcept;

// Ghostscript's display device (10.0) reports an ink's name in a buffer of
// 64 bytes: a name of more than 62 bytes comes back cut to 63.
inline constexpr std::size_t kReportedInkNameBytes = 63;

// The whole name of an ink the display device reported as reported: the
// one name of names that begins with it when it may be cut (as long as
// kReportedInkNameBytes), else reported itself (also when none or several
// begin with it).
std::string whole_ink_name(const std::string& reported, const std::vector<std::string>& names);

// The spot colours of a list as they become plates: process inks, "All" and
// "None" left out, each name once, in their order.
std::vector<std::string> own_spots(const std::vector<std::string>& spots);

// The passes that render the process inks and the given spot colours (own
// spot colours, own_spots, at most kMaxSpotColours).
InkPlan plan_inks(const std::vector<std::string>& spots);

}  // namespace riphost

#endif  // RIPHOST_INK_PASSES_H
