// transfer_curve.h - transfer curves: checked, and interpolated without
// overshoot.
//
// A curve is a list of (input %, output %) points (ticket/screen_spec.h).
// Between its points it follows the monotone cubic of Fritsch and Carlson
// (PCHIP): smooth, through every point, and never rising above or falling
// below its neighbouring points, so a curve whose outputs never decrease
// gives a transfer that never decreases.
#ifndef RIPHOST_TRANSFER_CURVE_H
#define RIPHOST_TRANSFER_CURVE_H

#include <string>
#include <vector>

#include "ticket/screen_spec.h"

namespace riphost {

// Throws HostError "<where>: ..." when a point is not finite or outside 0 to
// 100, the inputs do not strictly increase or an output is below the one
// before it.
void check_transfer_curve(const TransferCurve& curve, const std::string& where);

class MonotoneCurve {
 public:
  // The curve through the points of a checked curve, with (0, 0) and (100,
  // 100) added where it does not name its ends; an empty curve is the
  // identity.
  explicit MonotoneCurve(const TransferCurve& curve);
  // The output share (0 to 1) of an input share (0 to 1).
  double operator()(double share) const noexcept;

 private:
  std::vector<double> x_, y_, slope_;
};

}  // namespace riphost

#endif  // RIPHOST_TRANSFER_CURVE_H
