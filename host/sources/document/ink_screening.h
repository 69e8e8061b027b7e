// ink_screening.h - the document source's one meeting point with the screener.
//
// A document plate is an ink value per pixel, 0 (paper) to 255 (full ink),
// screened with the ink's screen by riphost's contone screener
// (sources/contone_source.h), through the same calibration as contone
// separations: the ink's curve, the screen's curve, the device's gamma and
// the screen's minimum and maximum dot (screening/tone_transfer.h). Rows are screened on worker threads, ahead of
// the plug-in, and the screened rows of most inks wait in a spool file: so
// a screened row is kept as its bits and its solid runs, and its runs are
// reported to the plug-in later, on riphost's own thread, when the row is
// handed over. Every set pixel outside a solid run is a pixel of the ink's
// screen, so the bits and the solid runs give back exactly the runs the
// screener reported.
#ifndef RIPHOST_INK_SCREENING_H
#define RIPHOST_INK_SCREENING_H

#include <cstdint>
#include <memory>
#include <vector>

#include "screening/contone_screener.h"
#include "sources/row_source.h"

namespace riphost {

// Runs of a row as (x, length) pairs in x order. Its storage grows to the
// largest row seen and is then reused.
struct RunList {
  std::vector<std::int32_t> x;
  std::vector<std::int32_t> length;
  void clear() noexcept {
    x.clear();
    length.clear();
  }
  std::size_t size() const noexcept { return x.size(); }
};

// Screens the rows of one ink of a page. Used by one thread at a time.
class InkScreener {
 public:
  // width: pixels of a row; screen: the ink's screen and its handle; setup:
  // the device's gamma and the ink's own transfer curve, applied with the
  // screen's curve and minimum and maximum dot.
  InkScreener(int width, double ppi, const SelectedScreen& screen, const ScreenerSetup& setup = {});
  ~InkScreener();
  InkScreener(const InkScreener&) = delete;
  InkScreener& operator=(const InkScreener&) = delete;

  // Screens row y from the ink values of its pixels, read from
  // pixels[x * stride] (stride 8 reads one ink of chunky pixels): writes
  // bits (row_bytes(width) bytes, padding clear) and the row's solid runs.
  void screen(int y, const std::uint8_t* pixels, int stride, std::uint8_t* bits, RunList& solids);

  int width() const noexcept { return width_; }

 private:
  int width_;
  std::unique_ptr<ContoneScreener> screener_;
  std::vector<std::uint8_t> ink_;
};

// Reports the runs of a screened row in x order: the solid runs as they are,
// and every other stretch of set pixels as a screen run with handle.
void report_runs(const std::uint8_t* bits, int width, const RunList& solids, std::uint32_t handle,
                 const RunCallbacks& runs) noexcept;

}  // namespace riphost

#endif  // RIPHOST_INK_SCREENING_H
