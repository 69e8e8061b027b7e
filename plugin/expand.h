// expand.h - widens 1-bit scanlines to one byte per pixel.
//
// Byte 8i + j of the output is 0xFF when bit j of input byte i is set (bit 0
// the least significant) and 0x00 when it is clear.
#ifndef DRAVOUT_EXPAND_H
#define DRAVOUT_EXPAND_H

#include <cstddef>
#include <cstdint>

namespace dravout {

// Entry n has byte k equal to 0xFF when bit k of n is set: the four pixels of
// a nibble, as one little-endian 32-bit word.
extern const uint32_t expand_table[16];

// Expands bytes input bytes into 8 * bytes output bytes. Allocates nothing.
void expand_scanline(const uint8_t* input, std::size_t bytes, uint8_t* output);

// The same, one nibble at a time through expand_table: the reference that
// the fast path must match.
void expand_scanline_reference(const uint8_t* input, std::size_t bytes, uint8_t* output);

}  // namespace dravout

#endif  // DRAVOUT_EXPAND_H
