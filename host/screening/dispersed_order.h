// dispersed_order.h - ranking the sites of a torus so that every prefix of
// the ranking is spread evenly (blue noise), by void and cluster.
//
// The sites are those of a square grid wrapped on itself (a torus of any
// shape: a rectangle, or the cells of a screen's supercell). A set of sites
// gives every site an energy: a Gaussian of its distance to each site of the
// set. An initial random tenth of the sites is moved until no site of it sits
// in a tighter cluster (highest energy) than the largest void (lowest energy)
// is empty. Its sites are ranked by taking away the tightest cluster again
// and again; then sites are added into the largest void up to half of the
// sites; the rest are ranked by taking away the tightest cluster of the
// sites not taken. The Gaussian's deviation is 1.5 sites, and half the
// spacing of the set where that is more (sets below a tenth of the sites),
// so that sparse sets are spread as evenly as dense ones. Deterministic for
// a seed.
#ifndef RIPHOST_DISPERSED_ORDER_H
#define RIPHOST_DISPERSED_ORDER_H

#include <cstdint>
#include <vector>

#include "screening/tile_stop.h"

namespace riphost {

class SiteTorus {
 public:
  virtual ~SiteTorus() = default;
  virtual std::uint32_t size() const noexcept = 0;
  // The site at offset (dx, dy) of site.
  virtual std::uint32_t neighbour(std::uint32_t site, int dx, int dy) const noexcept = 0;
};

// Ranks 0 .. size - 1 of the torus' sites (at least 1). Throws
// TileBuildStopped once stop says so.
std::vector<std::uint32_t> dispersed_ranks(const SiteTorus& torus, std::uint32_t seed, TileStop stop = {});

}  // namespace riphost

#endif  // RIPHOST_DISPERSED_ORDER_H
