// dispersed_order.cpp - void and cluster on a torus of sites, with a
// Gaussian that widens for sparse sets.
#include "screening/dispersed_order.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace riphost {

namespace {

// The Gaussian's reach: 3 deviations, at most this many sites.
constexpr int kMaxRadius = 32;

struct Offset {
  int dx, dy;
  double weight;
};

// The Gaussian for a set holding the share density of the sites: deviation
// 1.5 sites, or half the set's spacing where that is more (below a tenth of
// the sites), so that a sparse set's sites still see their neighbours.
std::vector<Offset> kernel_for(double density) {
  const double sigma = std::max(1.5, 0.47 / std::sqrt(std::max(density, 1e-9)));
  const int radius = std::min(kMaxRadius, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<Offset> offsets;
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      offsets.push_back({dx, dy, std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma))});
    }
  }
  return offsets;
}

// The stage of a density: the kernel changes when the density halves.
int stage_of(std::uint32_t count, std::uint32_t n) {
  int stage = 0;
  for (std::uint64_t c = count; c * 2 <= n / 2 && stage < 40; c *= 2) ++stage;
  return stage;
}

// Extremes of the energies of a subset of the sites: a tree of minima (or
// maxima) over the sites, those outside the subset standing aside.
class ExtremeTree {
 public:
  ExtremeTree(std::uint32_t n, bool largest) : largest_(largest) {
    while (leaves_ < n) leaves_ *= 2;
    node_.assign(2 * leaves_, outside());
  }
  void put(std::uint32_t site, double energy, bool in) noexcept {
    std::size_t i = leaves_ + site;
    node_[i] = in ? energy : outside();
    for (i /= 2; i >= 1; i /= 2) node_[i] = pick(node_[2 * i], node_[2 * i + 1]);
  }
  // The site of the extreme energy among those in the subset.
  std::uint32_t extreme() const noexcept {
    std::size_t i = 1;
    while (i < leaves_) i = node_[2 * i] == node_[i] ? 2 * i : 2 * i + 1;
    return static_cast<std::uint32_t>(i - leaves_);
  }

 private:
  double outside() const noexcept {
    return largest_ ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  }
  double pick(double a, double b) const noexcept { return largest_ ? (a >= b ? a : b) : (a <= b ? a : b); }

  bool largest_;
  std::size_t leaves_ = 1;
  std::vector<double> node_;
};

// A set of sites and the energy every site gets from it.
// Finding voids (sites outside the set) or clusters (sites in it) can be
// left out where a phase needs only the other.
class SiteSet {
 public:
  SiteSet(const SiteTorus& torus, const std::vector<std::uint8_t>& in, bool voids, bool clusters, TileStop& stop)
      : stop_(stop), torus_(torus), in_(in), energy_(in.size(), 0.0), voids_(torus.size(), false),
        clusters_(torus.size(), true), find_voids_(voids), find_clusters_(clusters) {
    count_ = static_cast<std::uint32_t>(std::count(in_.begin(), in_.end(), 1));
    stage_ = -1;
    fit_kernel();
  }

  std::uint32_t count() const noexcept { return count_; }
  bool has(std::uint32_t site) const noexcept { return in_[site] != 0; }
  const std::vector<std::uint8_t>& members() const noexcept { return in_; }
  std::uint32_t largest_void() const noexcept { return voids_.extreme(); }
  std::uint32_t tightest_cluster() const noexcept { return clusters_.extreme(); }

  void put(std::uint32_t site, bool member) {
    stop_.poll(kernel_.size());
    in_[site] = member ? 1 : 0;
    count_ += member ? 1 : static_cast<std::uint32_t>(-1);
    if (stage_ != stage_of(count_, torus_.size())) {
      fit_kernel();
      return;
    }
    spread(site, member ? 1.0 : -1.0);
    enter(site);
  }

 private:
  // Takes the kernel of the set's density and works every energy out again.
  void fit_kernel() {
    stage_ = stage_of(count_, torus_.size());
    kernel_ = kernel_for(std::ldexp(0.5, -stage_));
    std::fill(energy_.begin(), energy_.end(), 0.0);
    for (std::uint32_t s = 0; s < in_.size(); ++s) {
      if (in_[s]) add_energy(s, 1.0), stop_.poll(kernel_.size());
    }
    for (std::uint32_t s = 0; s < in_.size(); ++s) enter(s);
  }
  void add_energy(std::uint32_t site, double sign) noexcept {
    for (const Offset& o : kernel_) energy_[torus_.neighbour(site, o.dx, o.dy)] += sign * o.weight;
  }
  // Only the tree a site belongs to changes with its energy.
  void spread(std::uint32_t site, double sign) noexcept {
    for (const Offset& o : kernel_) {
      const std::uint32_t n = torus_.neighbour(site, o.dx, o.dy);
      energy_[n] += sign * o.weight;
      if (in_[n] ? find_clusters_ : find_voids_) (in_[n] ? clusters_ : voids_).put(n, energy_[n], true);
    }
  }
  void enter(std::uint32_t site) noexcept {
    if (find_voids_) voids_.put(site, energy_[site], in_[site] == 0);
    if (find_clusters_) clusters_.put(site, energy_[site], in_[site] != 0);
  }

  TileStop& stop_;
  const SiteTorus& torus_;
  std::vector<std::uint8_t> in_;
  std::vector<double> energy_;
  ExtremeTree voids_;
  ExtremeTree clusters_;
  bool find_voids_;
  bool find_clusters_;
  std::uint32_t count_ = 0;
  int stage_ = -1;
  std::vector<Offset> kernel_;
};

// A random tenth of the sites, then moved until it is spread evenly.
std::vector<std::uint8_t> initial_sites(const SiteTorus& torus, std::uint32_t seed, TileStop& stop) {
  const std::uint32_t n = torus.size();
  const std::uint32_t count = n >= 10 ? n / 10 : 1;
  std::vector<std::uint8_t> in(n, 0);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::uint32_t placed = 0; placed < count;) {
    state = state * 1664525u + 1013904223u;
    const auto site = static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * n) >> 32);
    if (!in[site]) in[site] = 1, ++placed;
  }
  SiteSet set(torus, in, true, true, stop);
  for (std::uint64_t guard = 0; guard < 4ull * n + 16; ++guard) {
    const std::uint32_t cluster = set.tightest_cluster();
    set.put(cluster, false);
    const std::uint32_t hole = set.largest_void();
    set.put(hole, true);
    if (hole == cluster) break;
  }
  return set.members();
}

}  // namespace

std::vector<std::uint32_t> dispersed_ranks(const SiteTorus& torus, std::uint32_t seed, TileStop stop) {
  const std::uint32_t n = torus.size();
  std::vector<std::uint32_t> rank(n, 0);
  const std::vector<std::uint8_t> initial = initial_sites(torus, seed, stop);
  const auto count = static_cast<std::uint32_t>(std::count(initial.begin(), initial.end(), 1));
  {
    // The initial sites, tightest cluster last.
    SiteSet set(torus, initial, false, true, stop);
    for (std::uint32_t r = count; r-- > 0;) {
      const std::uint32_t cluster = set.tightest_cluster();
      rank[cluster] = r;
      set.put(cluster, false);
    }
  }
  // Sites into the largest void, up to half of them.
  SiteSet set(torus, initial, true, false, stop);
  std::uint32_t r = count;
  for (; r < (n + 1) / 2; ++r) {
    const std::uint32_t hole = set.largest_void();
    rank[hole] = r;
    set.put(hole, true);
  }
  // The rest: the tightest cluster of the sites not taken, first.
  std::vector<std::uint8_t> left(n);
  for (std::uint32_t s = 0; s < n; ++s) left[s] = set.has(s) ? 0 : 1;
  SiteSet rest(torus, left, false, true, stop);
  for (; r < n; ++r) {
    const std::uint32_t cluster = rest.tightest_cluster();
    rank[cluster] = r;
    rest.put(cluster, false);
  }
  return rank;
}

}  // namespace riphost
