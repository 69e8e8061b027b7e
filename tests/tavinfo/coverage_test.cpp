// tavinfo's ink coverage: the total from the pixels, the parts from the
// screen-information tag, the solids as the rest when the tag leaves them
// out; in the text listing and in --json.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tag_vocabulary.h"
#include "tav.h"
#include "tavinfo_coverage.h"

#ifndef TAVINFO_PATH
#error "TAVINFO_PATH must name the tavinfo program"
#endif

namespace {

using tavinfo::InkPart;
using Lines = std::optional<std::vector<tagvocab::ScreenLine>>;

Lines Parse(const char* text) { return tagvocab::parse_screen_info(text); }

tavinfo::PixelStats Pixels(uint64_t set, uint64_t total) {
  tavinfo::PixelStats p;
  p.set = set;
  p.total = total;
  return p;
}

TEST(InkCoverage, TotalFromPixelsPartsFromTheTag) {
  struct Part {
    InkPart::Kind kind;
    double share;
    bool remainder;
  };
  struct Case {
    const char* what;
    uint64_t set;
    int mode;
    Lines lines;
    double share;
    std::vector<Part> parts;
  };
  const Case cases[] = {
      {"no tag: the total only", 4095, 0x11, std::nullopt, 0.4095, {}},
      {"plain form: no shares", 4095, 0x11, Parse("COUNT=1\nLC=150.000000 A=45.000000 S=ROUND\n"), 0.4095, {}},
      {"screens, other screens and copydot: solids are the rest",
       4095,
       0x13,
       Parse("COUNT=3\nLC=150.000000 A=45.000000 S=ROUND COV=0.300000 AREA=0,0,10,10\n"
             "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.010000 AREA=0,0,1,1\n"
             "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=0,0,1,1\n"),
       0.4095,
       {{InkPart::Kind::screen, 0.3, false},
        {InkPart::Kind::other_screens, 0.01, false},
        {InkPart::Kind::copydot, 0.004, false},
        {InkPart::Kind::solids, 0.0955, true}}},
      {"only solids: the tag's own figure",
       2500,
       0x11,
       Parse("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID COV=0.250000 AREA=0,0,100,25\n"),
       0.25,
       {{InkPart::Kind::solids, 0.25, false}}},
      {"screens covering more than the pixels: no negative rest",
       1000,
       0x11,
       Parse("COUNT=1\nLC=150.000000 A=45.000000 S=ROUND COV=0.200000 AREA=0,0,10,10\n"),
       0.1,
       {{InkPart::Kind::screen, 0.2, false}, {InkPart::Kind::solids, 0.0, true}}},
      {"stored reversed: the ink is where pixels are clear", 7500, 0x19, std::nullopt, 0.25, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const tavinfo::InkCoverage got = tavinfo::SummarizeCoverage(Pixels(c.set, 10000), c.mode, c.lines);
    EXPECT_DOUBLE_EQ(got.share, c.share);
    EXPECT_EQ(got.page_pixels, 10000u);
    EXPECT_EQ(got.counted, !c.parts.empty());
    ASSERT_EQ(got.parts.size(), c.parts.size());
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      EXPECT_EQ(got.parts[i].kind, c.parts[i].kind) << i;
      EXPECT_NEAR(got.parts[i].share, c.parts[i].share, 1e-12) << i;
      EXPECT_EQ(got.parts[i].remainder, c.parts[i].remainder) << i;
    }
  }
}

TEST(InkCoverage, ListedTotalFirstThenTheParts) {
  const tavinfo::InkCoverage c = tavinfo::SummarizeCoverage(
      Pixels(4095, 10000), 0x11,
      Parse("COUNT=2\nLC=150.000000 A=45.000000 S=ROUND COV=0.300000 AREA=0,0,10,10\n"
            "LC=0.000000 A=0.000000 S=CPP COV=0.004000 AREA=0,0,1,1\n"));
  EXPECT_EQ(tavinfo::DescribeCoverage(c),
            (std::vector<std::string>{
                "Ink:          40.95 % of the page (4095 of 10000 pixels)",
                "  ROUND  150.0 lpi at 45.0 deg  30.00 %",
                "  copydot                        0.40 %",
                "  solids                        10.55 %  (the rest of the ink: the screen-information tag leaves "
                "solids out when it lists screens)",
            }));
  const tavinfo::InkCoverage plain =
      tavinfo::SummarizeCoverage(Pixels(10, 100), 0x11, Parse("COUNT=1\nLC=150.000000 A=45.000000 S=ROUND\n"));
  EXPECT_EQ(tavinfo::DescribeCoverage(plain),
            (std::vector<std::string>{"Ink:          10.00 % of the page (10 of 100 pixels)",
                                      "  (no parts: the screen-information tag lists the screens without shares, "
                                      "as the runs were not counted)"}));
  EXPECT_EQ(tavinfo::DescribeCoverage(tavinfo::SummarizeCoverage(Pixels(75, 100), 0x19, std::nullopt)),
            (std::vector<std::string>{
                "Ink:          25.00 % of the page (25 of 100 pixels; stored reversed, so the clear ones)"}));
  EXPECT_EQ(tavinfo::DescribeOrientation(0x13), "stored mirrored (right-reading when exposed)");
  EXPECT_EQ(tavinfo::DescribeOrientation(0x11), "stored as rendered (not mirrored)");
}

// tavinfo run on a mirrored file of 16 x 4 pixels, half of them set, with a
// counted screen-information tag.
class TavinfoCoverage : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavinfo_coverage_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "plate.tav").string();
    TavFile* file = tav_fopenw(path_.c_str(), TAV_FORMAT_FW8B, TAV_COMPRESS_NONE, 0x13, 4, 16, 1.0, 1.0);
    ASSERT_NE(file, nullptr);
    const uint8_t half[4] = {0xFF, 0x00, 0, 0};  // 8 of 16 pixels
    for (int y = 0; y < 4; ++y) ASSERT_EQ(tav_putrow(file, y, half), 0);
    const std::string tag =
        "COUNT=2\nLC=150.000000 A=45.000000 S=ROUND COV=0.250000 AREA=0,0,8,4\n"
        "LC=0.000000 A=0.000000 S=CPP COV=0.125000 AREA=0,0,8,4\n";
    ASSERT_EQ(tav_puttag(file, tagvocab::kScreenInfoTag, static_cast<int>(tag.size() + 1), tag.c_str()), 0);
    ASSERT_EQ(tav_fclose(file), 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The standard output of tavinfo with args.
  std::string Run(const std::string& args) {
    std::string out;
    FILE* pipe = popen((std::string(TAVINFO_PATH) + " " + args + " 2>&1").c_str(), "r");
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << out;
    return out;
  }

  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(TavinfoCoverage, TextListingAndJsonGiveTheSameFigures) {
  const std::string text = Run("'" + path_ + "'");
  for (const char* line : {
           "Orientation:  stored mirrored (right-reading when exposed); a PNG preview reads right\n",
           "Container:    TIFF\nInk:          50.00 % of the page (32 of 64 pixels)\n",
           "  ROUND  150.0 lpi at 45.0 deg  25.00 %\n",
           "  copydot                       12.50 %\n",
           "  solids                        12.50 %  (the rest of the ink",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "in:\n" << text;
  }

  const nlohmann::json doc = nlohmann::json::parse(Run("--json '" + path_ + "'"));
  EXPECT_EQ(doc["orientation"], "stored mirrored (right-reading when exposed)");
  const nlohmann::json& c = doc["coverage"];
  EXPECT_DOUBLE_EQ(c["ink_share"].get<double>(), 0.5);
  EXPECT_EQ(c["ink_pixels"], 32);
  EXPECT_EQ(c["page_pixels"], 64);
  EXPECT_EQ(c["counted"], true);
  ASSERT_EQ(c["parts"].size(), 3u);
  EXPECT_EQ(c["parts"][0]["kind"], "screen");
  EXPECT_EQ(c["parts"][0]["name"], "ROUND");
  EXPECT_DOUBLE_EQ(c["parts"][0]["share"].get<double>(), 0.25);
  EXPECT_EQ(c["parts"][1]["kind"], "copydot");
  EXPECT_EQ(c["parts"][2]["kind"], "solids");
  EXPECT_DOUBLE_EQ(c["parts"][2]["share"].get<double>(), 0.125);
  EXPECT_EQ(c["parts"][2]["remainder"], true);
}

}  // namespace
