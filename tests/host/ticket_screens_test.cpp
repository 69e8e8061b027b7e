// ticket_screens_test.cpp - the screens of the ticket as riphost reads them:
// selections, contone content and their defaults, every screen problem with
// its place, tone keys, FM screens and placed images.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>
#include <vector>

#include "screening/am_screen.h"
#include "common/bitrow.h"
#include "sources/contone_source.h"
#include "common/host_error.h"
#include "screening/screening.h"
#include "test_support.h"
#include "ticket/ticket.h"

namespace {

using riphost::AmScreen;
using riphost::ContoneScreener;
using riphost::DotShape;
using riphost::RunCallbacks;
using riphost::ScreenArea;
using riphost::SelectedScreen;
using riphost::ScreenSpec;
using riphost_test::read_lines;
using riphost_test::TempDir;
using riphost_test::write_file;
using Json = nlohmann::ordered_json;


class TicketScreensTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "dev");
    write_file(dir_ / "art.pbm", riphost_test::make_pbm(30, 10, [](int x, int) { return x < 4; }));
    std::string pgm = "P5\n20 8\n255\n";
    for (int i = 0; i < 20 * 8; ++i) pgm += static_cast<char>(i % 256);
    write_file(dir_ / "grey.pgm", pgm);
  }

  Json ticket() const {
    return Json::parse(R"({
      "device": "dev", "output": "out",
      "screens": [{"name": "k", "ruling": 150, "angle": 45},
                  {"name": "c", "ruling": 120, "angle": 15, "dot": "ellipse", "type": 16, "screen_name": "Cyan"}],
      "jobs": [{"name": "j", "ppi": 2400,
        "screens": [{"name": "c", "ruling": 175, "angle": 75, "dot": "line"}, {"name": "m", "ruling": 100, "angle": 0}],
        "pages": [{"width": 40, "height": 20, "separations": [
          {"name": "A", "pattern": "checker"},
          {"name": "B", "gradient": "vertical", "screens": ["m", "k", "m"], "uses": [2, 0, 1],
           "screen_areas": [{"screen": "k", "x": 1, "y": 2, "width": 3, "height": 4}], "copydot": "art.pbm"},
          {"name": "C", "contone": "grey.pgm"}]}]}]})");
  }

  std::vector<std::string> problems_of(const Json& t) {
    try {
      riphost::parse_ticket(t.dump(), dir_.path());
    } catch (const riphost::TicketError& error) {
      return error.problems();
    }
    return {};
  }

  TempDir dir_;
};

TEST_F(TicketScreensTest, ScreensSelectionsAndContoneAreReadWithTheirDefaults) {
  riphost::Ticket t = riphost::parse_ticket(ticket().dump(), dir_.path());
  const riphost::Job& job = t.jobs.at(0);
  // k (ticket), c (replaced by the job's), m (job), default (built in).
  ASSERT_EQ(job.screens.size(), 4u);
  EXPECT_EQ(job.screens[1].name, "c");
  EXPECT_EQ(job.screens[1].ruling, 175);
  EXPECT_EQ(job.screens[1].dot, DotShape::Line);
  EXPECT_EQ(job.screens[3].name, "default");
  EXPECT_EQ(job.screens[3].ruling, 150);
  EXPECT_EQ(job.screens[3].angle, 45);
  EXPECT_EQ(job.screens[3].dot, DotShape::Round);
  EXPECT_EQ(job.screens[3].type, 1);
  const auto& seps = job.pages.at(0).separations;
  EXPECT_EQ(seps[0].screens, (std::vector<std::size_t>{3}));
  EXPECT_EQ(seps[0].uses, (std::vector<std::int32_t>{1}));
  EXPECT_EQ(seps[1].screens, (std::vector<std::size_t>{2, 0, 2}));
  EXPECT_EQ(seps[1].uses, (std::vector<std::int32_t>{2, 0, 1}));
  EXPECT_EQ(seps[1].source.kind, riphost::ContentSource::Kind::Contone);
  ASSERT_EQ(seps[1].source.areas.size(), 1u);
  EXPECT_EQ(seps[1].source.areas[0].screen, 1u);
  EXPECT_EQ(seps[1].source.copydot_text, "art.pbm");
  EXPECT_EQ(t.screen_handle_base, riphost::kScreenHandleBase);

  // A default_screen, and a job without a page size taking the contone image's.
  Json d = ticket();
  d["default_screen"] = "k";
  d["screen_handles"] = {{"base", 4096}, {"step", 1}};
  d["jobs"][0]["pages"][0].erase("width");
  d["jobs"][0]["pages"][0].erase("height");
  d["jobs"][0]["pages"][0]["separations"].erase(0);
  d["jobs"][0]["pages"][0]["separations"].erase(0);
  riphost::Ticket t2 = riphost::parse_ticket(d.dump(), dir_.path());
  EXPECT_EQ(t2.jobs[0].screens.size(), 3u);
  EXPECT_EQ(t2.jobs[0].pages[0].separations[0].screens, (std::vector<std::size_t>{0}));
  EXPECT_EQ(t2.jobs[0].pages[0].width, 20);
  EXPECT_EQ(t2.jobs[0].pages[0].height, 8);
  EXPECT_EQ(t2.screen_handle_step, 1u);
}

TEST_F(TicketScreensTest, EveryScreenProblemIsListedWithItsPlace) {
  Json t = ticket();
  t["screens"][0]["ruling"] = 0;
  t["screens"][1]["dot"] = "star";
  t["screens"].push_back({{"name", "k"}, {"ruling", 10}, {"angle", 400}, {"type", -1}, {"screen_name", std::string(108, 's')}});
  t["jobs"][0]["default_screen"] = "nope";
  auto& seps = t["jobs"][0]["pages"][0]["separations"];
  seps[1]["screens"] = {"m", "zz"};
  seps[1]["uses"] = {1};
  seps[1]["screen_areas"] = {{{"screen", "c"}, {"x", 0}, {"y", 0}, {"width", 0}, {"height", 1}}};
  seps[2]["channel"] = "Q";
  seps[0]["uses"] = {1};
  t["screen_handles"] = {{"base", 0xFFFFFFF0u}, {"step", 16}};
  const std::vector<std::string> expected = {
      "screens[0].ruling: must be greater than 0 and at most 10000",
      "screens[1].dot: unknown dot shape \"star\" (known: round, euclidean, ellipse, line, fm)",
      "screens[2].angle: must be between -360 and 360 degrees",
      "screens[2].type: must be between 0 and 65535",
      "screens[2].screen_name: text of 108 bytes; at most 107 are allowed",
      "screens[2].name: the screen \"k\" is defined twice in screens",
      "jobs[0].default_screen: unknown screen \"nope\" (known: k, c, m)",
      "jobs[0].pages[0].separations[0].uses: given without \"screens\"",
      "jobs[0].pages[0].separations[1].screens[1]: unknown screen \"zz\" (known: k, c, m, default)",
      "jobs[0].pages[0].separations[1].uses: 1 counts for 2 screens",
      "jobs[0].pages[0].separations[1].screen_areas[0].screen: \"c\" is not one of the separation's screens",
      "jobs[0].pages[0].separations[1].screen_areas[0].width: must be between 1 and 16777216",
      "jobs[0].pages[0].separations[2].channel: expected \"C\", \"M\", \"Y\" or \"K\", found \"Q\"",
      "jobs[0].screens: the job's 4 screens do not fit the 32-bit handles of \"screen_handles\"",
  };
  EXPECT_EQ(problems_of(t), expected);

  // Contone content: one kind only, its files checked, no threshold.
  Json u = ticket();
  auto& useps = u["jobs"][0]["pages"][0]["separations"];
  useps[0]["gradient"] = "diagonal";
  useps[1]["contone"] = "grey.pgm";
  useps[2]["contone"] = "art.pbm";
  useps[2]["channel"] = "K";
  useps[2]["threshold"] = 3;
  useps.push_back({{"name", "D"}, {"contone", "missing.png"}});
  useps.push_back({{"name", "E"}, {"gradient", "horizontal"}, {"copydot", "grey.pgm"}});
  const std::vector<std::string> contone = {
      "jobs[0].pages[0].separations[0]: give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several",
      "jobs[0].pages[0].separations[1]: give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several",
      "jobs[0].pages[0].separations[2].threshold: unknown key (expected one of: name, outputpage, options, screens, "
      "uses, xmp, xmp_file, inks, requested_screens, comment, copydot, screen_areas, transfer, contone, channel, ppi, placement)",
      "jobs[0].pages[0].separations[2].contone: art.pbm: a channel can only be taken from a CMYK TIFF image",
      "jobs[0].pages[0].separations[3].contone: file not found: missing.png",
      "jobs[0].pages[0].separations[4].copydot: grey.pgm: only bilevel netpbm images (PBM, P1 or P4) are supported",
  };
  EXPECT_EQ(problems_of(u), contone);
}

// The tone keys of screens and separations, FM screens, and placed images.
TEST_F(TicketScreensTest, ToneKeysFmScreensAndPlacementAreRead) {
  Json t = ticket();
  t["screens"].push_back({{"name", "f"}, {"dot", "fm"}, {"dot_size", 2}});
  t["screens"].push_back({{"name", "e"}, {"ruling", 133}, {"angle", 15}, {"dot", "euclidean"},
                          {"transfer", {{50, 45}, {80, 78}}}, {"min_dot", 2}, {"below_min_dot", "min_dot"},
                          {"max_dot", 97}, {"above_max_dot", "solid"}});
  Json& c = t["jobs"][0]["pages"][0]["separations"][2];
  c["transfer"] = {{50, 40}};
  c["ppi"] = 300;
  c["placement"] = {{"x", 2}, {"y", 3}, {"width", 10}, {"unit", "mm"}};
  riphost::Ticket read = riphost::parse_ticket(t.dump(), dir_.path());
  const riphost::Job& job = read.jobs.at(0);
  const ScreenSpec& fm = job.screens.at(2);
  EXPECT_EQ(fm.dot, DotShape::Fm);
  EXPECT_EQ(fm.dot_size, 2);
  EXPECT_EQ(fm.type, riphost::kFmScreenType);
  EXPECT_EQ(fm.ruling, 0.0);
  const ScreenSpec& e = job.screens.at(3);
  EXPECT_EQ(e.dot, DotShape::Euclidean);
  ASSERT_EQ(e.calibration.transfer.size(), 2u);
  EXPECT_EQ(e.calibration.transfer[1].output, 78);
  EXPECT_EQ(e.calibration.min_dot, 2);
  EXPECT_EQ(e.calibration.below_min, riphost::BelowMinDot::MinDot);
  EXPECT_EQ(e.calibration.max_dot, 97);
  EXPECT_EQ(e.calibration.above_max, riphost::AboveMaxDot::Solid);
  const riphost::ContentSource& source = job.pages.at(0).separations.at(2).source;
  ASSERT_EQ(source.transfer.size(), 1u);
  EXPECT_EQ(source.placement.ppi, 300);
  EXPECT_EQ(source.placement.x, 2);
  EXPECT_EQ(source.placement.width, 10);
  EXPECT_TRUE(source.placement.millimetres);

  // A page without a size takes a placed image's far edge: 20 x 8 pixels
  // at 300 ppi on 2400 ppi are 160 x 64 device pixels.
  Json d = ticket();
  Json image = d["jobs"][0]["pages"][0]["separations"][2];
  image["ppi"] = 300;
  d["jobs"][0]["pages"][0]["separations"] = Json::array({image});
  d["jobs"][0]["pages"][0].erase("width");
  d["jobs"][0]["pages"][0].erase("height");
  riphost::Ticket placed = riphost::parse_ticket(d.dump(), dir_.path());
  EXPECT_EQ(placed.jobs[0].pages[0].width, 160);
  EXPECT_EQ(placed.jobs[0].pages[0].height, 64);

  // Every problem with its place.
  Json bad = ticket();
  bad["screens"][0]["dot_size"] = 2;
  bad["screens"][1]["transfer"] = {{50, 40}, {40, 60}};
  bad["screens"][1]["min_dot"] = 120;
  bad["screens"][1]["above_max_dot"] = "plug";
  bad["screens"].push_back({{"name", "f"}, {"dot", "fm"}, {"dot_size", 0}});
  bad["screens"].push_back({{"name", "fine"}, {"ruling", 1500}, {"angle", 0}});
  Json& sep = bad["jobs"][0]["pages"][0]["separations"][2];
  sep["screens"] = {"fine"};
  sep["transfer"] = {{30, 50}, {60, 20}};
  sep["placement"] = {{"x", 1}, {"unit", "in"}, {"width", -2}};
  EXPECT_EQ(problems_of(bad),
            (std::vector<std::string>{
                "screens[0].dot_size: only FM screens (\"dot\": \"fm\") have one",
                "screens[1].transfer: inputs must increase, but (40, 60) follows (50, 40)",
                "screens[1].min_dot: must be between 0 and 100 (%)",
                "screens[1].above_max_dot: expected \"max_dot\" or \"solid\", found \"plug\"",
                "screens[2].dot_size: must be between 1 and 64",
                "jobs[0].pages[0].separations[2].placement.width: must be greater than 0 and at most 1e7",
                "jobs[0].pages[0].separations[2].placement.unit: expected \"px\" or \"mm\", found \"in\"",
                "jobs[0].pages[0].separations[2].transfer: the curve must not fall (monotonic), but (60, 20) follows "
                "(30, 50)",
                "jobs[0].pages[0].separations[2].screens: screen \"fine\": 1500 lpi is too fine for 2400 ppi (a cell "
                "needs at least 2 pixels)"}));
}

}  // namespace
