// Tests of CUnivType: conversions and their messages, deep copies, moves and
// assignments whose source lives inside the destination.
#include "drav_dict.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::StrEq;
using testing::ThrowsMessage;
using Kind = CUnivType::Kind;

TEST(UnivType, ConversionsAcceptOnlyTheirKind) {
  EXPECT_EQ(CUnivType(7).AsInt(), 7);
  EXPECT_DOUBLE_EQ(CUnivType(7).AsReal(), 7.0);  // integers widen
  EXPECT_DOUBLE_EQ(CUnivType(2.5).AsReal(), 2.5);
  EXPECT_EQ(CUnivType("cyan").AsText(), "cyan");
  EXPECT_EQ(CUnivType(static_cast<const char*>(nullptr)).AsText(), "");

  EXPECT_THAT([] { CUnivType("x").AsInt(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected an integer, found a text")));
  EXPECT_THAT([] { CUnivType(1.5).AsInt(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected an integer, found a real")));
  EXPECT_THAT([] { CUnivType().AsReal(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected a real, found undefined")));
  EXPECT_THAT([] { CUnivType(3).AsText(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected a text, found an integer")));
  EXPECT_THAT([] { CUnivType(CStringKeyDict()).AsList(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected a list, found a dictionary")));
  EXPECT_THAT([] { CUnivType(CUnivType::List{}).AsDict(); },
              ThrowsMessage<CUnivBaseException>(StrEq("Expected a dictionary, found a list")));
}

TEST(UnivType, ReassignmentChangesKind) {
  CUnivType value("text");
  value = 4;
  EXPECT_EQ(value.GetKind(), Kind::Integer);
  value = 0.25;
  EXPECT_EQ(value.GetKind(), Kind::Real);
  value = CUnivType::List{1, "two"};
  ASSERT_EQ(value.GetKind(), Kind::List);
  EXPECT_EQ(value.AsList()[1].AsText(), "two");
  value = std::string("back");
  EXPECT_EQ(value.AsText(), "back");
}

TEST(UnivType, CopyIsDeepAndMoveEmptiesSource) {
  CStringKeyDict inner;
  inner["n"] = 1;
  CUnivType original(CUnivType::List{CUnivType(inner)});

  CUnivType copy(original);
  copy.AsList()[0].AsDict()["n"] = 2;
  CUnivType assigned;
  assigned = original;
  assigned.AsList().push_back(3);
  EXPECT_EQ(original.AsList().size(), 1u);
  EXPECT_EQ(original.AsList()[0].AsDict().GetInt("n"), 1);

  CUnivType moved(std::move(copy));
  EXPECT_EQ(copy.GetKind(), Kind::Undefined);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.AsList()[0].AsDict().GetInt("n"), 2);
  CUnivType text("abc");
  moved = std::move(text);
  EXPECT_EQ(text.GetKind(), Kind::Undefined);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.AsText(), "abc");
}

// Sources that are part of the destination must be read before the
// destination drops its old value (AddressSanitizer reports the fault).
TEST(UnivType, AssignmentFromOwnPartIsSafe) {
  CUnivType list(CUnivType::List{CUnivType(CUnivType::List{5, 6}), 7});
  list = list.AsList()[0];
  ASSERT_EQ(list.AsList().size(), 2u);
  EXPECT_EQ(list.AsList()[1].AsInt(), 6);

  CUnivType nested(CUnivType::List{CUnivType("inner")});
  nested = std::move(nested.AsList()[0]);
  EXPECT_EQ(nested.AsText(), "inner");

  CStringKeyDict dict;
  dict["sub"] = CStringKeyDict();
  dict["sub"].AsDict()["k"] = "v";
  CUnivType holder(dict);
  holder = holder.AsDict().GetDict("sub");
  EXPECT_EQ(holder.AsDict().GetText("k"), "v");

  CUnivType text("a longer text than the small-string buffer holds");
  text = text.AsText().c_str();
  EXPECT_EQ(text.AsText(), "a longer text than the small-string buffer holds");
}

}  // namespace
