// options_test.cpp - starting and ending the library, its option lists, and
// the feedback to the host.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dravoututil.h"
#include "fake_host.h"

namespace {

// The entries of a null-key-terminated option list.
std::vector<std::pair<std::string, int32_t>> entries_of(const DravOptionDecl* list) {
  std::vector<std::pair<std::string, int32_t>> entries;
  for (; list->key != nullptr; ++list) entries.emplace_back(list->key, list->type);
  EXPECT_EQ(list->type, 0);
  return entries;
}

using Entries = std::vector<std::pair<std::string, int32_t>>;

TEST(Init, RefusesMissingHostAndGivesTheLibraryOptions) {
  DravOptionDecl* options = nullptr;
  EXPECT_EQ(dravoututil_init(nullptr, 0, &options), nullptr);
  EXPECT_EQ(options, nullptr);

  FakeHost host;
  DravOutUtil* util = dravoututil_init(host.callbacks(), 0, &options);
  ASSERT_NE(util, nullptr);
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(entries_of(options), (Entries{{"DEVICEDIR", DRAV_OPT_STRING},
                                          {"JOBNAME", DRAV_OPT_STRING},
                                          {"OUTDIR", DRAV_OPT_STRING}}));
  dravoututil_end(util);
  dravoututil_end(nullptr);  // accepted
}

TEST(MergeOptions, ListsUtilOptionsFirstAndEveryKeyOnce) {
  FakeHost host;
  DravOptionDecl* util_options = nullptr;
  DravOutUtil* util = dravoututil_init(host.callbacks(), 0, &util_options);
  ASSERT_NE(util, nullptr);

  // Keys in buffers that end before the merged list is read: the list must
  // own its keys.
  auto keys = std::make_unique<std::vector<std::string>>(
      std::vector<std::string>{"RES", "outdir", "OFORMAT", "RES", "CONF"});
  std::vector<DravOptionDecl> declared;
  declared.push_back({(*keys)[0].c_str(), DRAV_OPT_REAL});
  declared.push_back({(*keys)[1].c_str(), DRAV_OPT_INTEGER});  // util's key in other case
  declared.push_back({(*keys)[2].c_str(), DRAV_OPT_STRING});
  declared.push_back({(*keys)[3].c_str(), DRAV_OPT_INTEGER});  // repeated
  declared.push_back({(*keys)[4].c_str(), DRAV_OPT_STRING});
  declared.push_back({nullptr, 0});

  DravOptionDecl* merged = dravoututil_mergeoptions(util, util_options, declared.data());
  ASSERT_NE(merged, nullptr);
  keys.reset();
  declared.clear();
  EXPECT_EQ(entries_of(merged), (Entries{{"DEVICEDIR", DRAV_OPT_STRING},
                                         {"JOBNAME", DRAV_OPT_STRING},
                                         {"OUTDIR", DRAV_OPT_STRING},
                                         {"RES", DRAV_OPT_REAL},
                                         {"OFORMAT", DRAV_OPT_STRING},
                                         {"CONF", DRAV_OPT_STRING}}));

  // A second list leaves the first one valid.
  DravOptionDecl only_util[] = {{nullptr, 0}};
  DravOptionDecl* second = dravoututil_mergeoptions(util, util_options, only_util);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(entries_of(second).size(), 3u);
  EXPECT_EQ(entries_of(merged).size(), 6u);
  dravoututil_end(util);
}

TEST(MergeOptions, AcceptsMissingListsAndRefusesMissingHandle) {
  FakeHost host;
  DravOptionDecl* util_options = nullptr;
  DravOutUtil* util = dravoututil_init(host.callbacks(), 0, &util_options);
  DravOptionDecl* merged = dravoututil_mergeoptions(util, nullptr, nullptr);
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->key, nullptr);
  EXPECT_EQ(dravoututil_mergeoptions(nullptr, util_options, nullptr), nullptr);
  dravoututil_end(util);
}

TEST(Feedback, ReachesTheHostsFileDoneSlot) {
  FakeHost host;
  DravOutUtil* util = dravoututil_init(host.callbacks(), 0, nullptr);
  ASSERT_NE(util, nullptr);
  dravoututil_feedback(util, "/out/job-20240101-120000.tav", 0);
  ASSERT_EQ(host.files.size(), 1u);
  EXPECT_EQ(host.files[0].path, "/out/job-20240101-120000.tav");
  EXPECT_EQ(host.files[0].kind, 0);

  // A missing name or slot is passed over, not called.
  dravoututil_feedback(util, nullptr, 0);
  host.callbacks()->file_done = nullptr;
  dravoututil_feedback(util, "/out/x.tav", 0);
  dravoututil_feedback(nullptr, "/out/x.tav", 0);
  EXPECT_EQ(host.files.size(), 1u);
  dravoututil_end(util);
}

}  // namespace
