// The screen-information tag of finished files: plain and extended forms,
// the dummy lines, coverage and area, cut lines and the "C" locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <vector>

#include "dravout.h"
#include "extension.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "tav.h"

namespace plugin_test {
namespace {

using screeninfo::ext;
using screeninfo::ScreenInfo;

// One record of the extension's table.
struct Screen {
  const char* dot;
  double lpi, ang;
  int32_t scrtype;
  int64_t coverage = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
};

class ScreenInfoTagTest : public PluginTest {
 protected:
  void TearDown() override {
    screeninfo::release_tables();
    ext = screeninfo::ExtensionState{};
    PluginTest::TearDown();
  }
  // Puts a selection into the extension as its load and runs would leave it.
  void Table(const std::vector<Screen>& screens, bool counted, Screen unknown = {}, Screen copydot = {},
             Screen solids = {}) {
    ext.registered = 1;
    const std::size_t n = screens.size();
    ext.screen_info = static_cast<ScreenInfo*>(std::calloc(n + 1, sizeof(ScreenInfo)));
    auto fill = [](ScreenInfo& r, const Screen& s) {
      r.dot = s.dot != nullptr ? strdup(s.dot) : nullptr;
      r.lpi = s.lpi;
      r.ang = s.ang;
      r.scrtype = s.scrtype;
      r.coverage = s.coverage;
      r.bound_l = s.l;
      r.bound_t = s.t;
      r.bound_r = s.r;
      r.bound_b = s.b;
    };
    for (std::size_t i = 0; i < n; ++i) fill(ext.screen_info[i], screens[i]);
    ext.unique_count = static_cast<int>(n);
    fill(ext.screen_info[n], unknown);
    ext.screen_info[n].dot = nullptr;
    fill(ext.other_info[0], copydot);
    fill(ext.other_info[1], solids);
    std::free(ext.other_info[0].dot);
    std::free(ext.other_info[1].dot);
    ext.other_info[0].dot = ext.other_info[1].dot = nullptr;
    ext.coverage_valid = counted ? 1 : 0;
  }
  // Writes one separation of a 1000 x 500 page and returns its tag value.
  std::string Tag(bool mirrored = false) {
    if (!mirrored) fake_host().ints["LEFT"] = 1;
    OpenJob();
    EXPECT_EQ(dravout_startpage(Page(1000, 500)), 0);
    EXPECT_EQ(dravout_startseparations(Separation()), 0);
    for (int y = 0; y < 500; ++y) {
      ScanlineBuffer* buffer = nullptr;
      dravout_newscan(&buffer);
      std::memset(buffer->data, 0, static_cast<std::size_t>(dravout::scanline_bytes));
      EXPECT_EQ(dravout_putscan(buffer), 0);
    }
    EXPECT_EQ(dravout_endseparations(), 0);
    EXPECT_EQ(fake_host().files.size(), 1u);
    if (fake_host().files.empty()) return {};
    tav::TavReader reader(fake_host().files.back());
    const tav::TavTag* tag = reader.FindTag("_KVT_RIPINFO0");
    EXPECT_NE(tag, nullptr);
    return tag == nullptr ? std::string() : std::string(tag->value.begin(), tag->value.end());
  }
  static std::string Z(const std::string& text) { return text + std::string(1, '\0'); }
};

TEST_F(ScreenInfoTagTest, PlainFormListsOwnScreensOrASolidDummy) {
  // Without the extension: the plain dummy, 40 bytes with the zero.
  testing::internal::CaptureStdout();
  const std::string unregistered = Tag();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(unregistered, Z("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID\n"));
  EXPECT_EQ(unregistered.size(), 40u);
  EXPECT_TRUE(fake_host().Has(2, "No Kivo-screens in separation, dummy TAV tag added"));
}

TEST_F(ScreenInfoTagTest, PlainFormWithScreensUpperCasesTheTableItself) {
  Table({{"ellipse", 150, 45, 1}, {"ps-round", 85, 15, 2}, {"line", 120, 0, 16}}, /*counted=*/false);
  EXPECT_EQ(Tag(), Z("COUNT=2\nLC=150.000000 A=45.000000 S=ELLIPSE\nLC=120.000000 A=0.000000 S=LINE\n"));
  EXPECT_STREQ(ext.screen_info[0].dot, "ELLIPSE");
  EXPECT_STREQ(ext.screen_info[1].dot, "ps-round");
  EXPECT_TRUE(fake_host().Has(3, "TAV NO extended screen tag: Known screens=2"));
}

TEST_F(ScreenInfoTagTest, ExtendedFormDummiesCarryTheSolids) {
  Table({}, /*counted=*/true);
  EXPECT_EQ(Tag(), Z("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID COV=0.000000 AREA=0,0,0,0\n"));
  EXPECT_TRUE(fake_host().Has(2, "No Kivo-screens, PS-screens nor Copydot found in separation, dummy TAV tag added"));

  TearDown();
  SetUp();
  Table({{"round", 150, 45, 1}}, true, {}, {}, {nullptr, 0, 0, 0, 125000, 0, 0, 500, 250});
  EXPECT_EQ(Tag(), Z("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID COV=0.250000 AREA=0,0,500,250\n"));
  EXPECT_TRUE(fake_host().Has(3, "TAV extended screen tag: Solid coverage =0.250, bound: l=0,t=0,r=500,b=250"));
}

TEST_F(ScreenInfoTagTest, ExtendedFormOrderCountsAndMerges) {
  // Own screens with pixels (one without: no line), a foreign screen with and
  // one without pixels, unknown runs, copydot and solids (not reported).
  Table({{"round", 150, 45, 1, 50000, 10, 20, 110, 120},
         {"ellipse", 133, 15, 8, 0},
         {"ps", 85, 0, 3, 1000, 0, 0, 100, 10},
         {"line", 120, 90, 16, 250000, 0, 0, 1000, 499},
         {"ps2", 60, 0, 4, 0}},
        true, {nullptr, 0, 0, 0, 500, 5, 400, 50, 450}, {nullptr, 0, 0, 0, 2000, 100, 100, 200, 200},
        {nullptr, 0, 0, 0, 9999, 0, 0, 10, 10});
  EXPECT_EQ(Tag(), Z("COUNT=4\n"
                     "LC=150.000000 A=45.000000 S=ROUND COV=0.100000 AREA=10,20,110,120\n"
                     "LC=120.000000 A=90.000000 S=LINE COV=0.500000 AREA=0,0,1000,499\n"
                     "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.003000 AREA=0,0,100,450\n"
                     "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=100,100,200,200\n"));
  EXPECT_TRUE(fake_host().Has(2, "Some runs contained unknown screens! Surface=500, Bounds=(t=400,l=5,b=450,r=50)"));
  EXPECT_TRUE(fake_host().Has(
      3, "TAV extended screen tag: Known screens=2, coverage=0.600, bound: l=0,t=0,r=1000,b=499"));
  EXPECT_TRUE(fake_host().Has(3, "TAV extended screen tag: Copydot coverage=0.004, bound:l=100,t=100,r=200,b=200"));
  // The foreign record was merged into the unknown-screens record.
  EXPECT_EQ(ext.screen_info[5].coverage, 1500);

  // Only a foreign screen without pixels: a single UNKNOWN line of nothing.
  TearDown();
  SetUp();
  Table({{"ps", 85, 0, 2, 0}}, true);
  EXPECT_EQ(Tag(), Z("COUNT=1\nLC=0.000000 A=0.000000 S=UNKNOWN COV=0.000000 AREA=0,0,0,0\n"));
}

TEST_F(ScreenInfoTagTest, CoverageAreaMirroringAndOverflows) {
  Table({{"round", 150, 45, 1, 600000, 10, 0, 110, 500}, {"dot", 100, 0, 1, 10, -1, 0, 5, 5}}, true);
  const std::string tag = Tag(/*mirrored=*/true);
  EXPECT_EQ(tag, Z("COUNT=2\n"
                   "LC=150.000000 A=45.000000 S=ROUND COV=1.000000 AREA=890,0,990,500\n"
                   "LC=100.000000 A=0.000000 S=DOT COV=0.000020 AREA=0,0,999,499\n"));
  EXPECT_TRUE(fake_host().Has(2, "Coverage overflow=1.200 (set to 1.0), screen=ROUND,45.0,150.0"));
  EXPECT_TRUE(fake_host().Has(2, "screen bound overflow: l=-1, t=0, r=5, b=5 (set to 0,0,0,0)"));
}

TEST_F(ScreenInfoTagTest, LongLinesAreCutAndNumbersStayInTheCLocale) {
  locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  // A ruling of 1e250 makes a line of more than 255 characters.
  Table({{"round", 1e250, 45.5, 1}, {"dot", 2.5, 0, 1}}, false);
  const std::string before = std::setlocale(LC_ALL, nullptr);
  locale_t previous = comma != static_cast<locale_t>(0) ? uselocale(comma) : static_cast<locale_t>(0);
  const std::string tag = Tag();
  if (comma != static_cast<locale_t>(0)) {
    EXPECT_EQ(uselocale(previous), comma);  // the caller's locale is back
    freelocale(comma);
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);  // the process locale is untouched
  char line[512];
  std::snprintf(line, sizeof line, "LC=%f A=45.500000 S=ROUND\n", 1e250);
  const std::string cut = std::string(line).substr(0, 255);
  EXPECT_EQ(tag, Z("COUNT=2\n" + cut + "LC=2.500000 A=0.000000 S=DOT\n"));
  EXPECT_TRUE(fake_host().HasFormat(2, "TAV tag line too long (truncated to %d bytes): =>%s"));
}

}  // namespace
}  // namespace plugin_test
