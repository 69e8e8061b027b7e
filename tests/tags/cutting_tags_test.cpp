// The transformation and cutting tags from explicit texts and inks, without
// a plug-in: which staggered cut a separation gets, CAD tags per ink, and
// texts that cannot be formatted.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cutting_tags.h"
#include "tag_capture.h"
#include "tag_vocabulary.h"

namespace tags_test {
namespace {

using dravout::CuttingTexts;
using dravout::Transformation;

constexpr Transformation kDefault{0, 0, 1.0, 1.0, 0, 1, 1.0, 1.0};
const std::string kT =
    "VSHFT=0 HSHFT=0\nVSCAL=1.000000 HSCAL=1.000000\nROT=0\nMIRROR=1\nVDIST=1.000000 HDIST=1.000000\n";

std::vector<XMPlInk> Inks(std::vector<std::string> cad_names) {
  std::vector<XMPlInk> inks(cad_names.size());
  for (std::size_t i = 0; i < inks.size(); ++i) inks[i].cad_name = cad_names[i];
  return inks;
}

class CuttingTagsTest : public ::testing::Test {
 protected:
  void SetUp() override { Reports::Clear(); }
  std::vector<std::string> stagger_ = std::vector<std::string>(64);
  std::vector<std::string> cad_ = std::vector<std::string>(64);
  uint64_t reported_ = 0;
};

TEST_F(CuttingTagsTest, TheStaggeredCutOfTheFirstInkElseTheCommonOne) {
  struct Case {
    const char* what;
    std::vector<int32_t> sep_inks;
    bool common;        // an "SCPAll" text in slot 0
    const char* clear;  // the staggered cut written, or null for none
  };
  const Case cases[] = {
      {"first ink has its own", {3, 2}, true, "INK3"},
      {"first ink has none: the common one", {2, 3}, true, "ALL"},
      {"first ink has none, nor a common one", {2, 3}, false, nullptr},
      {"no inks", {}, true, nullptr},
      {"ink beyond the slots: the common one", {70}, true, "ALL"},
      {"negative ink: the common one", {-1}, true, "ALL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stagger_.assign(64, "");
    stagger_[3] = "INK3";
    if (c.common) stagger_[0] = "ALL";
    const std::vector<XMPlInk> inks = Inks({"A", "B", "C"});
    MemorySink sink;
    const int result = dravout::write_cutting_tags(dravout::TagOutput{sink, Message}, kDefault,
                                                   CuttingTexts{c.sep_inks, stagger_, cad_, inks, reported_});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sink.values[tagvocab::kTransformationTag], kT + '\0');
    if (c.clear == nullptr) {
      EXPECT_EQ(sink.values.count(tagvocab::kStaggeredCutTag), 0u);
    } else {
      EXPECT_EQ(sink.values[tagvocab::kStaggeredCutTag], tagvocab::scramble(c.clear, kT) + '\0');
    }
  }
}

TEST_F(CuttingTagsTest, CadTagsPerInkAndTextsOfMissingInksReportedOnce) {
  cad_[1] = "CYAN-CAD";
  cad_[3] = "YELLOW-CAD";
  cad_[5] = "NO SUCH INK";
  const std::vector<int32_t> sep_inks = {1};
  const std::vector<XMPlInk> inks = Inks({"C", "M", "Y"});
  for (int separation = 0; separation < 2; ++separation) {
    MemorySink sink;
    sink.result = separation == 0 ? 0 : -2;  // refused tags make the result negative; all are still tried
    const int result = dravout::write_cutting_tags(dravout::TagOutput{sink, Message}, kDefault,
                                                   CuttingTexts{sep_inks, stagger_, cad_, inks, reported_});
    EXPECT_EQ(result, separation == 0 ? 0 : -2);
    EXPECT_EQ(sink.order, (std::vector<std::string>{"_KVT_TRANSFORMATION", "_KVT_CAD_C", "_KVT_CAD_Y"}));
    EXPECT_EQ(sink.values["_KVT_CAD_Y"], tagvocab::scramble("YELLOW-CAD", kT) + '\0');
  }
  EXPECT_EQ(Reports::Count(2), 1);
  EXPECT_TRUE(Reports::Has(2, "CAD cutting text for ink 5 ignored: the page has 3 inks"));
  EXPECT_EQ(reported_, uint64_t{1} << 5);
}

TEST_F(CuttingTagsTest, StaggerTagAndTextsThatCannotFit) {
  MemorySink sink;
  const dravout::TagOutput out{sink, Message};
  EXPECT_EQ(dravout::write_stagger_tag(out, kDefault, "ALL-CUT"), 0);
  EXPECT_EQ(sink.values[tagvocab::kStaggerTag], kT + "ALL-CUT" + '\0');

  // Hundreds of digits, four times: more than the 1024 bytes.
  Transformation huge = kDefault;
  huge.vscale = huge.hscale = huge.vdist = huge.hdist = 1e300;
  std::string t;
  EXPECT_FALSE(dravout::transformation_text(huge, &t));
  const std::vector<int32_t> sep_inks;
  const std::vector<XMPlInk> inks;
  sink.values.clear();
  EXPECT_EQ(dravout::write_cutting_tags(out, huge, CuttingTexts{sep_inks, stagger_, cad_, inks, reported_}), 17);
  EXPECT_TRUE(Reports::Has(1, "DRAVOUT: Could not write transformation info"));
  EXPECT_TRUE(sink.values.empty());
  // The staggered-cutting tag's buffer grows with its text: it still fits.
  EXPECT_EQ(dravout::write_stagger_tag(out, kDefault, std::string(5000, 'c').c_str()), 0);
  EXPECT_EQ(sink.values[tagvocab::kStaggerTag].size(), kT.size() + 5000 + 1);
  EXPECT_EQ(dravout::write_stagger_tag(out, huge, ""), 17);
  EXPECT_TRUE(Reports::Has(1, "DRAVOUT: Could not write Staggered Cutting info"));
}

}  // namespace
}  // namespace tags_test
