// The nesting guard and the number reader, directly.
#include <string>

#include <gtest/gtest.h>

#include "xmp_text.h"

namespace {

std::string Nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<e a='1'>";
  for (int i = 0; i < levels; ++i) text += "</e>";
  return text;
}

TEST(XmpText, NestingGuardCountsElementsOnly) {
  using dravxmp::NestingWithin;
  EXPECT_TRUE(NestingWithin(Nested(5), 5));
  EXPECT_FALSE(NestingWithin(Nested(6), 5));
  EXPECT_TRUE(NestingWithin("", 0));
  // Siblings, empty elements and closed elements do not add up.
  EXPECT_TRUE(NestingWithin("<a><b/><b/><b></b><b x=\"/\"></b></a>", 2));
  EXPECT_FALSE(NestingWithin("<a><b x=\"/\"><c></c></b></a>", 2));
  // '<' inside comments, CDATA, processing instructions and attribute
  // values is no element.
  EXPECT_TRUE(NestingWithin("<a><!-- <b><c><d> --><![CDATA[<b><c><d>]]><?pi <b><c>?></a>", 1));
  EXPECT_TRUE(NestingWithin("<a t='<b><c>' u=\"x>y<z\"></a>", 1));
  // Stray end tags do not make later levels free.
  EXPECT_FALSE(NestingWithin("</x></x></x>" + Nested(4), 3));
  // Unterminated markup ends the count without reading past the text.
  EXPECT_TRUE(NestingWithin("<a><b", 1));
  EXPECT_TRUE(NestingWithin("<a><!-- never closed <b><c>", 1));
  EXPECT_TRUE(NestingWithin("<a x='never closed><b><c>", 1));
}

TEST(XmpText, WrapKeepsDeclarationInFront) {
  using dravxmp::WrapInXmpMeta;
  const std::string open = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">";
  EXPECT_EQ(WrapInXmpMeta("<r/>"), open + "<r/></x:xmpmeta>");
  EXPECT_EQ(WrapInXmpMeta("\xEF\xBB\xBF<?xml version='1.0'?>\n<r/>"),
            "\xEF\xBB\xBF<?xml version='1.0'?>" + open + "\n<r/></x:xmpmeta>");
  // Other processing instructions may stay inside the element.
  EXPECT_EQ(WrapInXmpMeta("<?xpacket begin=''?><r/>"), open + "<?xpacket begin=''?><r/></x:xmpmeta>");
  EXPECT_EQ(WrapInXmpMeta("<?xml-stylesheet href='a'?><r/>"),
            open + "<?xml-stylesheet href='a'?><r/></x:xmpmeta>");
  // An unterminated declaration is left where it is (Exempi refuses it).
  EXPECT_EQ(WrapInXmpMeta("<?xml version='1.0'"), open + "<?xml version='1.0'</x:xmpmeta>");
}

TEST(XmpText, ReadNumberIsLocaleFreeAndStrict) {
  using dravxmp::ReadNumber;
  EXPECT_DOUBLE_EQ(ReadNumber("150"), 150.0);
  EXPECT_DOUBLE_EQ(ReadNumber(" 133.5\n"), 133.5);
  EXPECT_DOUBLE_EQ(ReadNumber("-45"), -45.0);
  EXPECT_DOUBLE_EQ(ReadNumber("+7.5"), 7.5);
  EXPECT_DOUBLE_EQ(ReadNumber(".5"), 0.5);
  EXPECT_DOUBLE_EQ(ReadNumber("2.5e1"), 25.0);
  const char* bad[] = {"", " ", "+", "-", "+-1", "++1", "12,5", "1.5x", "x1", "1 2",
                       "inf", "-inf", "nan", "1e400", "0x1p3"};
  for (const char* text : bad) EXPECT_EQ(ReadNumber(text), 0.0) << text;
}

}  // namespace
