// tavinfo's reading of the screen-information tag.
#include <gtest/gtest.h>

#include "tavinfo_tags.h"

namespace {

using tavinfo::ParseScreenInfo;

TEST(ScreenInfoText, BothFormsReadBackAndDescribe) {
  const auto plain = ParseScreenInfo("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID\n");
  ASSERT_TRUE(plain);
  ASSERT_EQ(plain->size(), 1u);
  EXPECT_EQ((*plain)[0].name, "SOLID");
  EXPECT_FALSE((*plain)[0].counted);

  const auto extended = ParseScreenInfo(
      "COUNT=3\n"
      "LC=150.000000 A=45.000000 S=ROUND COV=0.125000 AREA=10,20,110,120\n"
      "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.000000 AREA=0,0,0,0\n"
      "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=100,100,200,200\n");
  ASSERT_TRUE(extended);
  ASSERT_EQ(extended->size(), 3u);
  const tavinfo::ScreenLine& round = (*extended)[0];
  EXPECT_EQ(round.ruling, 150.0);
  EXPECT_EQ(round.angle, 45.0);
  EXPECT_EQ(round.coverage, 0.125);
  EXPECT_EQ(round.right, 110);
  const auto text = tavinfo::DescribeScreenInfo(*extended);
  EXPECT_EQ(text[0], "ROUND  150.0 lpi at 45.0 deg: 12.50 % of the page, pixels 10,20 to 110,120");
  EXPECT_EQ(text[1], "UNKNOWN  (screens not in the selection, or foreign screens): 0.00 % of the page");
  EXPECT_EQ(text[2], "CPP  (copydot): 0.40 % of the page, pixels 100,100 to 200,200");

  // Texts of another form, a wrong count, or a cut line are not decoded.
  EXPECT_FALSE(ParseScreenInfo("hello"));
  EXPECT_FALSE(ParseScreenInfo("COUNT=2\nLC=1.000000 A=0.000000 S=SOLID\n"));
  EXPECT_FALSE(ParseScreenInfo("COUNT=1\nLC=1.000000 A=0.000000 S=X COV=0.5 AREA=1,2,3\n"));
}

}  // namespace
