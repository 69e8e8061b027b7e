// grey.h - turning grey and colour samples into ink bits.
#ifndef RIPHOST_GREY_H
#define RIPHOST_GREY_H

#include <cstdint>

namespace riphost {

// Luminance of an 8-bit RGB pixel (weights 0.299, 0.587, 0.114), rounded.
inline std::uint8_t luminance(unsigned r, unsigned g, unsigned b) noexcept {
  return static_cast<std::uint8_t>((299u * r + 587u * g + 114u * b + 500u) / 1000u);
}

// An 8-bit value with coverage alpha (255 = opaque) laid over white paper.
inline std::uint8_t over_white(unsigned value, unsigned alpha) noexcept {
  return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// The same for 16-bit samples.
inline std::uint16_t luminance16(std::uint32_t r, std::uint32_t g, std::uint32_t b) noexcept {
  return static_cast<std::uint16_t>((299u * r + 587u * g + 114u * b + 500u) / 1000u);
}
inline std::uint16_t over_white16(std::uint32_t value, std::uint32_t alpha) noexcept {
  const std::uint64_t mixed = std::uint64_t{value} * alpha + std::uint64_t{65535u} * (65535u - alpha);
  return static_cast<std::uint16_t>((mixed + 32767u) / 65535u);
}

// Packs pixels luminance values into ink bits: a value below threshold is
// ink. Writes bytes [0, ceil(pixels / 8)); the unused bits of the last byte
// are cleared.
void threshold_row(const std::uint8_t* grey, int pixels, int threshold, std::uint8_t* bits) noexcept;

}  // namespace riphost

#endif  // RIPHOST_GREY_H
