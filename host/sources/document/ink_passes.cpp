// ink_passes.cpp - splitting a page's inks into passes of Ghostscript.
#include "sources/document/ink_passes.h"

#include <algorithm>
#include <array>

namespace riphost {

namespace {

constexpr const char* kFillerPrefix = "riphost-spare-";
constexpr std::array<const char*, 4> kProcess = {"Cyan", "Magenta", "Yellow", "Black"};
// Spot colours a pass renders: the first beside the process inks, the
// later ones in the same four places (see ink_passes.h).
constexpr std::size_t kPassSpots = kInkSlots - kProcess.size();

// names, then fillers up to count names.
std::vector<std::string> filled(std::vector<std::string> names, std::size_t count) {
  for (std::size_t spare = 1; names.size() < count; ++spare) names.push_back(kFillerPrefix + std::to_string(spare));
  return names;
}

// One pass: the process inks and up to four spot colours, their colorants
// drawn where they are.
InkPass first_pass(const std::vector<std::string>& spots, std::size_t names) {
  InkPass pass;
  pass.names = filled(spots, names);
  pass.order.assign(kProcess.begin(), kProcess.end());
  pass.order.insert(pass.order.end(), pass.names.begin(), pass.names.begin() + kPassSpots);
  pass.inks = pass.order;
  pass.inks.resize(kProcess.size() + std::min(spots.size(), kPassSpots));
  return pass;
}

// A later pass: spots[first, first + 4) named first, as colorants 4-7; the
// process inks sent to the places of colorants 8-11, which are not drawn.
InkPass later_pass(const std::vector<std::string>& spots, std::size_t first) {
  InkPass pass;
  const std::size_t end = std::min(spots.size(), first + kPassSpots);
  pass.inks.assign(spots.begin() + static_cast<std::ptrdiff_t>(first),
                   spots.begin() + static_cast<std::ptrdiff_t>(end));
  pass.names = pass.inks;
  for (std::size_t i = 0; i < spots.size(); ++i) {
    if (i < first || i >= end) pass.names.push_back(spots[i]);
  }
  pass.names = filled(pass.names, 2 * kPassSpots);
  pass.order.assign(pass.names.begin() + kPassSpots, pass.names.begin() + 2 * kPassSpots);
  pass.order.insert(pass.order.end(), pass.names.begin(), pass.names.begin() + kPassSpots);
  pass.first_slot = static_cast<int>(kProcess.size());
  return pass;
}

}  // namespace

bool is_process_ink(const std::string& name) noexcept {
  return std::find_if(kProcess.begin(), kProcess.end(), [&](const char* ink) { return name == ink; }) !=
         kProcess.end();
}

bool is_filler_ink(const std::string& name) noexcept { return name.rfind(kFillerPrefix, 0) == 0; }

std::vector<std::string> own_spots(const std::vector<std::string>& spots) {
  std::vector<std::string> own;
  for (const std::string& spot : spots) {
    if (spot.empty() || is_process_ink(spot) || spot == "All" || spot == "None") continue;
    if (std::find(own.begin(), own.end(), spot) == own.end()) own.push_back(spot);
  }
  return own;
}

InkPlan plan_inks(const std::vector<std::string>& spots) {
  InkPlan plan;
  if (spots.size() <= kPassSpots) {
    plan.passes.push_back(first_pass(spots, kPassSpots));
    return plan;
  }
  plan.wide = true;
  plan.passes.push_back(first_pass(spots, 2 * kPassSpots));
  for (std::size_t first = kPassSpots; first < spots.size(); first += kPassSpots) {
    plan.passes.push_back(later_pass(spots, first));
  }
  return plan;
}

std::string whole_ink_name(const std::string& reported, const std::vector<std::string>& names) {
  if (reported.size() != kReportedInkNameBytes) return reported;
  const std::string* whole = nullptr;
  for (const std::string& name : names) {
    if (name.size() < reported.size() || name.compare(0, reported.size(), reported) != 0) continue;
    if (name == reported) return reported;
    if (whole && *whole != name) return reported;
    whole = &name;
  }
  return whole ? *whole : reported;
}

}  // namespace riphost
