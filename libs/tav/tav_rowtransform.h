// tav_rowtransform.h - turns a row as the host delivers it into the row as
// stored in the file (bit order, mirror, reverse).
#ifndef TAV_ROWTRANSFORM_H
#define TAV_ROWTRANSFORM_H

#include <cstddef>
#include <cstdint>

namespace tav {

struct RowKernels;

// Converts input rows of one image. 1-bit input has pixel j of each byte in
// bit j (least significant first); the stored row has the first pixel in the
// most significant bit and zero padding past the width. 8-bit rows are one
// byte per pixel in both. Mirror puts pixel x at width-1-x; reverse inverts
// every pixel.
//
// Apply runs the fastest loops the processor has (AVX2 on x86-64 processors
// that support it, else 64-bit words); ApplyPortable forces the word loops
// and ApplyReference the byte-at-a-time table, which the others must match.
// None of them allocates.
class RowTransform {
 public:
  RowTransform(int bits_per_pixel, uint32_t width, bool mirror, bool reverse) noexcept;

  // Bytes read from in and written to out by Apply.
  std::size_t RowBytes() const noexcept { return row_bytes_; }

  // Writes the stored form of in to out; in and out must not overlap.
  void Apply(const uint8_t* in, uint8_t* out) const noexcept { Run(*kernels_, in, out); }

  // Apply with the portable word-at-a-time loops, whatever the processor.
  void ApplyPortable(const uint8_t* in, uint8_t* out) const noexcept;

  // Apply one byte at a time: the reference for the faster paths.
  void ApplyReference(const uint8_t* in, uint8_t* out) const noexcept;

  // Name of the loops Apply runs ("avx2", "portable").
  const char* FastPathName() const noexcept;

 private:
  void Run(const RowKernels& kernels, const uint8_t* in, uint8_t* out) const noexcept;
  void ApplyBitsReference(const uint8_t* in, uint8_t* out) const noexcept;
  void ApplyBitsMirroredReference(const uint8_t* in, uint8_t* out) const noexcept;
  void ApplyBytesReference(const uint8_t* in, uint8_t* out) const noexcept;

  const RowKernels* kernels_;  // loops Apply runs, chosen for this processor
  bool eight_bit_;
  bool mirror_;
  uint8_t invert_;     // 0xFF in reverse mode, else 0
  uint8_t last_mask_;  // pixels of the last 1-bit byte that lie inside the width
  unsigned shift_;     // padding bits in the last 1-bit byte
  std::size_t row_bytes_;
};

}  // namespace tav

#endif  // TAV_ROWTRANSFORM_H
