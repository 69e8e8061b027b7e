// coverage.h - the ink share of every separation riphost sends: set pixels
// of the rows handed to the plug-in over the page's area, as tavinfo counts
// them in the file.
//
// With -v each separation gets a line when it ends; after the run each page
// gets one result line, e.g.
//   page 1: C 40.9 %  M 37.3 %  Y 37.3 %  K 27.2 %
// ("<job> page 1: ..." when the ticket has several jobs).
#ifndef RIPHOST_COVERAGE_H
#define RIPHOST_COVERAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/message.h"

namespace riphost {

class CoverageReport {
 public:
  // A page begins; its separations follow.
  void start_page(const std::string& job, std::size_t page_number);
  // A separation whose rows were all sent: ink set pixels of area.
  void add(const std::string& separation, std::uint64_t ink, std::uint64_t area);
  // One result line per page that has separations, led by the job's name
  // when the ticket has several jobs.
  void print_summary(MessageSink& sink, bool several_jobs) const;

 private:
  struct Share {
    std::string separation;
    double percent = 0.0;
  };
  struct PageShares {
    std::string job;
    std::size_t number = 0;
    std::vector<Share> shares;
  };
  std::vector<PageShares> pages_;
};

// ink / area in per cent; 0 for an empty area.
double ink_percent(std::uint64_t ink, std::uint64_t area) noexcept;

}  // namespace riphost

#endif  // RIPHOST_COVERAGE_H
