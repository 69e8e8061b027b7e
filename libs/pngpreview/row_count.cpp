// row_count.cpp - set-pixel counts of one scanline per grid cell.
//
// Rows are read as 64-bit words: on a little-endian machine the word at byte
// 8k holds pixels 64k .. 64k + 63 with pixel 64k + i in bit i, because the
// host puts pixel j of each byte in bit j. A big-endian machine assembles the
// words from the bytes in the same order.
#include "row_count.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

namespace pngpreview {
namespace {

#define PNGPREVIEW_INLINE [[gnu::always_inline]] inline

// The builtin rather than std::popcount, so that it becomes one instruction
// when inlined into the POPCNT build below.
PNGPREVIEW_INLINE uint64_t pop(uint64_t word) { return static_cast<uint64_t>(__builtin_popcountll(word)); }

PNGPREVIEW_INLINE uint64_t low_mask(uint64_t bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

// Eight bytes at p as one word, byte i in bits 8i .. 8i + 7.
PNGPREVIEW_INLINE uint64_t load8(const uint8_t* p) {
  uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, sizeof word);
  } else {
    for (int i = 0; i < 8; ++i) word |= static_cast<uint64_t>(p[i]) << (8 * i);
  }
  return word;
}

// Word k of the row. Only the last word can be short: a row of an odd number
// of 32-bit words ends half way into it.
PNGPREVIEW_INLINE uint64_t load_word(const uint8_t* row, std::size_t row_bytes, uint64_t k) {
  const std::size_t at = static_cast<std::size_t>(8 * k);
  if (at + 8 <= row_bytes) return load8(row + at);
  uint64_t word = 0;
  for (std::size_t i = 0; at + i < row_bytes; ++i) word |= static_cast<uint64_t>(row[at + i]) << (8 * i);
  return word;
}

// Set pixels in [a, b), a < b <= width.
PNGPREVIEW_INLINE uint64_t count_range(const uint8_t* row, std::size_t row_bytes, uint64_t a, uint64_t b) {
  const uint64_t first = a >> 6;
  const uint64_t last = (b - 1) >> 6;
  const uint64_t shift = a & 63;
  if (first == last) return pop((load_word(row, row_bytes, first) >> shift) & low_mask(b - a));
  uint64_t total = pop(load_word(row, row_bytes, first) >> shift);
  // Words before the last one lie wholly inside the row.
  for (uint64_t k = first + 1; k < last; ++k) total += pop(load8(row + 8 * k));
  return total + pop(load_word(row, row_bytes, last) & low_mask(((b - 1) & 63) + 1));
}

// Cells of F pixels, F dividing 64: every word holds 64 / F whole cells at
// fixed places, so no table is needed and the loop unrolls.
template <uint64_t F>
PNGPREVIEW_INLINE void count_divisor_cells(const RowShape& shape, const uint8_t* row, uint64_t* counts) {
  constexpr uint64_t kPerWord = 64 / F;
  constexpr uint64_t kMask = (uint64_t{1} << F) - 1;
  const uint64_t full_words = shape.width / 64;
  uint64_t* c = counts;
  for (uint64_t k = 0; k < full_words; ++k, c += kPerWord) {
    const uint64_t word = load8(row + 8 * k);
    for (uint64_t i = 0; i < kPerWord; ++i) c[i] += pop((word >> (i * F)) & kMask);
  }
  // The rest of the row, cell by cell.
  const uint64_t done = 64 * full_words;
  for (std::size_t cell = static_cast<std::size_t>(done / F); cell < shape.cells; ++cell) {
    const uint64_t a = cell * F;
    const uint64_t b = std::min<uint64_t>(a + F, shape.width);
    counts[cell] += count_range(row, shape.row_bytes, a, b);
  }
}

PNGPREVIEW_INLINE void count_row_body(const RowShape& shape, const uint8_t* row, uint64_t* counts) {
  const uint64_t factor = shape.factor;
  const uint64_t width = shape.width;
  const std::size_t row_bytes = shape.row_bytes;
  const std::size_t cells = shape.cells;
  switch (factor) {
    case 8: return count_divisor_cells<8>(shape, row, counts);
    case 16: return count_divisor_cells<16>(shape, row, counts);
    case 32: return count_divisor_cells<32>(shape, row, counts);
    default: break;
  }
  if (factor < 64) {
    // Cells narrower than a word: the words that lie wholly inside the row go
    // through the table of pieces, the rest cell by cell.
    const uint64_t full_words = width / 64;
    const uint32_t* start = shape.segment_start.data();
    const uint64_t* mask = shape.segment_mask.data();
    const uint32_t* cell = shape.segment_cell.data();
    uint64_t k = 0;
    for (std::size_t base = 0; k + shape.period_words <= full_words; base += shape.period_cells) {
      uint64_t* period_counts = counts + base;
      for (uint32_t j = 0; j < shape.period_words; ++j, ++k) {
        const uint64_t word = load8(row + 8 * k);
        for (uint32_t i = start[j]; i < start[j + 1]; ++i) period_counts[cell[i]] += pop(word & mask[i]);
      }
    }
    // The rest: from the first bit not counted yet.
    const uint64_t done = 64 * k;
    for (std::size_t c = static_cast<std::size_t>(done / factor); c < cells; ++c) {
      const uint64_t a = std::max<uint64_t>(c * factor, done);
      const uint64_t b = std::min<uint64_t>((c + 1) * factor, width);
      counts[c] += count_range(row, row_bytes, a, b);
    }
  } else if (factor % 64 == 0) {
    // Cells of whole words: no shifting or masking except in a last, partial
    // cell.
    const uint64_t words = factor / 64;
    const std::size_t whole = static_cast<std::size_t>(width / factor);
    const uint8_t* p = row;
    for (std::size_t c = 0; c < whole; ++c) {
      uint64_t total = 0;
      for (uint64_t k = 0; k < words; ++k, p += 8) total += pop(load8(p));
      counts[c] += total;
    }
    if (whole < cells) counts[whole] += count_range(row, row_bytes, whole * factor, width);
  } else {
    uint64_t a = 0;
    for (std::size_t c = 0; c < cells; ++c) {
      const uint64_t b = std::min(a + factor, width);
      counts[c] += count_range(row, row_bytes, a, b);
      a = b;
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) void count_row_popcnt(const RowShape& shape, const uint8_t* row,
                                                         uint64_t* counts) {
  count_row_body(shape, row, counts);
}
#endif

}  // namespace

RowShape make_row_shape(uint64_t width, uint64_t factor) {
  RowShape shape;
  shape.width = width;
  shape.factor = factor == 0 ? 1 : factor;
  shape.row_bytes = static_cast<std::size_t>(4 * ((width + 31) / 32));
  shape.cells = static_cast<std::size_t>((width + shape.factor - 1) / shape.factor);
  if (shape.factor < 64) {
    const uint64_t common = std::gcd(shape.factor, uint64_t{64});
    shape.period_words = static_cast<uint32_t>(shape.factor / common);
    shape.period_cells = static_cast<uint32_t>(64 / common);
    shape.segment_start.push_back(0);
    for (uint32_t j = 0; j < shape.period_words; ++j) {
      // Bits 64j .. 64j + 63 of the period, cut at multiples of factor.
      const uint64_t first = uint64_t{64} * j, last = first + 64;
      for (uint64_t bit = first; bit < last;) {
        const uint64_t cell = bit / shape.factor;
        const uint64_t end = std::min((cell + 1) * shape.factor, last);
        const uint64_t length = end - bit;
        const uint64_t bits = length == 64 ? ~uint64_t{0} : ((uint64_t{1} << length) - 1) << (bit - first);
        shape.segment_mask.push_back(bits);
        shape.segment_cell.push_back(static_cast<uint32_t>(cell));
        bit = end;
      }
      shape.segment_start.push_back(static_cast<uint32_t>(shape.segment_mask.size()));
    }
  }
  return shape;
}

void count_row_portable(const RowShape& shape, const uint8_t* row, uint64_t* counts) {
  count_row_body(shape, row, counts);
}

RowCounter best_row_counter() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("popcnt")) return &count_row_popcnt;
#endif
  return &count_row_portable;
}

void count_row_reference(const RowShape& shape, const uint8_t* row, uint64_t* counts) {
  for (uint64_t x = 0; x < shape.width; ++x) {
    if ((row[x / 8] >> (x % 8)) & 1u) ++counts[x / shape.factor];
  }
}

}  // namespace pngpreview
