// Tests of CStringKeyDict: typed reads and their messages, GetItem, order of
// entries, deep copies and assignments from inside the destination.
#include "drav_dict.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;
using Kind = CUnivType::Kind;

// A dictionary with one value of every kind.
CStringKeyDict Sample() {
  CStringKeyDict dict;
  dict["bps"] = 8;
  dict["ppi"] = 600.5;
  dict["name"] = "Black";
  dict["list"] = CUnivType::List{1, 2};
  CStringKeyDict sub;
  sub["x"] = 1;
  dict["sub"] = sub;
  return dict;
}

// Returns the keys in order.
std::vector<std::string> Keys(const CStringKeyDict& dict) {
  std::vector<std::string> keys;
  for (const auto& entry : dict.Entries()) keys.push_back(entry.first);
  return keys;
}

TEST(StringKeyDict, TypedReadsReturnValues) {
  const CStringKeyDict dict = Sample();
  EXPECT_EQ(dict.GetInt("bps"), 8);
  EXPECT_DOUBLE_EQ(dict.GetReal("ppi"), 600.5);
  EXPECT_DOUBLE_EQ(dict.GetReal("bps"), 8.0);  // integers widen
  EXPECT_EQ(dict.GetText("name"), "Black");
  EXPECT_EQ(dict.GetList("list").size(), 2u);
  EXPECT_EQ(dict.GetDict("sub").GetInt("x"), 1);
  EXPECT_EQ(dict["bps"].AsInt(), 8);
}

TEST(StringKeyDict, TypedReadsNameTheKeyInTheirMessage) {
  const CStringKeyDict dict = Sample();
  EXPECT_THAT([&] { dict.GetInt("missing"); },
              ThrowsMessage<CUnivBaseException>(StrEq("Key 'missing' not found")));
  EXPECT_THAT([&] { dict["missing"]; },
              ThrowsMessage<CUnivBaseException>(StrEq("Key 'missing' not found")));
  EXPECT_THAT([&] { dict.GetInt("ppi"); },
              ThrowsMessage<CUnivBaseException>(
                  StrEq("Key 'ppi': expected an integer, found a real")));
  EXPECT_THAT([&] { dict.GetReal("name"); },
              ThrowsMessage<CUnivBaseException>(StrEq("Key 'name': expected a real, found a text")));
  EXPECT_THAT([&] { dict.GetText("list"); },
              ThrowsMessage<CUnivBaseException>(StrEq("Key 'list': expected a text, found a list")));
  EXPECT_THAT([&] { dict.GetList("sub"); },
              ThrowsMessage<CUnivBaseException>(
                  StrEq("Key 'sub': expected a list, found a dictionary")));
  EXPECT_THAT([&] { dict.GetDict("bps"); },
              ThrowsMessage<CUnivBaseException>(
                  StrEq("Key 'bps': expected a dictionary, found an integer")));
  EXPECT_THAT([&] { dict.GetInt("Bps"); },  // keys keep their case
              ThrowsMessage<CUnivBaseException>(StrEq("Key 'Bps' not found")));
}

TEST(StringKeyDict, GetItemDeliversOrLeavesOutputUntouched) {
  const CStringKeyDict dict = Sample();
  int i = -1;
  double d = -1.0;
  std::string s = "keep";
  CUnivType::List l{CUnivType(9)};
  CStringKeyDict sub;
  sub["keep"] = 1;

  EXPECT_EQ(dict.GetItem("missing", i), UD_KEY_NOT_FOUND);
  EXPECT_EQ(dict.GetItem("ppi", i), UD_WRONG_TYPE);
  EXPECT_EQ(dict.GetItem("name", d), UD_WRONG_TYPE);
  EXPECT_EQ(dict.GetItem("bps", s), UD_WRONG_TYPE);
  EXPECT_EQ(dict.GetItem("sub", l), UD_WRONG_TYPE);
  EXPECT_EQ(dict.GetItem("list", sub), UD_WRONG_TYPE);
  EXPECT_EQ(i, -1);
  EXPECT_EQ(d, -1.0);
  EXPECT_EQ(s, "keep");
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].AsInt(), 9);
  EXPECT_THAT(Keys(sub), ElementsAre("keep"));

  EXPECT_EQ(dict.GetItem("bps", i), UD_OK);
  EXPECT_EQ(i, 8);
  EXPECT_EQ(dict.GetItem("bps", d), UD_OK);  // integers widen
  EXPECT_EQ(d, 8.0);
  EXPECT_EQ(dict.GetItem("name", s), UD_OK);
  EXPECT_EQ(s, "Black");
  EXPECT_EQ(dict.GetItem("list", l), UD_OK);
  EXPECT_EQ(l.size(), 2u);
  EXPECT_EQ(dict.GetItem("sub", sub), UD_OK);
  EXPECT_THAT(Keys(sub), ElementsAre("x"));
}

TEST(StringKeyDict, EntriesKeepInsertionOrder) {
  CStringKeyDict dict;
  dict["zeta"] = 1;
  dict["alpha"] = 2;
  dict["mid"] = 3;
  dict["zeta"] = 4;  // an existing key keeps its place
  EXPECT_THAT(Keys(dict), ElementsAre("zeta", "alpha", "mid"));
  EXPECT_EQ(dict.GetInt("zeta"), 4);

  CUnivType& created = dict["new"];
  EXPECT_EQ(created.GetKind(), Kind::Undefined);
  EXPECT_TRUE(dict.Has("new"));
  EXPECT_EQ(dict.Size(), 4u);

  EXPECT_TRUE(dict.Remove("alpha"));
  EXPECT_FALSE(dict.Remove("alpha"));
  EXPECT_FALSE(dict.Has("alpha"));
  EXPECT_THAT(Keys(dict), ElementsAre("zeta", "mid", "new"));
}

TEST(StringKeyDict, CopiesAreDeepAtEveryLevel) {
  // A list inside a dictionary inside a list inside the dictionary.
  CStringKeyDict inner;
  inner["values"] = CUnivType::List{1, 2};
  CStringKeyDict original;
  original["outer"] = CUnivType::List{CUnivType(inner)};

  CStringKeyDict copy(original);
  copy["outer"].AsList()[0].AsDict()["values"].AsList().push_back(3);
  CStringKeyDict assigned;
  assigned = original;
  assigned["outer"].AsList()[0].AsDict()["values"].AsList()[0] = 42;
  inner["values"] = "changed";  // the original took a copy too

  const CUnivType::List& values = original.GetList("outer")[0].AsDict().GetList("values");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].AsInt(), 1);
  EXPECT_EQ(copy.GetList("outer")[0].AsDict().GetList("values").size(), 3u);

  CStringKeyDict moved(std::move(copy));
  EXPECT_EQ(copy.Size(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(moved.Has("outer"));
  assigned = std::move(moved);
  EXPECT_EQ(moved.Size(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(assigned.GetList("outer")[0].AsDict().GetList("values").size(), 3u);
}

// A dictionary whose first entry is a dictionary of three entries, the shape
// that makes an element-wise assignment read a freed source.
CStringKeyDict Nested() {
  CStringKeyDict sub;
  sub["a"] = 1;
  sub["b"] = "two";
  sub["c"] = CUnivType::List{3};
  CStringKeyDict dict;
  dict["sub"] = sub;
  dict["tail"] = 0;
  return dict;
}

// Sources that are part of the destination must be read before the
// destination drops its old entries (AddressSanitizer reports the fault).
TEST(StringKeyDict, AssignmentFromOwnPartIsSafe) {
  CStringKeyDict dict = Nested();
  dict = dict.GetDict("sub");
  EXPECT_THAT(Keys(dict), ElementsAre("a", "b", "c"));

  dict = Nested();
  dict = std::move(dict["sub"].AsDict());
  EXPECT_THAT(Keys(dict), ElementsAre("a", "b", "c"));

  dict = Nested();
  EXPECT_EQ(dict.GetItem("sub", dict), UD_OK);
  EXPECT_THAT(Keys(dict), ElementsAre("a", "b", "c"));

  CStringKeyDict holder;
  holder["list"] = CUnivType::List{1, 2, 3};
  CUnivType::List outer;
  outer.reserve(8);
  outer.emplace_back(holder);
  outer.emplace_back(4);
  EXPECT_EQ(outer[0].AsDict().GetItem("list", outer), UD_OK);
  ASSERT_EQ(outer.size(), 3u);
  EXPECT_EQ(outer[2].AsInt(), 3);
}

}  // namespace
