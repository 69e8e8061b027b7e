// contone_source.h - contone content screened by riphost.
//
// A contone separation is an ink value per pixel, 0 (paper) to 255 (full
// ink): an 8-bit grey image (grey g is ink 255 - g), one channel of a CMYK
// TIFF image (its value is the ink) or a built-in gradient. riphost screens
// it row by row with AM screens (am_screen.h) and reports every set pixel in
// exactly one run of the plug-in's run callbacks:
//   - full ink (255) gives solid runs,
//   - ink of an optional 1-bit image laid over the contone gives copydot runs,
//   - the other set pixels give screen runs carrying their screen's handle.
// A run is a maximal horizontal stretch of set pixels of one kind (and one
// screen) in a row, in the row's own pixel coordinates.
#ifndef RIPHOST_CONTONE_SOURCE_H
#define RIPHOST_CONTONE_SOURCE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "screening/am_screen.h"
#include "sources/row_source.h"

namespace riphost {

// The screening of one row: ink in, bits and runs out. It holds the screens
// and a row of its own; screen_row allocates nothing.
class ContoneScreener {
 public:
  // screens: the separation's screens (at least one; the built-in default
  // when empty); areas name screens by their index in screens.
  ContoneScreener(int width, double ppi, const std::vector<SelectedScreen>& screens,
                  const std::vector<ScreenArea>& areas);

  // Screens row y: ink[0 .. width) and, when copydot is not null, the 1-bit
  // copydot row (plug-in order). Writes row (row_bytes(width) bytes, padding
  // clear) and reports the runs, in x order, to the callbacks that are set.
  void screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                  const RunCallbacks& runs) noexcept;

  int width() const noexcept { return width_; }

 private:
  void flush(std::uint32_t kind, int x0, int x1, std::uint8_t* row, const RunCallbacks& runs) const noexcept;

  int width_;
  std::vector<AmScreen> engines_;         // one per distinct screen that screens pixels
  std::vector<std::uint32_t> engine_of_;  // per selection entry: its engine (when it screens)
  std::vector<std::uint32_t> handles_;
  std::vector<std::uint32_t> same_as_;  // the first entry of the same screen
  std::vector<ScreenArea> areas_;
  std::vector<std::uint32_t> area_of_;  // screen index per pixel of the current row
};

// The row source of a contone separation (content.kind == Contone).
std::unique_ptr<RowSource> make_contone(const ContentSource& content, int width, int height, double ppi,
                                        const std::vector<SelectedScreen>& screens);

}  // namespace riphost

#endif  // RIPHOST_CONTONE_SOURCE_H
