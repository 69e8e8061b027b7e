// transfer_curve.cpp - checking curves and the monotone cubic through them.
#include "screening/transfer_curve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/host_error.h"

namespace riphost {

namespace {

std::string point_text(const TransferPoint& p) {
  char text[64];
  std::snprintf(text, sizeof text, "(%g, %g)", p.input, p.output);
  return text;
}

// The slope at an end of the curve (h0, d0: the end interval's width and
// slope; h1, d1: the next one's), kept within the shape of the data.
double end_slope(double h0, double h1, double d0, double d1) noexcept {
  double s = ((2.0 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
  if (s * d0 <= 0.0) return 0.0;
  if (d0 * d1 <= 0.0 && std::fabs(s) > 3.0 * std::fabs(d0)) s = 3.0 * d0;
  return s;
}

}  // namespace

void check_transfer_curve(const TransferCurve& curve, const std::string& where) {
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const TransferPoint& p = curve[i];
    if (!std::isfinite(p.input) || !std::isfinite(p.output) || p.input < 0.0 || p.input > 100.0 ||
        p.output < 0.0 || p.output > 100.0) {
      throw HostError(where + ": point " + point_text(p) + " is outside 0 to 100 %");
    }
    if (i == 0) continue;
    const TransferPoint& q = curve[i - 1];
    if (!(p.input > q.input)) {
      throw HostError(where + ": inputs must increase, but " + point_text(p) + " follows " + point_text(q));
    }
    if (p.output < q.output) {
      throw HostError(where + ": the curve must not fall (monotonic), but " + point_text(p) + " follows " +
                      point_text(q));
    }
  }
}

MonotoneCurve::MonotoneCurve(const TransferCurve& curve) {
  if (curve.empty() || curve.front().input > 0.0) x_.push_back(0.0), y_.push_back(0.0);
  for (const TransferPoint& p : curve) x_.push_back(p.input / 100.0), y_.push_back(p.output / 100.0);
  if (curve.empty() || curve.back().input < 100.0) x_.push_back(1.0), y_.push_back(1.0);
  const std::size_t n = x_.size();
  std::vector<double> h(n - 1), d(n - 1);
  for (std::size_t k = 0; k + 1 < n; ++k) h[k] = x_[k + 1] - x_[k], d[k] = (y_[k + 1] - y_[k]) / h[k];
  slope_.assign(n, 0.0);
  if (n == 2) {
    slope_[0] = slope_[1] = d[0];
    return;
  }
  for (std::size_t k = 1; k + 1 < n; ++k) {
    if (d[k - 1] * d[k] <= 0.0) continue;
    const double w1 = 2.0 * h[k] + h[k - 1], w2 = h[k] + 2.0 * h[k - 1];
    slope_[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
  }
  slope_[0] = end_slope(h[0], h[1], d[0], d[1]);
  slope_[n - 1] = end_slope(h[n - 2], h[n - 3], d[n - 2], d[n - 3]);
}

double MonotoneCurve::operator()(double share) const noexcept {
  const double s = std::clamp(share, 0.0, 1.0);
  const std::size_t k =
      std::min<std::size_t>(static_cast<std::size_t>(std::upper_bound(x_.begin(), x_.end(), s) - x_.begin()),
                            x_.size() - 1) - 1;
  const double h = x_[k + 1] - x_[k], t = (s - x_[k]) / h;
  const double t2 = t * t, t3 = t2 * t;
  const double value = (2 * t3 - 3 * t2 + 1) * y_[k] + (t3 - 2 * t2 + t) * h * slope_[k] +
                       (-2 * t3 + 3 * t2) * y_[k + 1] + (t3 - t2) * h * slope_[k + 1];
  return std::clamp(value, std::min(y_[k], y_[k + 1]), std::max(y_[k], y_[k + 1]));
}

}  // namespace riphost
