// plate_xmp.h - the XMP packet riphost hands the plug-in for a document page.
//
// The plug-in reads a page's inks from its XMP packet (docs/xmp-inks.md) to
// number them for the cutting texts and to match each separation's colours
// and requested screens. A document page gets a packet that lists its plates
// in three ways: riphost's ink list (name, type, group, and the frequency
// and angle of the ink's screen, which the plug-in's matching needs), the
// standard plate names (xmpTPg:PlateNames) and the swatches of its spot
// colours (xmpTPg:SwatchGroups, with each spot colour's process
// equivalent). When the document brings a packet of its own, riphost's
// description is added to it and the rest is kept as it is.
#ifndef RIPHOST_PLATE_XMP_H
#define RIPHOST_PLATE_XMP_H

#include <array>
#include <string>
#include <vector>

namespace riphost {

struct PlateInk {
  std::string name;
  bool process = false;          // one of the four process inks
  double frequency = 0.0;        // the screen's ruling, lines per inch
  double angle = 0.0;            // the screen's angle, degrees
  std::array<double, 4> cmyk{};  // a spot colour's process equivalent, 0 to 1
};

// Group name of the process inks, in the packet and in the separations.
inline constexpr const char* kProcessGroup = "Process";

// The packet for the page's plates. document_packet: the document's own
// packet ("" when it has none), which riphost's description joins.
std::string plate_xmp(const std::vector<PlateInk>& inks, const std::string& document_packet);

}  // namespace riphost

#endif  // RIPHOST_PLATE_XMP_H
