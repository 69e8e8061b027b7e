// tone_transfer.cpp - the transfer tables of a screen.
#include "screening/tone_transfer.h"

#include <cmath>

#include "screening/transfer_curve.h"

namespace riphost {

ToneTransfer::ToneTransfer(const TransferCurve& ink_curve, const ScreenCalibration& screen, double gamma)
    : ink_curve_(ink_curve), screen_(screen), gamma_(gamma > 0.0 && std::isfinite(gamma) ? gamma : 1.0),
      levels16_(65536) {
  identity_ = ink_curve_.empty() && screen_.transfer.empty() && gamma_ == 1.0 && !(screen_.min_dot > 0.0) &&
              !(screen_.max_dot < 100.0);
  const MonotoneCurve ink(ink_curve_), own(screen_.transfer);
  for (std::uint32_t k = 0; k < 65536; ++k) {
    double printed = 0.0;
    if (identity_) {
      printed = k / 65535.0;
    } else if (k > 0) {
      printed = own(ink(k / 65535.0));
      if (gamma_ != 1.0) printed = std::pow(printed, 1.0 / gamma_);
      const double least = screen_.min_dot / 100.0, most = screen_.max_dot / 100.0;
      if (printed > 0.0 && printed < least) printed = screen_.below_min == BelowMinDot::MinDot ? least : 0.0;
      if (printed > most && printed < 1.0) printed = screen_.above_max == AboveMaxDot::Solid ? 1.0 : most;
    }
    levels16_[k] = static_cast<std::uint16_t>(std::lround(printed * 65535.0));
  }
  for (unsigned k = 0; k < 256; ++k) levels8_[k] = levels16_[k * 257u];
}

double ToneTransfer::share(double ink) const noexcept {
  const double clamped = ink < 0.0 ? 0.0 : ink > 1.0 ? 1.0 : ink;
  return levels16_[static_cast<std::size_t>(std::lround(clamped * 65535.0))] / 65535.0;
}

}  // namespace riphost
