// ticket_limits_test.cpp - a ticket that is large or hostile: every value
// costs the same whatever came before, lists and the number of values and
// problems are bounded, and each bound is reported with its place.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "test_support.h"
#include "ticket/ticket.h"
#include "ticket/ticket_json.h"

namespace {

using riphost_test::TempDir;
using Json = nlohmann::ordered_json;

// A valid ticket of one job, one page, one pattern separation.
Json small_ticket() {
  return Json::parse(R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": [
      {"width": 8, "height": 8, "separations": [{"name": "K", "pattern": "bars"}]}]}]})");
}

// The values of json as the parser counts them: every number, text, list
// and object once.
std::size_t count_values(const Json& json) {
  std::size_t count = 1;
  if (json.is_structured()) {
    for (const Json& item : json) count += count_values(item);
  }
  return count;
}

class TicketLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(dir_ / "dev"); }

  // The problems of a ticket text.
  std::vector<std::string> problems_of(const std::string& text) {
    std::vector<std::string> problems;
    riphost::check_ticket_text(text, dir_.path(), {}, problems);
    return problems;
  }

  TempDir dir_;
};

// A list of n empty objects as text.
std::string empty_objects(std::size_t n) {
  std::string text = "[";
  for (std::size_t i = 0; i < n; ++i) text += i == 0 ? "{}" : ",{}";
  return text + "]";
}

// The ticket with a "comment" list of n zeros (text built directly: a tree of
// a million values takes long to dump).
std::string with_zeros(const Json& ticket, std::size_t n) {
  std::string text = ticket.dump();
  std::string zeros = "[";
  zeros.reserve(2 * n + 2);
  for (std::size_t i = 0; i < n; ++i) zeros += i == 0 ? "0" : ",0";
  text.insert(text.size() - 1, ",\"comment\":" + zeros + "]");
  return text;
}

TEST_F(TicketLimitsTest, ValuesUpToTheBoundAreReadAndOneMoreIsRefused) {
  // The ticket's own values, the comment list, and zeros up to the bound.
  const Json ticket = small_ticket();
  const std::size_t room = riphost::kMaxJsonValues - count_values(ticket) - 1;
  EXPECT_EQ(problems_of(with_zeros(ticket, room)), std::vector<std::string>{});
  const std::vector<std::string> problems = problems_of(with_zeros(ticket, room + 1));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "comment[" + std::to_string(room) + "]: the ticket holds more than " +
                             std::to_string(riphost::kMaxJsonValues) + " values (numbers, texts, lists and objects)");
}

TEST_F(TicketLimitsTest, LargeObjectsKeepTheirOrderAndFindTheFirstRepeat) {
  std::string text = "{";
  for (int i = 0; i < 200000; ++i) text += (i == 0 ? "\"k" : ",\"k") + std::to_string(i) + "\":" + std::to_string(i);
  Json parsed = riphost::parse_json(text + "}");
  ASSERT_EQ(parsed.size(), 200000u);
  EXPECT_EQ(parsed.begin().key(), "k0");
  auto last = parsed.end();
  --last;
  EXPECT_EQ(last.key(), "k199999");
  EXPECT_EQ(parsed["k1234"], 1234);
  // Several repeats: the first one in the text is named, with its place.
  EXPECT_THROW(
      {
        try {
          riphost::parse_json("{\"a\": [{}, {\"x\": " + text + ",\"k77\":0,\"k5\":1,\"k77\":2}}]}");
        } catch (const riphost::HostError& error) {
          EXPECT_STREQ(error.what(), "a[1].x.k77: key given twice");
          throw;
        }
      },
      riphost::HostError);
}

// A list beyond its bound is one problem naming the list; nothing of it is read.
struct ListCase {
  const char* name;
  std::string (*make)();
  std::string problem;
};

// A failing case is named, not dumped byte by byte.
void PrintTo(const ListCase& list, std::ostream* out) { *out << list.name; }

std::string too_many_jobs() {
  Json ticket = small_ticket();
  std::string text = ticket.dump();
  std::string jobs = empty_objects(riphost::kMaxJobs + 1);
  return text.substr(0, text.find("\"jobs\":")) + "\"jobs\":" + jobs + "}";
}

std::string too_many_pages() {
  std::string pages = empty_objects(riphost::kMaxPages + 1);
  return R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": )" + pages + "}]}";
}

std::string too_many_separations() {
  Json ticket = small_ticket();
  Json& separations = ticket["jobs"][0]["pages"][0]["separations"];
  for (std::size_t i = 0; i < riphost::kMaxSeparations; ++i) separations.push_back(separations[0]);
  return ticket.dump();
}

std::string too_many_options() {
  Json ticket = small_ticket();
  for (std::size_t i = 0; i <= riphost::kMaxOptions; ++i) ticket["jobs"][0]["options"]["O" + std::to_string(i)] = 1;
  return ticket.dump();
}

class TicketListBounds : public TicketLimitsTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(TicketListBounds, AListBeyondItsBoundIsOneProblem) {
  const ListCase& list = GetParam();
  EXPECT_EQ(problems_of(list.make()), std::vector<std::string>{list.problem});
}

INSTANTIATE_TEST_SUITE_P(
    Lists, TicketListBounds,
    ::testing::Values(ListCase{"jobs", too_many_jobs, "jobs: more than 4096 jobs"},
                      ListCase{"pages", too_many_pages, "jobs[0].pages: more than 65536 pages"},
                      ListCase{"separations", too_many_separations,
                               "jobs[0].pages[0].separations: more than 1024 separations"},
                      ListCase{"options", too_many_options, "jobs[0].options: more than 1024 options"}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

TEST_F(TicketLimitsTest, TheCheckStopsAfterTheLastProblemListed) {
  // Each page without separations is one problem; far more pages than that.
  const std::vector<std::string> problems =
      problems_of(R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": )" + empty_objects(5000) +
                  "}]}");
  ASSERT_EQ(problems.size(), riphost::kMaxProblems + 1);
  EXPECT_EQ(problems[0], "jobs[0].pages[0].separations: missing");
  EXPECT_EQ(problems[riphost::kMaxProblems - 1], "jobs[0].pages[999].separations: missing");
  EXPECT_EQ(problems.back(), "the ticket: more than 1000 problems; the check stopped here");
}

TEST_F(TicketLimitsTest, UnknownScreenNamesListTheFirstKnownOnes) {
  Json ticket = small_ticket();
  for (int i = 0; i < 40; ++i) ticket["screens"].push_back({{"name", "s" + std::to_string(i)}, {"ruling", 100}, {"angle", 0}});
  ticket["jobs"][0]["pages"][0]["separations"][0]["screens"] = {"s39", "nope"};
  const std::vector<std::string> problems = problems_of(ticket.dump());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("jobs[0].pages[0].separations[0].screens[1]: unknown screen \"nope\" (known: s0, s1, ", 0),
            0u);
  EXPECT_NE(problems[0].find(", s31 and 8 more)"), std::string::npos) << problems[0];
}

}  // namespace
