// am_screen.h - an AM halftone screen at the device resolution.
//
// A screen cuts the page into square cells of ppi / ruling pixels, turned by
// its angle (counterclockwise, as the page is seen); within a cell the dot
// shape's spot function (spot_function.h) ranks the pixels. The screen is a
// tile of thresholds (halftone_screen.h): a darker tint always covers every
// pixel a lighter one covers.
#ifndef RIPHOST_AM_SCREEN_H
#define RIPHOST_AM_SCREEN_H

#include "screening/halftone_screen.h"

namespace riphost {

class AmScreen : public HalftoneScreen {
 public:
  // ppi: device resolution; ruling > 0 in lines per inch; angle in degrees.
  AmScreen(double ppi, double ruling, double angle, DotShape dot, const TileLimits& limits = {});
};

}  // namespace riphost

#endif  // RIPHOST_AM_SCREEN_H
