// Tests of CDictContainerFactory ownership and of CUnivBaseException crossing
// the shared-library boundary.
#include "drav_dict.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

namespace {

using testing::HasSubstr;
using testing::StrEq;
using testing::ThrowsMessage;

TEST(DictContainerFactory, ContainerHoldsACopyAndItsName) {
  CDictContainerFactory factory;
  CStringKeyDict dict;
  dict["bps"] = 8;
  CDictContainer* job = factory.NewDictContainer(dict, "job");
  dict["bps"] = 16;
  EXPECT_EQ(job->GetName(), "job");
  EXPECT_EQ(job->GetDict().GetInt("bps"), 8);
  job->GetDict()["added"] = 1;
  EXPECT_TRUE(job->GetDict().Has("added"));

  CDictContainer* unnamed = factory.NewDictContainer(dict, nullptr);
  EXPECT_EQ(unnamed->GetName(), "");
  EXPECT_EQ(factory.Count(), 2u);
}

TEST(DictContainerFactory, DeletesOnlyItsOwnLiveContainers) {
  CDictContainerFactory factory;
  CDictContainerFactory other;
  CDictContainer* mine = factory.NewDictContainer(CStringKeyDict(), "mine");
  CDictContainer* theirs = other.NewDictContainer(CStringKeyDict(), "theirs");

  EXPECT_THAT([&] { factory.DeleteDictContainer(nullptr); },
              ThrowsMessage<CUnivBaseException>(StrEq("Unknown dictionary container")));
  EXPECT_THROW(factory.DeleteDictContainer(theirs), CUnivBaseException);
  EXPECT_EQ(other.Count(), 1u);
  EXPECT_EQ(theirs->GetName(), "theirs");  // still alive (ASan would report otherwise)

  factory.DeleteDictContainer(mine);
  EXPECT_EQ(factory.Count(), 0u);
  EXPECT_THROW(factory.DeleteDictContainer(mine), CUnivBaseException);  // deleted twice
  other.DeleteDictContainer(theirs);
  EXPECT_EQ(other.Count(), 0u);
}

TEST(DictContainerFactory, DestructorFreesContainersStillAlive) {
  // LeakSanitizer fails this test when the factory forgets any of them.
  auto factory = std::make_unique<CDictContainerFactory>();
  CStringKeyDict dict;
  dict["list"] = CUnivType::List{CUnivType("a"), CUnivType(CStringKeyDict())};
  for (int i = 0; i < 3; ++i) factory->NewDictContainer(dict, "page");
  factory->DeleteDictContainer(factory->NewDictContainer(dict, "gone"));
  EXPECT_EQ(factory->Count(), 3u);
  factory.reset();
}

TEST(UnivBaseException, IsCaughtByTypeAcrossTheLibraryBoundary) {
  const CStringKeyDict dict;
  try {
    dict.GetInt("ppi");  // thrown inside libdravdict.so
    FAIL() << "no exception";
  } catch (const CUnivBaseException& e) {
    EXPECT_EQ(e.GetMessage(), "Key 'ppi' not found");
    EXPECT_STREQ(e.what(), "Key 'ppi' not found");
  }
  // The library's typeinfo and ours are one object, not two equal copies.
  try {
    dict.GetText("k");
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_EQ(&typeid(e), &typeid(CUnivBaseException));
    EXPECT_THAT(e.what(), HasSubstr("'k'"));
  }
}

}  // namespace
