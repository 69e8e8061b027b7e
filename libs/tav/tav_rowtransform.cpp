// tav_rowtransform.cpp - the per-row conversion into stored pixels.
#include "tav_rowtransform.h"

#include <array>

#include "tav_layout.h"

namespace tav {
namespace {

// Byte with its bit order reversed, for every byte value.
constexpr std::array<uint8_t, 256> MakeReverseTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (v & (1u << bit)) r |= 0x80u >> bit;
    }
    table[v] = static_cast<uint8_t>(r);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kReversed = MakeReverseTable();

}  // namespace

// Sets up the conversion for rows of width pixels.
RowTransform::RowTransform(int bits_per_pixel, uint32_t width, bool mirror, bool reverse) noexcept
    : eight_bit_(bits_per_pixel == 8),
      mirror_(mirror),
      invert_(reverse ? 0xFF : 0x00),
      last_mask_(0xFF),
      shift_(0),
      row_bytes_(static_cast<std::size_t>(tav::RowBytes(bits_per_pixel, width))) {
  if (!eight_bit_ && width % 8 != 0) {
    shift_ = 8 - width % 8;
    last_mask_ = static_cast<uint8_t>(0xFF << shift_);
  }
}

// Converts one row into its stored form.
void RowTransform::Apply(const uint8_t* in, uint8_t* out) const noexcept {
  if (row_bytes_ == 0) return;
  if (eight_bit_) {
    ApplyBytes(in, out);
  } else if (mirror_) {
    ApplyBitsMirrored(in, out);
  } else {
    ApplyBits(in, out);
  }
}

// 1-bit rows in pixel order: one table lookup per byte, padding cleared.
void RowTransform::ApplyBits(const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  const uint8_t invert = invert_;
  for (std::size_t i = 0; i < n; ++i) out[i] = kReversed[in[i]] ^ invert;
  out[n - 1] &= last_mask_;
}

// 1-bit rows mirrored. Reading least-significant-first bytes from the end of
// the row yields most-significant-first bytes in mirrored order, so no bit
// reversal is needed; when the width is not a multiple of 8 the result is
// shifted by the padding so that the padding of the input drops out.
void RowTransform::ApplyBitsMirrored(const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  const uint8_t invert = invert_;
  if (shift_ == 0) {
    for (std::size_t k = 0; k < n; ++k) out[k] = in[n - 1 - k] ^ invert;
  } else {
    const unsigned s = shift_;
    for (std::size_t k = 0; k + 1 < n; ++k) {
      const unsigned hi = static_cast<unsigned>(in[n - 1 - k]) << s;
      const unsigned lo = static_cast<unsigned>(in[n - 2 - k]) >> (8 - s);
      out[k] = static_cast<uint8_t>(hi | lo) ^ invert;
    }
    out[n - 1] = static_cast<uint8_t>(static_cast<unsigned>(in[0]) << s) ^ invert;
  }
  out[n - 1] &= last_mask_;
}

// 8-bit rows: copy, mirror and invert bytes.
void RowTransform::ApplyBytes(const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  const uint8_t invert = invert_;
  if (mirror_) {
    for (std::size_t x = 0; x < n; ++x) out[x] = in[n - 1 - x] ^ invert;
  } else {
    for (std::size_t x = 0; x < n; ++x) out[x] = in[x] ^ invert;
  }
}

}  // namespace tav
