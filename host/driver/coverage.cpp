// coverage.cpp - collecting and printing the ink shares.
#include "driver/coverage.h"

#include <cstdio>

namespace riphost {

double ink_percent(std::uint64_t ink, std::uint64_t area) noexcept {
  return area == 0 ? 0.0 : 100.0 * static_cast<double>(ink) / static_cast<double>(area);
}

void CoverageReport::start_page(const std::string& job, std::size_t page_number) {
  pages_.push_back(PageShares{job, page_number, {}});
}

void CoverageReport::add(const std::string& separation, std::uint64_t ink, std::uint64_t area) {
  if (pages_.empty()) return;
  pages_.back().shares.push_back(Share{separation, ink_percent(ink, area)});
}

void CoverageReport::print_summary(MessageSink& sink, bool several_jobs) const {
  for (const PageShares& page : pages_) {
    if (page.shares.empty()) continue;
    std::string line = several_jobs ? page.job + " page " : std::string("page ");
    line += std::to_string(page.number) + ":";
    for (const Share& share : page.shares) {
      char percent[32];
      std::snprintf(percent, sizeof percent, "%.1f %%", share.percent);
      line += (&share == &page.shares.front() ? " " : "  ") + share.separation + " " + percent;
    }
    sink.result("%s", line.c_str());
  }
}

}  // namespace riphost
