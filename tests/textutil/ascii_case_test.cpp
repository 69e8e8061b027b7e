// ASCII case folding: only A-Z and a-z are alike, whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "ascii_case.h"

namespace {

struct Pair {
  const char* a;
  const char* b;
  bool equal;
};

TEST(AsciiCase, EqualIgnoringCaseFoldsOnlyAsciiLetters) {
  const Pair cases[] = {
      {"FW88B", "fw88b", true},
      {"SCPAll", "scpall", true},
      {"", "", true},
      {"Plate-A", "PLATE-A", true},
      {"Plate-A", "Plate-A ", false},   // length differs
      {"Plate", "Plate-A", false},      // a prefix is not equal
      {"[", "{", false},                // '[' + 32 is '{': no folding outside letters
      {"@", "`", false},
      {"\xC3\xA9", "\xC3\x89", false},  // é and É: UTF-8 bytes compare exactly
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9", true},
  };
  for (const Pair& c : cases) {
    EXPECT_EQ(textutil::equal_ignoring_case(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(textutil::equal_ignoring_case(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(AsciiCase, PrefixAndUpperCasing) {
  EXPECT_TRUE(textutil::starts_with_ignoring_case("Scp12", "scp"));
  EXPECT_TRUE(textutil::starts_with_ignoring_case("CCP", "ccp"));
  EXPECT_FALSE(textutil::starts_with_ignoring_case("sc", "scp"));
  EXPECT_FALSE(textutil::starts_with_ignoring_case("xscp", "scp"));

  // Upper-casing in a locale whose rules differ from ASCII still changes
  // a-z only; other bytes stay as they are.
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  char dot[] = "ellipse-\xC3\xA4{z}9";
  textutil::upper_case(dot);
  EXPECT_STREQ(dot, "ELLIPSE-\xC3\xA4{Z}9");
  textutil::upper_case(nullptr);
  std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
