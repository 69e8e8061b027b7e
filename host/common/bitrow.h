// bitrow.h - helpers for 1-bit scanlines as the plug-in takes them.
//
// Pixel x of a row lives in byte x / 8, bit x % 8 (least significant bit
// first); a set bit is ink. A row is padded to whole 32-bit words and the
// padding bits are always clear.
#ifndef RIPHOST_BITROW_H
#define RIPHOST_BITROW_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace riphost {

// Bytes of one row of width pixels: ceil(width / 32) * 4.
std::size_t row_bytes(int width) noexcept;

// Sets the bits of pixels [x0, x1); an empty or inverted range does nothing.
void set_span(std::uint8_t* row, int x0, int x1) noexcept;

// Clears the bits of pixels [x0, x1); an empty or inverted range does nothing.
void clear_span(std::uint8_t* row, int x0, int x1) noexcept;

// Set bits (ink pixels) in the first bytes bytes of row. Allocates nothing;
// uses the processor's population count where it has one.
std::uint64_t count_ink(const std::uint8_t* row, std::size_t bytes) noexcept;

// Clears every bit from pixel width up to the end of the row's bytes.
void clear_tail(std::uint8_t* row, int width, std::size_t bytes) noexcept;

// Turns the first pixels pixels of a row packed most significant bit first
// (as PBM, PNG and TIFF store bilevel rows) into the plug-in's order, each
// bit inverted when invert is set: writes bits[0 .. ceil(pixels / 8)).
void unpack_msb_first(const std::uint8_t* packed, int pixels, bool invert, std::uint8_t* bits) noexcept;

// Whether pixel x of row is ink.
inline bool pixel_at(const std::uint8_t* row, int x) noexcept { return (row[x >> 3] >> (x & 7)) & 1u; }

// Table reversing the bit order of a byte (most significant first <-> least
// significant first).
extern const std::array<std::uint8_t, 256> kReverseBits;

}  // namespace riphost

#endif  // RIPHOST_BITROW_H
