// The screen-information tag from explicit totals, without a plug-in: plain
// and extended forms, dummy lines, coverage and area, mirroring, merged
// foreign screens, cut lines and the "C" locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <vector>

#include "screeninfo_tag.h"
#include "tag_capture.h"

namespace tags_test {
namespace {

using dravout::PageGeometry;
using dravout::ScreenTotals;
using screeninfo::ScreenInfo;

// One record of the extension's table.
struct Screen {
  const char* dot;
  double lpi, ang;
  int32_t scrtype;
  int64_t coverage = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
};

// Tables as the extension hands them over: count records, the unknown-
// screens record, copydot and solids; the names owned here.
class Totals {
 public:
  Totals(const std::vector<Screen>& screens, bool counted, Screen unknown = {}, Screen copydot = {},
         Screen solids = {})
      : table_(screens.size() + 1), names_(screens.size()) {
    for (std::size_t i = 0; i < screens.size(); ++i) {
      if (screens[i].dot != nullptr) names_[i] = screens[i].dot;
      Fill(table_[i], screens[i], screens[i].dot != nullptr ? names_[i].data() : nullptr);
    }
    Fill(table_.back(), unknown, nullptr);
    Fill(other_[0], copydot, nullptr);
    Fill(other_[1], solids, nullptr);
    totals_ = ScreenTotals{table_.data(), static_cast<int>(screens.size()), other_, counted ? 1 : 0};
  }
  const ScreenTotals& Get() const { return totals_; }
  ScreenInfo& Record(std::size_t i) { return table_[i]; }

 private:
  static void Fill(ScreenInfo& r, const Screen& s, char* dot) {
    r.dot = dot;
    r.lpi = s.lpi;
    r.ang = s.ang;
    r.scrtype = s.scrtype;
    r.coverage = s.coverage;
    r.bound_l = s.l;
    r.bound_t = s.t;
    r.bound_r = s.r;
    r.bound_b = s.b;
  }
  std::vector<ScreenInfo> table_;
  std::vector<std::string> names_;
  ScreenInfo other_[2] = {};
  ScreenTotals totals_;
};

constexpr PageGeometry kPage{1000, 500, false};
constexpr PageGeometry kMirroredPage{1000, 500, true};

// The tag value (text and zero byte) written for totals.
std::string Tag(const ScreenTotals& totals, const PageGeometry& page = kPage) {
  MemorySink sink;
  EXPECT_EQ(dravout::write_screeninfo_tag(dravout::TagOutput{sink, Message}, page, totals), 0);
  EXPECT_EQ(sink.order, std::vector<std::string>{"_KVT_RIPINFO0"});
  return sink.values["_KVT_RIPINFO0"];
}

std::string Z(const std::string& text) { return text + std::string(1, '\0'); }

class ScreenInfoTagTest : public ::testing::Test {
 protected:
  void SetUp() override { Reports::Clear(); }
};

TEST_F(ScreenInfoTagTest, NoTotalsGiveThePlainSolidDummy) {
  // What an extension that was never registered hands over.
  const std::string tag = Tag(ScreenTotals{});
  EXPECT_EQ(tag, Z("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID\n"));
  EXPECT_EQ(tag.size(), 40u);
  EXPECT_TRUE(Reports::Has(3, "TAV NO extended screen tag: Known screens=0"));
  EXPECT_TRUE(Reports::Has(2, "No Kivo-screens in separation, dummy TAV tag added"));
}

TEST_F(ScreenInfoTagTest, PlainFormWithScreensUpperCasesTheTableItself) {
  Totals t({{"ellipse", 150, 45, 1}, {"ps-round", 85, 15, 2}, {"line", 120, 0, 16}}, /*counted=*/false);
  EXPECT_EQ(Tag(t.Get()), Z("COUNT=2\nLC=150.000000 A=45.000000 S=ELLIPSE\nLC=120.000000 A=0.000000 S=LINE\n"));
  EXPECT_STREQ(t.Record(0).dot, "ELLIPSE");
  EXPECT_STREQ(t.Record(1).dot, "ps-round");
  EXPECT_TRUE(Reports::Has(3, "TAV NO extended screen tag: Known screens=2"));
}

TEST_F(ScreenInfoTagTest, ExtendedFormDummiesCarryTheSolids) {
  struct Case {
    const char* what;
    Screen solids;
    std::string tag;
  };
  const Case cases[] = {
      {"no solids", {}, "COUNT=1\nLC=1.000000 A=0.000000 S=SOLID COV=0.000000 AREA=0,0,0,0\n"},
      {"a quarter solid",
       {nullptr, 0, 0, 0, 125000, 0, 0, 500, 250},
       "COUNT=1\nLC=1.000000 A=0.000000 S=SOLID COV=0.250000 AREA=0,0,500,250\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reports::Clear();
    // An own screen without pixels is no line: the dummy carries the solids.
    Totals t({{"round", 150, 45, 1}}, /*counted=*/true, {}, {}, c.solids);
    EXPECT_EQ(Tag(t.Get()), Z(c.tag));
    EXPECT_TRUE(
        Reports::Has(2, "No Kivo-screens, PS-screens nor Copydot found in separation, dummy TAV tag added"));
  }
  EXPECT_TRUE(Reports::Has(3, "TAV extended screen tag: Solid coverage =0.250, bound: l=0,t=0,r=500,b=250"));
}

TEST_F(ScreenInfoTagTest, ExtendedFormOrderCountsAndMerges) {
  // Own screens with pixels (one without: no line), a foreign screen with and
  // one without pixels, unknown runs, copydot and solids (not reported).
  Totals t({{"round", 150, 45, 1, 50000, 10, 20, 110, 120},
            {"ellipse", 133, 15, 8, 0},
            {"ps", 85, 0, 3, 1000, 0, 0, 100, 10},
            {"line", 120, 90, 16, 250000, 0, 0, 1000, 499},
            {"ps2", 60, 0, 4, 0}},
           true, {nullptr, 0, 0, 0, 500, 5, 400, 50, 450}, {nullptr, 0, 0, 0, 2000, 100, 100, 200, 200},
           {nullptr, 0, 0, 0, 9999, 0, 0, 10, 10});
  EXPECT_EQ(Tag(t.Get()), Z("COUNT=4\n"
                            "LC=150.000000 A=45.000000 S=ROUND COV=0.100000 AREA=10,20,110,120\n"
                            "LC=120.000000 A=90.000000 S=LINE COV=0.500000 AREA=0,0,1000,499\n"
                            "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.003000 AREA=0,0,100,450\n"
                            "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=100,100,200,200\n"));
  EXPECT_TRUE(Reports::Has(2, "Some runs contained unknown screens! Surface=500, Bounds=(t=400,l=5,b=450,r=50)"));
  EXPECT_TRUE(
      Reports::Has(3, "TAV extended screen tag: Known screens=2, coverage=0.600, bound: l=0,t=0,r=1000,b=499"));
  EXPECT_TRUE(Reports::Has(3, "TAV extended screen tag: Foreign screens coverage=0.003, bound: l=0,t=0,r=100,b=450"));
  EXPECT_TRUE(Reports::Has(3, "TAV extended screen tag: Copydot coverage=0.004, bound:l=100,t=100,r=200,b=200"));
  // The foreign record was merged into the unknown-screens record.
  EXPECT_EQ(t.Record(5).coverage, 1500);

  // Only a foreign screen without pixels: a single UNKNOWN line of nothing.
  Totals foreign({{"ps", 85, 0, 2, 0}}, true);
  EXPECT_EQ(Tag(foreign.Get()), Z("COUNT=1\nLC=0.000000 A=0.000000 S=UNKNOWN COV=0.000000 AREA=0,0,0,0\n"));
}

TEST_F(ScreenInfoTagTest, CoverageAreaMirroringAndOverflows) {
  struct Case {
    const char* what;
    Screen screen;
    PageGeometry page;
    double fraction;
    int32_t l, t, r, b;
  };
  const Case cases[] = {
      {"as stored", {"a", 1, 0, 1, 100, 10, 2, 110, 40}, kPage, 0.0002, 10, 2, 110, 40},
      {"mirrored", {"a", 1, 0, 1, 100, 10, 2, 110, 40}, kMirroredPage, 0.0002, 890, 2, 990, 40},
      {"right and bottom edges pass", {"a", 1, 0, 1, 5, 0, 0, 1000, 500}, kPage, 0.00001, 0, 0, 1000, 500},
      {"nothing counted", {"a", 1, 0, 1, 0, 10, 2, 110, 40}, kPage, 0.0, 0, 0, 0, 0},
      {"left outside: whole page", {"a", 1, 0, 1, 10, -1, 0, 5, 5}, kMirroredPage, 0.00002, 0, 0, 999, 499},
      {"bottom outside: whole page", {"a", 1, 0, 1, 10, 0, 0, 5, 501}, kPage, 0.00002, 0, 0, 999, 499},
      {"more pixels than the page", {"a", 1, 0, 1, 600000, 0, 0, 10, 10}, kPage, 1.0, 0, 0, 10, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Totals t({c.screen}, true);
    double fraction = -1.0;
    int32_t l = -1, top = -1, r = -1, b = -1;
    EXPECT_EQ(dravout::screen_coverage(t.Record(0), c.page, Message, &fraction, &l, &top, &r, &b), 0);
    EXPECT_DOUBLE_EQ(fraction, c.fraction);
    EXPECT_EQ(l, c.l);
    EXPECT_EQ(top, c.t);
    EXPECT_EQ(r, c.r);
    EXPECT_EQ(b, c.b);
  }
  EXPECT_TRUE(Reports::Has(2, "Coverage overflow=1.200 (set to 1.0), screen=a,0.0,1.0"));
  EXPECT_TRUE(Reports::Has(2, "screen bound overflow: l=-1, t=0, r=5, b=5 (set to 0,0,0,0)"));

  // Records without a dot name are named by what they stand for.
  Reports::Clear();
  Totals copydot({}, true, {}, {nullptr, 0, 0, 0, 600000, 0, 0, 10, 10});
  Tag(copydot.Get());
  EXPECT_TRUE(Reports::Has(2, "Coverage overflow=1.200 (set to 1.0), screen=CPP,0.0,0.0"));
}

TEST_F(ScreenInfoTagTest, LongLinesAreCutAndNumbersStayInTheCLocale) {
  locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  // A ruling of 1e250 makes a line of more than 255 characters.
  Totals t({{"round", 1e250, 45.5, 1}, {"dot", 2.5, 0, 1}}, false);
  const std::string before = std::setlocale(LC_ALL, nullptr);
  locale_t previous = comma != static_cast<locale_t>(0) ? uselocale(comma) : static_cast<locale_t>(0);
  const std::string tag = Tag(t.Get());
  if (comma != static_cast<locale_t>(0)) {
    EXPECT_EQ(uselocale(previous), comma);  // the caller's locale is back
    freelocale(comma);
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);  // the process locale is untouched
  char line[512];
  std::snprintf(line, sizeof line, "LC=%f A=45.500000 S=ROUND\n", 1e250);
  const std::string cut = std::string(line).substr(0, 255);
  EXPECT_EQ(tag, Z("COUNT=2\n" + cut + "LC=2.500000 A=0.000000 S=DOT\n"));
  EXPECT_TRUE(Reports::HasFormat(2, "TAV tag line too long (truncated to %d bytes): =>%s"));
}

TEST_F(ScreenInfoTagTest, ARefusedTagGivesTheSinksResult) {
  MemorySink sink;
  sink.result = -5;
  EXPECT_EQ(dravout::write_screeninfo_tag(dravout::TagOutput{sink, nullptr}, kPage, ScreenTotals{}), -5);
}

}  // namespace
}  // namespace tags_test
