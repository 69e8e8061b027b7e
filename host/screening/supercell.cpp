// supercell.cpp - choosing the tile of an AM screen.
#include "screening/supercell.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <numbers>
#include <numeric>

namespace riphost {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// (a0, b0) with a0 a + b0 b = gcd(a, b) > 0, for a, b not both 0.
std::int64_t extended_gcd(std::int64_t a, std::int64_t b, std::int64_t& a0, std::int64_t& b0) {
  std::int64_t r0 = a, r1 = b, s0 = 1, s1 = 0, t0 = 0, t1 = 1;
  while (r1 != 0) {
    const std::int64_t q = r0 / r1;
    std::int64_t next = r0 - q * r1;
    r0 = r1, r1 = next;
    next = s0 - q * s1;
    s0 = s1, s1 = next;
    next = t0 - q * t1;
    t0 = t1, t1 = next;
  }
  if (r0 < 0) r0 = -r0, s0 = -s0, t0 = -t0;
  a0 = s0;
  b0 = t0;
  return r0;
}

// Angle difference wrapped to (-pi, pi].
double wrapped(double radians) noexcept {
  while (radians > std::numbers::pi) radians -= 2.0 * std::numbers::pi;
  while (radians <= -std::numbers::pi) radians += 2.0 * std::numbers::pi;
  return radians;
}

// A candidate tile and how far it is off, in units of the allowed errors.
struct Candidate {
  Supercell cell;
  double score = 0.0;  // at most 1: within the limits
};

}  // namespace

std::int64_t Supercell::brick_height() const noexcept { return std::gcd(P, Q); }

std::int64_t Supercell::brick_shift() const noexcept {
  // The lattice vector a (P, Q) + b (Q, -P) with y = H gives the shift.
  std::int64_t a0 = 0, b0 = 0;
  extended_gcd(Q, P, a0, b0);  // a0 Q + b0 P = H: a = a0, b = -b0
  return floor_mod(a0 * P - b0 * Q, brick_width());
}

namespace {

// The search itself, polling a copy of the stop question.
Supercell search_supercell(double ppi, double ruling, double angle, const TileLimits& limits, TileStop stop) {
  const double cell = ppi / ruling;
  const double theta = angle * kDegree;
  // One cell along the angle and one across it, in pixels (y down).
  const double ux = cell * std::cos(theta), uy = -cell * std::sin(theta);
  const double vx = -cell * std::sin(theta), vy = -cell * std::cos(theta);
  const double page_share = limits.page_extent > 0.0 ? limits.max_drift / limits.page_extent : 0.0;
  const double allowed_angle = std::max(limits.max_angle_error * kDegree, page_share);
  const double allowed_ruling = std::max(limits.max_ruling_error / ruling, page_share);
  const std::int64_t reach = static_cast<std::int64_t>(std::sqrt(static_cast<double>(limits.max_pixels)) / cell) + 2;

  bool found = false;
  Candidate best;
  for (std::int64_t A = 0; A <= reach; ++A) {
    stop.poll(static_cast<std::uint64_t>(2 * reach + 1));
    for (std::int64_t B = -reach; B <= reach; ++B) {
      if (A == 0 && B <= 0) continue;
      const double px = A * ux + B * vx, py = A * uy + B * vy;
      Candidate c;
      c.cell.A = A, c.cell.B = B;
      c.cell.P = std::llround(px), c.cell.Q = std::llround(py);
      if (c.cell.P == 0 && c.cell.Q == 0) continue;
      // A tile below the smallest size repeats itself a whole number of times.
      const double area = static_cast<double>(c.cell.pixels());
      if (area < static_cast<double>(limits.min_pixels)) {
        const auto times = static_cast<std::int64_t>(std::ceil(std::sqrt(limits.min_pixels / area)));
        c.cell.A *= times, c.cell.B *= times, c.cell.P *= times, c.cell.Q *= times;
      }
      if (c.cell.pixels() > limits.max_pixels) continue;
      const double side = std::hypot(static_cast<double>(c.cell.P), static_cast<double>(c.cell.Q));
      const double turn = wrapped(std::atan2(-static_cast<double>(c.cell.Q), static_cast<double>(c.cell.P)) -
                                  std::atan2(-py, px));
      c.cell.angle = angle + turn / kDegree;
      c.cell.ruling = ppi * std::sqrt(static_cast<double>(c.cell.cells())) / side;
      c.score = std::max(std::fabs(turn) / allowed_angle, std::fabs(c.cell.ruling - ruling) / ruling / allowed_ruling);
      const bool within = c.score <= 1.0;
      const bool better = !found ||
                          (within ? best.score > 1.0 || c.cell.pixels() < best.cell.pixels()
                                  : best.score > 1.0 && (c.score < best.score ||
                                                          (c.score == best.score && c.cell.pixels() < best.cell.pixels())));
      if (better) {
        best = c;
        found = true;
      }
    }
  }
  return best.cell;
}

// A search asked for and its answer.
struct KnownCell {
  double ppi, ruling, angle;
  TileLimits limits;
  Supercell cell;
  bool same(double p, double r, double a, const TileLimits& l) const noexcept {
    return ppi == p && ruling == r && angle == a && limits.max_angle_error == l.max_angle_error &&
           limits.max_ruling_error == l.max_ruling_error && limits.page_extent == l.page_extent &&
           limits.max_drift == l.max_drift && limits.min_pixels == l.min_pixels && limits.max_pixels == l.max_pixels;
  }
};

// Every screen of a page is made once per screening thread and page: the
// answers of the last searches are kept.
constexpr std::size_t kKnownCells = 32;

}  // namespace

Supercell choose_supercell(double ppi, double ruling, double angle, const TileLimits& limits, const TileStop& stop) {
  static std::mutex mutex;
  static std::deque<KnownCell> known;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    for (const KnownCell& entry : known) {
      if (entry.same(ppi, ruling, angle, limits)) return entry.cell;
    }
  }
  const Supercell cell = search_supercell(ppi, ruling, angle, limits, stop);
  const std::lock_guard<std::mutex> lock(mutex);
  known.push_front(KnownCell{ppi, ruling, angle, limits, cell});
  if (known.size() > kKnownCells) known.pop_back();
  return cell;
}

}  // namespace riphost
