// area_index.h - which screen each stretch of a row takes.
//
// A contone separation is screened with its first screen except inside its
// screen areas (rectangles naming another screen; later areas lie over
// earlier ones). The index sorts the areas by their first and last rows;
// going down the page it adds and drops the areas a row crosses and only
// then works out the row's segments again, so the cost follows the areas
// the rows cross, not all the areas for every row. Nothing is allocated per
// row.
#ifndef RIPHOST_AREA_INDEX_H
#define RIPHOST_AREA_INDEX_H

#include <cstdint>
#include <vector>

#include "ticket/content_source.h"

namespace riphost {

// Pixels [x0, x1) of a row take screen (an index into the separation's
// screens).
struct ScreenSegment {
  int x0 = 0, x1 = 0;
  std::size_t screen = 0;
};

class AreaIndex {
 public:
  // Areas of rows width pixels wide (width >= 1); parts outside the row are
  // ignored.
  AreaIndex(const std::vector<ScreenArea>& areas, int width);

  // The segments of row y: they cover [0, width) in x order, and touching
  // segments take different screens. Cheapest when rows come in order.
  const std::vector<ScreenSegment>& row(long long y);

 private:
  struct Span {
    long long y0, y1;  // rows [y0, y1)
    int x0, x1;        // pixels [x0, x1)
    std::size_t screen;
  };
  void restart();
  void remake();

  int width_;
  std::vector<Span> spans_;            // in the areas' order: a later one lies over earlier ones
  std::vector<std::uint32_t> starts_;  // span numbers by first row
  std::vector<std::uint32_t> ends_;    // span numbers by the row after the last
  std::size_t next_start_ = 0, next_end_ = 0;
  long long y_ = 0;
  bool changed_ = true;
  std::vector<std::uint32_t> active_;  // spans crossing the current row
  std::vector<std::int64_t> place_;    // each span's position in active_, -1 when not there
  std::vector<std::pair<int, std::int64_t>> edges_;  // x and +/-(span + 1), for the sweep
  std::vector<std::uint32_t> heap_;    // spans covering the sweep's position, topmost first
  std::vector<std::uint8_t> gone_;     // spans the sweep has passed
  std::vector<ScreenSegment> segments_;
};

}  // namespace riphost

#endif  // RIPHOST_AREA_INDEX_H
