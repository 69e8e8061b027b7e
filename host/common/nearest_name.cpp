// nearest_name.cpp - edit distance with neighbour swaps, bounded.
#include "common/nearest_name.h"

#include <algorithm>
#include <vector>

namespace riphost {

namespace {

// Lower-cases one ASCII letter; other bytes are returned unchanged.
char ascii_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
  std::size_t difference = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (difference > limit) return limit + 1;
  // Three rows of the table: two back, one back, this one.
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      bool same = ascii_lower(a[i - 1]) == ascii_lower(b[j - 1]);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && ascii_lower(a[i - 1]) == ascii_lower(b[j - 2]) &&
          ascii_lower(a[i - 2]) == ascii_lower(b[j - 1])) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return std::min(previous[b.size()], limit + 1);
}

void NearestName::consider(std::string_view candidate) {
  std::size_t longer = std::max(name_.size(), candidate.size());
  std::size_t limit = std::min<std::size_t>(2, longer / 3);
  if (limit == 0) return;
  std::size_t distance = edit_distance(name_, candidate, limit);
  if (distance > limit) return;
  if (best_.empty() || distance < distance_) {
    best_ = candidate;
    distance_ = distance;
  }
}

}  // namespace riphost
