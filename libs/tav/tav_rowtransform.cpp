// tav_rowtransform.cpp - the per-row conversion into stored pixels: which
// whole-row loop each case needs, and the byte-at-a-time reference.
#include "tav_rowtransform.h"

#include "tav_layout.h"
#include "tav_rowkernels.h"

namespace tav {

// Sets up the conversion for rows of width pixels.
RowTransform::RowTransform(int bits_per_pixel, uint32_t width, bool mirror, bool reverse) noexcept
    : kernels_(&BestRowKernels()),
      eight_bit_(bits_per_pixel == 8),
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

// Converts one row with the portable loops.
void RowTransform::ApplyPortable(const uint8_t* in, uint8_t* out) const noexcept {
  Run(PortableRowKernels(), in, out);
}

// Name of the loops Apply runs.
const char* RowTransform::FastPathName() const noexcept { return kernels_->name; }

// Converts one row with the given loops. 1-bit rows in pixel order need the
// bit order of every byte reversed. Mirrored, reading least-significant-first
// bytes from the end of the row yields most-significant-first bytes in
// mirrored order, so only the byte order is reversed; when the width is not a
// multiple of 8 the result is shifted by the padding so that the padding of
// the input drops out. Either way the padding of the last byte is cleared.
void RowTransform::Run(const RowKernels& k, const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  if (n == 0) return;
  if (eight_bit_) {
    (mirror_ ? k.reverse_bytes : k.copy)(in, out, n, invert_);
    return;
  }
  if (!mirror_) {
    k.reverse_bits(in, out, n, invert_);
  } else if (shift_ == 0) {
    k.reverse_bytes(in, out, n, invert_);
  } else {
    k.reverse_bytes_shifted(in, out, n, shift_, invert_);
  }
  out[n - 1] &= last_mask_;
}

// Converts one row one byte at a time.
void RowTransform::ApplyReference(const uint8_t* in, uint8_t* out) const noexcept {
  if (row_bytes_ == 0) return;
  if (eight_bit_) {
    ApplyBytesReference(in, out);
  } else if (mirror_) {
    ApplyBitsMirroredReference(in, out);
  } else {
    ApplyBitsReference(in, out);
  }
}

// 1-bit rows in pixel order: one table lookup per byte, padding cleared.
void RowTransform::ApplyBitsReference(const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  const uint8_t invert = invert_;
  for (std::size_t i = 0; i < n; ++i) out[i] = kReversedBits[in[i]] ^ invert;
  out[n - 1] &= last_mask_;
}

// 1-bit rows mirrored: bytes in reverse order, shifted by the padding.
void RowTransform::ApplyBitsMirroredReference(const uint8_t* in, uint8_t* out) const noexcept {
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
void RowTransform::ApplyBytesReference(const uint8_t* in, uint8_t* out) const noexcept {
  const std::size_t n = row_bytes_;
  const uint8_t invert = invert_;
  if (mirror_) {
    for (std::size_t x = 0; x < n; ++x) out[x] = in[n - 1 - x] ^ invert;
  } else {
    for (std::size_t x = 0; x < n; ++x) out[x] = in[x] ^ invert;
  }
}

}  // namespace tav
