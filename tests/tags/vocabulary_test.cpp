// The tag vocabulary: screen lines read back exactly as written, texts of
// other forms refused, scrambling undone, scrambled tags recognised.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tag_vocabulary.h"

namespace {

using tagvocab::ScreenArea;
using tagvocab::ScreenLine;

struct Written {
  double ruling, angle;
  const char* name;
  bool counted;
  double coverage;
  ScreenArea area;
};

// Builds a tag text of the lines as the writer formats them.
std::string Text(const std::vector<Written>& lines) {
  std::string text = tagvocab::count_line(static_cast<int>(lines.size()));
  for (const Written& w : lines) {
    tagvocab::ScreenLineBuffer line;
    const int n = w.counted ? tagvocab::format_counted_line(line, w.ruling, w.angle, w.name, w.coverage, w.area)
                            : tagvocab::format_plain_line(line, w.ruling, w.angle, w.name);
    EXPECT_GT(n, 0);
    text += line;
  }
  return text;
}

TEST(TagVocabulary, ScreenLinesReadBackAsWritten) {
  const std::vector<Written> lines = {
      {150.0, 45.0, "ROUND", false, 0.0, {}},
      {1.0, 0.0, tagvocab::kSolidName, true, 0.25, {0, 0, 500, 250}},
      {133.5, 7.5, "ND00", true, 0.000125, {890, 3, 990, 499}},
      {0.0, 0.0, tagvocab::kUnknownName, true, 1.0, {0, 0, 999, 499}},
      {85.0, -15.0, "DOT WITH BLANKS", false, 0.0, {}},
  };
  const std::string text = Text(lines);
  const std::string head = "COUNT=5\nLC=150.000000 A=45.000000 S=ROUND\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  const auto read = tagvocab::parse_screen_info(text);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    const ScreenLine& r = (*read)[i];
    EXPECT_EQ(r.ruling, lines[i].ruling);
    EXPECT_EQ(r.angle, lines[i].angle);
    EXPECT_EQ(r.name, lines[i].name);
    EXPECT_EQ(r.counted, lines[i].counted);
    EXPECT_DOUBLE_EQ(r.coverage, lines[i].coverage);
    EXPECT_EQ(r.left, lines[i].area.left);
    EXPECT_EQ(r.top, lines[i].area.top);
    EXPECT_EQ(r.right, lines[i].area.right);
    EXPECT_EQ(r.bottom, lines[i].area.bottom);
  }
}

TEST(TagVocabulary, TextsOfAnotherFormAreRefused) {
  tagvocab::ScreenLineBuffer line;
  const int n = tagvocab::format_plain_line(line, 1e250, 0.0, "ROUND");  // cut at 255 characters
  EXPECT_GT(n, tagvocab::kScreenLineLimit);
  const std::string cut = "COUNT=1\n" + std::string(line);
  const char* texts[] = {
      "",
      "COUNT=\n",
      "COUNT=1\n",                                                  // a line missing
      "COUNT=1\nLC=1.000000 A=0.000000\n",                          // no name
      "COUNT=1\nLC=1.000000 A=0.000000 S=X COV=0.5 AREA=1,2,3\n",  // three numbers of area
      "COUNT=1\nLC=1.000000 A=0.000000 S=X COV=0.5 AREA=1,2,3,4 more\n",
      "COUNT=1\nLC=one A=0.000000 S=X\n",
      cut.c_str(),
  };
  for (const char* text : texts) EXPECT_FALSE(tagvocab::parse_screen_info(text)) << text;
}

TEST(TagVocabulary, ScramblingIsUndoneAndNamesTheScrambledTags) {
  const std::string t = "VSHFT=0 HSHFT=0\nROT=0\n";
  const std::string texts[] = {"", "a", std::string("with\0zero", 9), std::string(100, 'x'), t};
  for (const std::string& clear : texts) {
    const std::string scrambled = tagvocab::scramble(clear, t);
    ASSERT_EQ(scrambled.size(), clear.size());
    std::vector<uint8_t> value(scrambled.begin(), scrambled.end());
    value.push_back(0);  // the tag value ends in one zero byte
    EXPECT_EQ(tagvocab::unscramble(value, t), clear);
  }
  // Byte i goes with the transformation text read backwards.
  const std::string s = tagvocab::scramble("ab", "xyz");
  EXPECT_EQ(s[0], 'a' ^ 'z');
  EXPECT_EQ(s[1], 'b' ^ 'y');
  EXPECT_EQ(tagvocab::scramble("abc", ""), "abc");

  EXPECT_EQ(tagvocab::cad_tag_name("Die Cut"), "_KVT_CAD_Die Cut");
  EXPECT_TRUE(tagvocab::is_scrambled_tag(tagvocab::kStaggeredCutTag));
  EXPECT_TRUE(tagvocab::is_scrambled_tag(tagvocab::cad_tag_name("")));
  EXPECT_FALSE(tagvocab::is_scrambled_tag(tagvocab::kStaggerTag));
  EXPECT_FALSE(tagvocab::is_scrambled_tag(tagvocab::kTransformationTag));
  EXPECT_FALSE(tagvocab::is_scrambled_tag("_KVT_CA"));
}

}  // namespace
