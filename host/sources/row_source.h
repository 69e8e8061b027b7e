// row_source.h - a separation's content, produced one scanline at a time.
//
// Room host/sources/: where a separation's rows come from: the built-in
// patterns, 1-bit images (PBM, PNG, TIFF readers), contone content screened
// row by row, and documents (sources/document/). Each kind is a RowSource
// (this header) made by make_row_source from the ticket's ContentSource. It
// may call common, ticket (the descriptions it is made from) and screening
// (contone content is screened with its AM screens); it never calls the
// plug-in.
//
// Sources stream: they keep at most a few rows of their own, whatever the
// page height, and allocate nothing per row.
#ifndef RIPHOST_ROW_SOURCE_H
#define RIPHOST_ROW_SOURCE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "screening/screen_runs.h"
#include "ticket/content_source.h"

namespace riphost {

class RowSource {
 public:
  virtual ~RowSource() = default;
  // Renders the next row (rows come in order from 0) into row, which holds
  // row_bytes(width) bytes: every pixel is written and the padding cleared.
  // A screened source also reports the row's runs through the callbacks set
  // last. Throws HostError when the content cannot be read.
  virtual void next_row(std::uint8_t* row) = 0;
  // True when riphost screens this content itself (it then has runs).
  virtual bool screened() const noexcept { return false; }
  // The callbacks that receive the runs of the rows that follow.
  virtual void set_runs(const RunCallbacks&) noexcept {}
};

// Makes the source of a separation for a page of width x height pixels.
// Contone content is screened at ppi with the separation's screens (the
// first one where no area names another; the built-in default when there is
// none), after the device's gamma at that resolution. Throws HostError when
// it cannot be opened.
std::unique_ptr<RowSource> make_row_source(const ContentSource& content, int width, int height, double ppi = 0.0,
                                           const std::vector<SelectedScreen>& screens = {}, double gamma = 1.0);

}  // namespace riphost

#endif  // RIPHOST_ROW_SOURCE_H
