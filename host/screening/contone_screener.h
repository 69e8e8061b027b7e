// contone_screener.h - screening one row of contone ink, with its runs.
//
// Ink comes as 8-bit (0 paper to 255 full ink) or 16-bit values (0 to
// 65535), one per pixel. Each pixel takes the screen of its segment (the
// separation's first screen, or the one of the screen area it lies in:
// area_index.h); the screen's transfer (tone_transfer.h) turns the ink into
// a level, and the level is compared with the screen's thresholds 64 pixels
// at a time (word_kernels.h). Every set pixel is then reported in exactly
// one run of the plug-in's run callbacks:
//   - pixels of an optional 1-bit copydot row: copydot runs,
//   - pixels at full level: solid runs,
//   - the other set pixels: screen runs carrying their screen's handle.
// A run is a maximal horizontal stretch of set pixels of one kind (and one
// screen) in a row, in the row's own pixel coordinates. Nothing is
// allocated per row.
#ifndef RIPHOST_CONTONE_SCREENER_H
#define RIPHOST_CONTONE_SCREENER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "screening/area_index.h"
#include "screening/halftone_screen.h"
#include "screening/tone_transfer.h"
#include "screening/screen_runs.h"

namespace riphost {

// What the screening of a separation needs besides its screens.
struct ScreenerSetup {
  double gamma = 1.0;          // the device's gamma at the job's resolution
  TransferCurve ink_transfer;  // the separation's own curve (checked)
  TileLimits limits;           // the page's extent among them
};

class ContoneScreener {
 public:
  // screens: the separation's screens (at least one; the built-in default
  // when empty); areas name screens by their index in screens. Throws
  // HostError for a screen that cannot be made at ppi.
  ContoneScreener(int width, double ppi, const std::vector<SelectedScreen>& screens,
                  const std::vector<ScreenArea>& areas, const ScreenerSetup& setup = {});

  // Screens row y: ink[0 .. width) and, when copydot is not null, the 1-bit
  // copydot row (plug-in order). Writes row (row_bytes(width) bytes, padding
  // clear) and reports the runs, in x order, to the callbacks that are set.
  void screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                  const RunCallbacks& runs) noexcept;
  void screen_row(int y, const std::uint16_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                  const RunCallbacks& runs) noexcept;

  int width() const noexcept { return width_; }
  // The screen that screens the pixels of selection entry s (for reports).
  const HalftoneScreen& screen(std::size_t s) const noexcept { return engines_[engine_of_[s]].screen; }
  bool screens_pixels(std::size_t s) const noexcept { return engine_of_[s] != kNone; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct Engine {
    HalftoneScreen screen;
    ToneTransfer transfer;
  };

  template <typename Ink>
  void screen_any(int y, const Ink* ink, const std::uint8_t* copydot, std::uint8_t* row,
                  const RunCallbacks& runs) noexcept;
  template <typename Ink>
  void screen_segment(const ScreenSegment& segment, const Ink* ink) noexcept;
  void take_copydot(const std::uint8_t* copydot) noexcept;
  void report_runs(const std::vector<ScreenSegment>& segments, const RunCallbacks& runs) noexcept;

  int width_;
  std::size_t words_;
  std::vector<Engine> engines_;           // one per distinct screen that screens pixels
  std::vector<std::uint32_t> engine_of_;  // per selection entry: its engine (kNone when it screens none)
  std::vector<std::uint32_t> handles_;
  std::vector<std::uint32_t> same_as_;  // the first entry of the same screen
  AreaIndex areas_;
  std::vector<std::uint16_t> level_;  // words_ * 64 levels
  std::vector<std::uint64_t> ink_, full_, copydot_, part_ink_, part_full_;
};

}  // namespace riphost

#endif  // RIPHOST_CONTONE_SCREENER_H
