// area_index.cpp - the areas a row crosses and the segments they make.
#include "screening/area_index.h"

#include <algorithm>

namespace riphost {

AreaIndex::AreaIndex(const std::vector<ScreenArea>& areas, int width) : width_(width) {
  for (const ScreenArea& a : areas) {
    const long long x0 = std::max<long long>(a.x, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(a.x) + a.width, width);
    const long long y1 = static_cast<long long>(a.y) + a.height;
    if (x0 >= x1 || a.y >= y1) continue;
    spans_.push_back({a.y, y1, static_cast<int>(x0), static_cast<int>(x1), a.screen});
  }
  for (std::uint32_t s = 0; s < spans_.size(); ++s) starts_.push_back(s), ends_.push_back(s);
  std::stable_sort(starts_.begin(), starts_.end(), [&](auto a, auto b) { return spans_[a].y0 < spans_[b].y0; });
  std::stable_sort(ends_.begin(), ends_.end(), [&](auto a, auto b) { return spans_[a].y1 < spans_[b].y1; });
  active_.reserve(spans_.size());
  place_.assign(spans_.size(), -1);
  edges_.reserve(2 * spans_.size());
  heap_.reserve(spans_.size());
  gone_.assign(spans_.size(), 0);
  segments_.reserve(2 * spans_.size() + 1);
  restart();
}

void AreaIndex::restart() {
  for (std::uint32_t s : active_) place_[s] = -1;
  active_.clear();
  next_start_ = next_end_ = 0;
  y_ = 0;
  changed_ = true;
}

const std::vector<ScreenSegment>& AreaIndex::row(long long y) {
  if (y < y_) restart();
  y_ = y;
  while (next_start_ < starts_.size() && spans_[starts_[next_start_]].y0 <= y) {
    const std::uint32_t s = starts_[next_start_++];
    place_[s] = static_cast<std::int64_t>(active_.size());
    active_.push_back(s);
    changed_ = true;
  }
  while (next_end_ < ends_.size() && spans_[ends_[next_end_]].y1 <= y) {
    const std::uint32_t s = ends_[next_end_++];
    const std::int64_t at = place_[s];
    if (at < 0) continue;
    active_[static_cast<std::size_t>(at)] = active_.back();
    place_[active_.back()] = at;
    active_.pop_back();
    place_[s] = -1;
    changed_ = true;
  }
  if (changed_) remake();
  changed_ = false;
  return segments_;
}

// Sweeps the active spans' edges from left to right; between two edges the
// topmost covering span (the latest in the list) gives the screen.
void AreaIndex::remake() {
  edges_.clear();
  for (std::uint32_t s : active_) {
    edges_.push_back({spans_[s].x0, static_cast<std::int64_t>(s) + 1});
    edges_.push_back({spans_[s].x1, -(static_cast<std::int64_t>(s) + 1)});
    gone_[s] = 0;
  }
  std::sort(edges_.begin(), edges_.end());
  heap_.clear();
  segments_.clear();
  auto add = [&](int x0, int x1, std::size_t screen) {
    if (x0 >= x1) return;
    if (!segments_.empty() && segments_.back().screen == screen && segments_.back().x1 == x0) {
      segments_.back().x1 = x1;
    } else {
      segments_.push_back({x0, x1, screen});
    }
  };
  int x = 0;
  for (std::size_t e = 0; e < edges_.size();) {
    const int at = edges_[e].first;
    while (!heap_.empty() && gone_[heap_.front()]) {
      std::pop_heap(heap_.begin(), heap_.end());
      heap_.pop_back();
    }
    add(x, at, heap_.empty() ? 0 : spans_[heap_.front()].screen);
    x = at;
    for (; e < edges_.size() && edges_[e].first == at; ++e) {
      const std::int64_t edge = edges_[e].second;
      if (edge > 0) {
        heap_.push_back(static_cast<std::uint32_t>(edge - 1));
        std::push_heap(heap_.begin(), heap_.end());
      } else {
        gone_[static_cast<std::size_t>(-edge - 1)] = 1;
      }
    }
  }
  add(x, width_, 0);
}

}  // namespace riphost
