// tav_rowtransform.h - turns a row as the host delivers it into the row as
// stored in the file (bit order, mirror, reverse).
#ifndef TAV_ROWTRANSFORM_H
#define TAV_ROWTRANSFORM_H

#include <cstddef>
#include <cstdint>

namespace tav {

// Converts input rows of one image. 1-bit input has pixel j of each byte in
// bit j (least significant first); the stored row has the first pixel in the
// most significant bit and zero padding past the width. 8-bit rows are one
// byte per pixel in both. Mirror puts pixel x at width-1-x; reverse inverts
// every pixel.
class RowTransform {
 public:
  RowTransform(int bits_per_pixel, uint32_t width, bool mirror, bool reverse) noexcept;

  // Bytes read from in and written to out by Apply.
  std::size_t RowBytes() const noexcept { return row_bytes_; }

  // Writes the stored form of in to out; in and out must not overlap.
  void Apply(const uint8_t* in, uint8_t* out) const noexcept;

 private:
  void ApplyBits(const uint8_t* in, uint8_t* out) const noexcept;
  void ApplyBitsMirrored(const uint8_t* in, uint8_t* out) const noexcept;
  void ApplyBytes(const uint8_t* in, uint8_t* out) const noexcept;

  bool eight_bit_;
  bool mirror_;
  uint8_t invert_;     // 0xFF in reverse mode, else 0
  uint8_t last_mask_;  // pixels of the last 1-bit byte that lie inside the width
  unsigned shift_;     // padding bits in the last 1-bit byte
  std::size_t row_bytes_;
};

}  // namespace tav

#endif  // TAV_ROWTRANSFORM_H
