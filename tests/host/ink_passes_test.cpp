// ink_passes_test.cpp - how a page's inks are split into Ghostscript passes.
//
// The passes must follow Ghostscript's reading of the page device settings
// (ink_passes.h): process inks are colorants 0-3, named spot colours 4, 5,
// ... in the order named; SeparationOrder's i-th name places colorant i (of
// the first eight) at that name's colorant number; colorants from 8 on stay
// where they are and are not drawn. The checks below apply that reading to
// every pass and find where each ink of the page lands.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "sources/document/ink_passes.h"

namespace riphost {
namespace {

const std::vector<std::string> kProcessNames = {"Cyan", "Magenta", "Yellow", "Black"};

std::vector<std::string> spot_names(int count) {
  std::vector<std::string> spots;
  for (int i = 0; i < count; ++i) spots.push_back("PANTONE " + std::to_string(100 + i) + " C");
  return spots;
}

// Where Ghostscript draws each colorant of a pass: name -> place (0-7), or
// no entry when it is not drawn.
std::map<std::string, int> places(const InkPass& pass) {
  std::vector<std::string> colorants = kProcessNames;
  colorants.insert(colorants.end(), pass.names.begin(), pass.names.end());
  const auto number = [&](const std::string& name) {
    return static_cast<int>(std::find(colorants.begin(), colorants.end(), name) - colorants.begin());
  };
  std::map<std::string, int> drawn;
  for (std::size_t colorant = 0; colorant < std::min<std::size_t>(8, colorants.size()); ++colorant) {
    const int place = number(pass.order.at(colorant));
    if (place < kInkSlots) drawn[colorants[colorant]] = place;
  }
  return drawn;
}

class InkPasses : public ::testing::TestWithParam<int> {};

TEST_P(InkPasses, EveryInkIsRenderedOnceWhereThePassSaysAndNothingElseIsDrawnThere) {
  const int spots = GetParam();
  const InkPlan plan = plan_inks(spot_names(spots));
  const std::size_t expected_passes = spots <= 4 ? 1 : 1 + static_cast<std::size_t>((spots - 4 + 3) / 4);
  ASSERT_EQ(plan.passes.size(), expected_passes);
  EXPECT_EQ(plan.wide, spots > 4) << "more names than eight need room first";
  std::vector<std::string> rendered;
  for (const InkPass& pass : plan.passes) {
    ASSERT_EQ(pass.order.size(), 8u);
    EXPECT_EQ(std::set<std::string>(pass.order.begin(), pass.order.end()).size(), 8u) << "no name twice";
    EXPECT_LE(pass.names.size() + 4, 64u) << "Ghostscript keeps at most 64 colorants";
    if (plan.wide) {
      EXPECT_GE(pass.names.size(), 8u);
    }
    for (const std::string& name : pass.order) {
      const bool known = std::count(kProcessNames.begin(), kProcessNames.end(), name) +
                         std::count(pass.names.begin(), pass.names.end(), name);
      EXPECT_TRUE(known) << name << " is named before it is ordered";
    }
    const std::map<std::string, int> drawn = places(pass);
    std::set<int> used;
    for (std::size_t i = 0; i < pass.inks.size(); ++i) {
      const auto at = drawn.find(pass.inks[i]);
      ASSERT_NE(at, drawn.end()) << pass.inks[i] << " is drawn";
      EXPECT_EQ(at->second, pass.first_slot + static_cast<int>(i)) << pass.inks[i];
      rendered.push_back(pass.inks[i]);
    }
    for (const auto& [name, place] : drawn) {
      EXPECT_TRUE(used.insert(place).second) << "two colorants drawn at place " << place;
    }
  }
  std::vector<std::string> all = kProcessNames;
  const std::vector<std::string> names = spot_names(spots);
  all.insert(all.end(), names.begin(), names.end());
  EXPECT_EQ(rendered, all) << "process inks first, then the spot colours in their order, each once";
}

INSTANTIATE_TEST_SUITE_P(SpotCounts, InkPasses, ::testing::Values(0, 1, 4, 5, 7, 8, 9, 12, 13, 19, 20));

TEST(InkPasses, LaterPassesLeaveProcessInksOut) {
  const InkPlan plan = plan_inks(spot_names(7));
  ASSERT_EQ(plan.passes.size(), 2u);
  const std::map<std::string, int> drawn = places(plan.passes[1]);
  for (const std::string& process : kProcessNames) EXPECT_EQ(drawn.count(process), 0u) << process;
}

TEST(InkPasses, OwnSpotsLeaveOutProcessInksAndRepeats) {
  EXPECT_EQ(own_spots({"Cyan", "Gold", "All", "None", "", "Gold", "Black", "Varnish"}),
            (std::vector<std::string>{"Gold", "Varnish"}));
}

}  // namespace
}  // namespace riphost
