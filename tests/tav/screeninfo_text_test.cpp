// tavinfo's reading of the plug-in's own tags: screens and cutting texts.
#include <gtest/gtest.h>

#include "tag_vocabulary.h"
#include "tavinfo_tags.h"

namespace {

using tagvocab::parse_screen_info;

TEST(ScreenInfoText, BothFormsReadBackAndDescribe) {
  const auto plain = parse_screen_info("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID\n");
  ASSERT_TRUE(plain);
  ASSERT_EQ(plain->size(), 1u);
  EXPECT_EQ((*plain)[0].name, "SOLID");
  EXPECT_FALSE((*plain)[0].counted);

  const auto extended = parse_screen_info(
      "COUNT=3\n"
      "LC=150.000000 A=45.000000 S=ROUND COV=0.125000 AREA=10,20,110,120\n"
      "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.000000 AREA=0,0,0,0\n"
      "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=100,100,200,200\n");
  ASSERT_TRUE(extended);
  ASSERT_EQ(extended->size(), 3u);
  const tagvocab::ScreenLine& round = (*extended)[0];
  EXPECT_EQ(round.ruling, 150.0);
  EXPECT_EQ(round.angle, 45.0);
  EXPECT_EQ(round.coverage, 0.125);
  EXPECT_EQ(round.right, 110);
  const auto text = tavinfo::DescribeScreenInfo(*extended);
  EXPECT_EQ(text[0], "ROUND  150.0 lpi at 45.0 deg: 12.50 % of the page, pixels 10,20 to 110,120");
  EXPECT_EQ(text[1], "UNKNOWN  (screens not in the selection, or foreign screens): 0.00 % of the page");
  EXPECT_EQ(text[2], "CPP  (copydot): 0.40 % of the page, pixels 100,100 to 200,200");

  // Texts of another form, a wrong count, or a cut line are not decoded.
  EXPECT_FALSE(parse_screen_info("hello"));
  EXPECT_FALSE(parse_screen_info("COUNT=2\nLC=1.000000 A=0.000000 S=SOLID\n"));
  EXPECT_FALSE(parse_screen_info("COUNT=1\nLC=1.000000 A=0.000000 S=X COV=0.5 AREA=1,2,3\n"));
}

TEST(CuttingText, ScrambledTagsReadBackInClear) {
  const std::string t = "VSHFT=0 HSHFT=0\nROT=0\n";
  const std::string clear = "CUT 10,20 30,40; a text longer than the transformation text itself";
  std::vector<uint8_t> value;
  for (std::size_t i = 0; i < clear.size(); ++i) {
    value.push_back(static_cast<uint8_t>(clear[i] ^ t[t.size() - 1 - i % t.size()]));
  }
  value.push_back(0);
  EXPECT_EQ(tagvocab::unscramble(value, t), clear);
  EXPECT_TRUE(tagvocab::is_scrambled_tag("_KVT_STAGGEREDCUT"));
  EXPECT_TRUE(tagvocab::is_scrambled_tag("_KVT_CAD_Die Cut"));
  EXPECT_FALSE(tagvocab::is_scrambled_tag("_KVT_STAGGER"));
  EXPECT_FALSE(tagvocab::is_scrambled_tag("_KVT_TRANSFORMATION"));
}

TEST(PreviewValue, ThePngWithoutItsPadding) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3,
                              0,    0,   0,   0,   'I',  'E',  'N',  'D', 0xAE, 0x42, 0x60, 0x82};
  for (int padding = 0; padding <= 3; ++padding) {
    std::vector<uint8_t> value = png;
    value.resize(png.size() + static_cast<std::size_t>(padding), 0);
    EXPECT_EQ(tavinfo::PreviewPng(value), png) << padding;
  }
  EXPECT_TRUE(tavinfo::PreviewPng({1, 2, 3}).empty());
  std::vector<uint8_t> cut(png.begin(), png.end() - 1);
  EXPECT_TRUE(tavinfo::PreviewPng(cut).empty());
}

}  // namespace
