// placement.h - where a contone image lands on the page, in device pixels.
//
// The ticket may give an image's resolution ("ppi"), its position and its
// size on the page (in device pixels or mm); what it leaves out follows
// from the rest: the resolution from the file (TIFF or PNG resolution
// fields), else the job's (one image pixel per device pixel); a size from
// the resolution, or from the other side's size, keeping the image's shape.
#ifndef RIPHOST_PLACEMENT_H
#define RIPHOST_PLACEMENT_H

#include "ticket/content_source.h"

namespace riphost {

struct PlacedImage {
  double x = 0.0, y = 0.0;              // the image's top-left corner on the page, device pixels
  double scale_x = 1.0, scale_y = 1.0;  // device pixels per image pixel
  int columns = 0, rows = 0;            // the image's pixels
  double width() const noexcept { return columns * scale_x; }
  double height() const noexcept { return rows * scale_y; }
  // One image pixel per device pixel, at whole pixels: rows are copied.
  bool one_to_one() const noexcept;
};

// The placement of an image of columns x rows pixels whose file gives the
// resolution file_x_ppi x file_y_ppi (0: none) on a page of device_ppi.
PlacedImage place_image(const ContonePlacement& placement, int columns, int rows, double file_x_ppi,
                        double file_y_ppi, double device_ppi) noexcept;

}  // namespace riphost

#endif  // RIPHOST_PLACEMENT_H
