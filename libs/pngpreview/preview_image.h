// preview_image.h - the reduced picture of one page: set-pixel shares of the
// grid cells, built line by line, and its area-average resampling.
#ifndef PNGPREVIEW_PREVIEW_IMAGE_H
#define PNGPREVIEW_PREVIEW_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "row_count.h"

namespace pngpreview {

// The grid's longer side has at most this many cells.
inline constexpr uint64_t kMaxGridSide = 4096;

// Cell side in page pixels for a page: ceil(max(width, height) / 4096), at
// least 1.
uint64_t grid_factor(uint64_t width, uint64_t height);

// Grey of a cell of area page pixels of which count are set: 255 for none, 0
// for all, rounded to the nearest level (count <= area, area > 0).
inline uint8_t tone_of(uint64_t count, uint64_t area) {
  return static_cast<uint8_t>((2 * 255 * (area - count) + area) / (2 * area));
}

// tone_of for many counts of one area: the quotient from a multiplication by
// the reciprocal, corrected to the exact integer result.
class ToneScale {
 public:
  explicit ToneScale(uint64_t area) : area2_(2 * area), half_(area), inverse_(1.0 / static_cast<double>(2 * area)) {}
  uint8_t operator()(uint64_t count) const {
    const uint64_t numerator = 2 * 255 * (half_ - count) + half_;
    uint64_t q = static_cast<uint64_t>(static_cast<double>(numerator) * inverse_);
    if (q > 255) q = 255;
    if (q * area2_ > numerator) --q;
    else if ((q + 1) * area2_ <= numerator) ++q;
    return static_cast<uint8_t>(q);
  }

 private:
  uint64_t area2_;
  uint64_t half_;
  double inverse_;
};

class PreviewImage {
 public:
  // A white grid for a page of width x height pixels (both positive).
  // Throws std::bad_alloc when the grid cannot be allocated.
  PreviewImage(uint64_t width, uint64_t height);
  // The same, with the row counter given (the tests pick the portable one).
  PreviewImage(uint64_t width, uint64_t height, RowCounter counter);

  // Adds the next scanline (see RowShape for the layout); a null row is an
  // empty line. Lines past the page height or after Finish are ignored.
  // Allocates nothing.
  void AddLine(const uint8_t* row) noexcept;
  // Completes the cell row in progress (lines not received count as white);
  // no line is taken afterwards.
  void Finish() noexcept;
  bool Finished() const noexcept { return finished_; }
  uint64_t LinesTaken() const noexcept { return lines_; }

  // Resamples the picture (finishing it first) so that its longer side is
  // value pixels, the shorter one in the page's proportion, rounded, at least
  // 1. Returns false and changes nothing when value <= 0 or value is not
  // smaller than the current longer side. Throws std::bad_alloc, leaving the
  // picture as it was.
  bool Rescale(int64_t value);

  uint32_t Width() const noexcept { return width_; }
  uint32_t Height() const noexcept { return height_; }
  uint64_t Factor() const noexcept { return factor_; }
  // Row y of the picture: Width() grey levels.
  const uint8_t* Row(uint32_t y) const noexcept { return tones_.data() + static_cast<std::size_t>(y) * width_; }

 private:
  // Turns the counts of the cell row in progress into grey levels.
  void FlushBand() noexcept;
  // Page coordinates of the picture's column (or row) boundaries.
  std::vector<double> ColumnEdges() const;
  std::vector<double> RowEdges() const;

  uint64_t page_width_;
  uint64_t page_height_;
  uint64_t factor_;
  RowShape shape_;
  RowCounter counter_;
  uint32_t width_;
  uint32_t height_;
  bool grid_ = true;  // still the grid (false once resampled)
  std::vector<uint64_t> counts_;
  std::vector<uint8_t> tones_;
  uint64_t lines_ = 0;
  uint64_t band_ = 0;
  uint64_t band_lines_ = 0;
  bool finished_ = false;
};

}  // namespace pngpreview

#endif  // PNGPREVIEW_PREVIEW_IMAGE_H
