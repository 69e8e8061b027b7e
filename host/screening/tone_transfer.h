// tone_transfer.h - from the ink asked for to the level a screen prints.
//
// The rule, for an ink share a (0 = paper to 1 = full ink):
//   1. the ink's transfer curve, then the screen's (transfer_curve.h);
//   2. the device's gamma at the job's resolution: a^(1 / gamma);
//   3. the screen's minimum and maximum dot: a share above 0 but below the
//      minimum prints at the minimum or as paper, one above the maximum but
//      below full ink at the maximum or as full ink, as the screen says.
// Paper stays paper whatever the curves say, so the page around an image
// stays clean. The result is a level from 0 to 65535, tabulated for every
// 16-bit ink and for every 8-bit ink (k / 255 = k * 257 / 65535).
#ifndef RIPHOST_TONE_TRANSFER_H
#define RIPHOST_TONE_TRANSFER_H

#include <cstdint>
#include <vector>

#include "ticket/screen_spec.h"

namespace riphost {

class ToneTransfer {
 public:
  // ink_curve and screen's curve must have passed check_transfer_curve; a
  // gamma that is not above 0 counts as 1.
  ToneTransfer(const TransferCurve& ink_curve, const ScreenCalibration& screen, double gamma);

  // The printed share of an ink share, both 0 to 1, as tabulated.
  double share(double ink) const noexcept;

  // True when every ink prints as asked (no curve, gamma 1, no limits).
  bool identity() const noexcept { return identity_; }
  // Levels of the 65536 16-bit inks, and of the 256 8-bit inks.
  const std::uint16_t* levels16() const noexcept { return levels16_.data(); }
  const std::uint16_t* levels8() const noexcept { return levels8_; }

 private:
  TransferCurve ink_curve_;
  ScreenCalibration screen_;
  double gamma_ = 1.0;
  bool identity_ = true;
  std::vector<std::uint16_t> levels16_;
  std::uint16_t levels8_[256] = {};
};

}  // namespace riphost

#endif  // RIPHOST_TONE_TRANSFER_H
