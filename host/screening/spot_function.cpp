// spot_function.cpp - spot values of the AM dot shapes.
#include "screening/spot_function.h"

#include <cmath>
#include <numbers>

namespace riphost {

namespace {

constexpr double kPi = std::numbers::pi;
// The ellipse's weight of x: the dot meets its neighbours along x at the
// value 1 - k, and the share of the cell above 1 - k is 40 % for this k
// (found numerically; the holes meet at 60 % by symmetry).
constexpr double kChainWeight = 0.766;
// The line's weight of x: at light tints a line is a row of compact dashes
// growing from the cell centres (with much less weight the pixels nearest
// the line's axis all along the cell come first, some of them alone).
constexpr double kDashWeight = 0.15;

// Squared distance from (x, y) to the nearest cell corner.
double corner_distance2(double x, double y) noexcept {
  const double dx = 1.0 - std::fabs(x);
  const double dy = 1.0 - std::fabs(y);
  return dx * dx + dy * dy;
}

// cos(pi t) for t from -1 to 1, tabulated (a spot value is worked out for
// every pixel of a tile, millions of them) and read at |t|, so that
// positions mirrored across the cell's axes get exactly equal values.
class CosineTable {
 public:
  static constexpr int kSteps = 1 << 13;
  CosineTable() {
    for (int k = 0; k <= kSteps; ++k) value_[k] = std::cos(kPi * k / kSteps);
    value_[kSteps + 1] = value_[kSteps];
  }
  double operator()(double t) const noexcept {
    const double at = std::fabs(t) * kSteps;
    const int k = static_cast<int>(at);
    const double rest = at - k;
    return value_[k] + rest * (value_[k + 1] - value_[k]);
  }

 private:
  double value_[kSteps + 2];
};

double cos_pi(double t) noexcept {
  static const CosineTable table;
  return table(t);
}

}  // namespace

double spot_value(DotShape dot, double x, double y) noexcept {
  switch (dot) {
    case DotShape::Round: {
      const double r2 = x * x + y * y;
      return r2 < 1.0 ? 1.0 - r2 : corner_distance2(x, y) - 2.0;
    }
    case DotShape::Euclidean: return (cos_pi(x) + cos_pi(y)) / 2.0;
    case DotShape::Ellipse: return kChainWeight * cos_pi(x) + cos_pi(y);
    case DotShape::Line: return cos_pi(y) + kDashWeight * cos_pi(x);
    case DotShape::Fm: break;
  }
  return 0.0;
}

bool dots_keep_their_part(DotShape dot) noexcept { return dot == DotShape::Round; }

double dot_part_share(DotShape dot) noexcept { return dot == DotShape::Round ? kPi / 4.0 : 0.5; }

double spot_tie_key(double x, double y, bool dot_part) noexcept {
  return dot_part ? x * x + y * y : -corner_distance2(x, y);
}

}  // namespace riphost
