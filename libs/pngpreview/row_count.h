// row_count.h - counts the set pixels of one 1-bit scanline per grid cell.
#ifndef PNGPREVIEW_ROW_COUNT_H
#define PNGPREVIEW_ROW_COUNT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pngpreview {

// One scanline's shape: width pixels, pixel x in bit (x % 8) of byte x / 8,
// row_bytes = 4 * ceil(width / 32) bytes readable (the host's padded row).
// Cell c covers pixels [c * factor, min((c + 1) * factor, width)); there are
// cells = ceil(width / factor) of them.
struct RowShape {
  uint64_t width = 0;
  uint64_t factor = 1;
  std::size_t row_bytes = 0;
  std::size_t cells = 0;
  // Cells narrower than a word: the cell boundaries repeat every
  // period_words words (period_cells cells). Word k of a period splits into
  // the pieces segment_start[k] .. segment_start[k + 1] - 1, piece i being
  // the bits segment_mask[i] of cell segment_cell[i] of the period.
  uint32_t period_words = 0;
  uint32_t period_cells = 0;
  std::vector<uint32_t> segment_start;
  std::vector<uint64_t> segment_mask;
  std::vector<uint32_t> segment_cell;
};

// Throws std::bad_alloc (the tables are a few hundred entries at most).
RowShape make_row_shape(uint64_t width, uint64_t factor);

// Adds each cell's number of set pixels in row to counts[cell]. Reads only the
// row's row_bytes bytes; bits past width are ignored.
using RowCounter = void (*)(const RowShape& shape, const uint8_t* row, uint64_t* counts);

// The version every processor runs (std::popcount on 64-bit words).
void count_row_portable(const RowShape& shape, const uint8_t* row, uint64_t* counts);

// The version for this processor: the portable code compiled for the POPCNT
// instruction when the processor has it, else the portable one.
RowCounter best_row_counter();

// One bit at a time, for the tests.
void count_row_reference(const RowShape& shape, const uint8_t* row, uint64_t* counts);

}  // namespace pngpreview

#endif  // PNGPREVIEW_ROW_COUNT_H
