// options_test.cpp - option lookups through the store and the C callbacks,
// and the option check against a declared list.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/host_callbacks.h"
#include "driver/option_check.h"
#include "driver/option_store.h"
#include "test_support.h"
#include "ticket/ticket.h"

namespace {

using riphost::OptionSet;
using riphost::OptionStore;

OptionSet make_set(std::initializer_list<std::pair<const char*, riphost::OptionValue>> values) {
  OptionSet set;
  for (const auto& [key, value] : values) set.add(key, value, std::string("at.") + key);
  return set;
}

class OptionStoreTest : public ::testing::Test {
 protected:
  OptionSet ticket_ = make_set({{"RES", std::int64_t{1200}}, {"CONF", std::string("ticket")}, {"LEFT", 1.0}});
  OptionSet job_ = make_set({{"conf", std::string("job")}, {"REVERSE", 2.5}});
  OptionSet page_ = make_set({{"Conf", std::string("page")}, {"BIG", std::int64_t{1} << 40}});
  OptionSet separation_ = make_set({{"CONF", std::string("separation")}, {"outputpage", std::int64_t{0}}});
  OptionStore store_;
};

TEST_F(OptionStoreTest, InnermostLevelWinsWithoutRegardToCase) {
  char text[DRAV_OPTION_TEXT_SIZE];
  store_.set_ticket(&ticket_);
  ASSERT_TRUE(store_.get_string("conf", text));
  EXPECT_STREQ(text, "ticket");
  store_.set_job(&job_);
  ASSERT_TRUE(store_.get_string("CONF", text));
  EXPECT_STREQ(text, "job");
  store_.set_page(&page_);
  ASSERT_TRUE(store_.get_string("cOnF", text));
  EXPECT_STREQ(text, "page");
  store_.set_separation(&separation_);
  ASSERT_TRUE(store_.get_string("CONF", text));
  EXPECT_STREQ(text, "separation");
  int outputpage = 7;
  ASSERT_TRUE(store_.get_int("OUTPUTPAGE", outputpage));
  EXPECT_EQ(outputpage, 0);
  // Leaving the separation uncovers the page again.
  store_.set_separation(nullptr);
  ASSERT_TRUE(store_.get_string("CONF", text));
  EXPECT_STREQ(text, "page");
  EXPECT_EQ(store_.find("outputpage"), nullptr);
}

TEST_F(OptionStoreTest, HostTextsComeLast) {
  store_.set_ticket(&ticket_);
  store_.set_host_text("JOBNAME", "one");
  store_.set_host_text("jobname", "two");  // replaces, whatever the case
  char text[DRAV_OPTION_TEXT_SIZE];
  ASSERT_TRUE(store_.get_string("JobName", text));
  EXPECT_STREQ(text, "two");
}

TEST_F(OptionStoreTest, ConversionRules) {
  store_.set_ticket(&ticket_);
  store_.set_job(&job_);
  store_.set_page(&page_);
  int integer = -1;
  double real = -1.0;
  char text[DRAV_OPTION_TEXT_SIZE] = "untouched";
  // An integer asked as a real is converted.
  ASSERT_TRUE(store_.get_real("RES", real));
  EXPECT_EQ(real, 1200.0);
  // An integral real asked as an integer is taken, a fraction is refused.
  ASSERT_TRUE(store_.get_int("LEFT", integer));
  EXPECT_EQ(integer, 1);
  integer = -1;
  EXPECT_FALSE(store_.get_int("REVERSE", integer));
  EXPECT_EQ(integer, -1);
  // An integer beyond int is refused; a text is no number; a number no text.
  EXPECT_FALSE(store_.get_int("BIG", integer));
  EXPECT_TRUE(store_.get_real("BIG", real));
  EXPECT_FALSE(store_.get_int("CONF", integer));
  EXPECT_FALSE(store_.get_real("CONF", real));
  EXPECT_FALSE(store_.get_string("RES", text));
  EXPECT_STREQ(text, "untouched");
  EXPECT_FALSE(store_.get_int("ABSENT", integer));
  EXPECT_EQ(integer, -1);
}

TEST_F(OptionStoreTest, StringNeverWritesPastTheBuffer) {
  OptionSet texts = make_set({{"FULL", std::string(255, 'x')}, {"LONG", std::string(256, 'y')}});
  store_.set_ticket(&texts);
  char area[DRAV_OPTION_TEXT_SIZE + 16];
  std::memset(area, '#', sizeof area);
  ASSERT_TRUE(store_.get_string("FULL", area));
  EXPECT_EQ(std::strlen(area), 255u);
  for (std::size_t i = DRAV_OPTION_TEXT_SIZE; i < sizeof area; ++i) EXPECT_EQ(area[i], '#');
  // A text that does not fit is refused, never cut.
  std::memset(area, '#', sizeof area);
  EXPECT_FALSE(store_.get_string("LONG", area));
  EXPECT_EQ(area[0], '#');
}

TEST_F(OptionStoreTest, CallbacksReachTheCurrentSession) {
  HostCallbacks callbacks = riphost::make_host_callbacks();
  int integer = 0;
  char text[DRAV_OPTION_TEXT_SIZE];
  // No session: nothing is found.
  EXPECT_EQ(callbacks.get_int_option("RES", &integer), 0);
  store_.set_ticket(&ticket_);
  std::FILE* sink_file = std::tmpfile();
  riphost::MessageSink sink(sink_file, sink_file, false);
  riphost::HostSession session(store_, sink);
  {
    riphost::ScopedSession scope(session);
    EXPECT_NE(callbacks.get_int_option("res", &integer), 0);
    EXPECT_EQ(integer, 1200);
    double real = 0;
    EXPECT_NE(callbacks.get_real_option("Res", &real), 0);
    EXPECT_EQ(real, 1200.0);
    EXPECT_NE(callbacks.get_string_option("conf", text), 0);
    EXPECT_STREQ(text, "ticket");
    EXPECT_EQ(callbacks.get_string_option(nullptr, text), 0);
    EXPECT_EQ(callbacks.get_int_option("RES", nullptr), 0);
    callbacks.file_done("/out/a.tav", 0);
    callbacks.file_done(nullptr, 0);
  }
  EXPECT_EQ(callbacks.get_real_option("RES", nullptr), 0);
  ASSERT_EQ(session.files().size(), 1u);
  EXPECT_EQ(session.files()[0], "/out/a.tav");
  std::fclose(sink_file);
}

// The option check, against a list like the plug-in's merged one.
class OptionCheckTest : public ::testing::Test {
 protected:
  static constexpr DravOptionDecl kMerged[] = {
      {"CONF", DRAV_OPT_STRING}, {"LEFT", DRAV_OPT_INTEGER}, {"RES", DRAV_OPT_REAL}, {nullptr, 0}};

  void SetUp() override {
    std::filesystem::create_directory(dir_ / "dev");
  }

  std::vector<std::string> check(const std::string& options_json, const std::string& separation_options = "{}") {
    std::string text = R"({"device": "dev", "output": "out", "options": )" + options_json +
                       R"(, "jobs": [{"name": "j", "pages": [{"width": 8, "height": 2, "separations": [
                            {"name": "K", "pattern": "ramp", "options": )" + separation_options + "}]}]}]}";
    riphost::Ticket ticket = riphost::parse_ticket(text, dir_.path());
    return riphost::check_options(ticket, kMerged);
  }

  riphost_test::TempDir dir_;
};

TEST_F(OptionCheckTest, AcceptsDeclaredAndHostOptions) {
  EXPECT_TRUE(check(R"({"conf": "x", "Left": 1, "RES": 2400, "ROT": 2, "SCALE": "1.0", "JOB_MBOT": 3,
                        "dravout_addpngpreview": 1, "T": 0})").empty());
  EXPECT_TRUE(check(R"({"RES": 2400.5, "LEFT": 2.0})", R"({"outputpage": 1, "SHREXP": "10000 10000"})").empty());
}

TEST_F(OptionCheckTest, ReportsUnknownAndIllTypedOptions) {
  std::vector<std::string> problems =
      check(R"({"RESS": 1, "LEFT": "yes", "RES": "high", "CONF": 4, "ROT": 1.5, "JOB_MLFT": "a"})",
            R"({"outputpage": 4000000000})");
  ASSERT_EQ(problems.size(), 7u);
  EXPECT_EQ(problems[0], "options: unknown option \"RESS\" (did you mean RES?)");
  EXPECT_EQ(problems[1], "options.LEFT: LEFT expects an integer, found a text");
  EXPECT_EQ(problems[2], "options.RES: RES expects a real, found a text");
  EXPECT_EQ(problems[3], "options.CONF: CONF expects a text, found a number");
  EXPECT_EQ(problems[4], "options.ROT: ROT expects an integer, found a fraction (1.5)");
  EXPECT_EQ(problems[5], "options.JOB_MLFT: JOB_MLFT expects a real, found a text");
  EXPECT_EQ(problems[6],
            "jobs[0].pages[0].separations[0].options.outputpage: outputpage expects an integer, found one out of range");
}

TEST_F(OptionCheckTest, WithoutAListOnlyHostParametersAreKnown) {
  riphost::Ticket ticket;
  ticket.options.add("ROT", std::int64_t{1}, "options.ROT");
  ticket.options.add("LEFT", std::int64_t{1}, "options.LEFT");
  std::vector<std::string> problems = riphost::check_options(ticket, nullptr);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "options: unknown option \"LEFT\"");
}

TEST_F(OptionCheckTest, UnknownOptionsGetTheNearestKnownOne) {
  static constexpr DravOptionDecl kPlugin[] = {
      {"OFORMAT", DRAV_OPT_STRING}, {"OCOMPRESS", DRAV_OPT_STRING}, {"LEFT", DRAV_OPT_INTEGER}, {nullptr, 0}};
  using riphost::nearest_option;
  EXPECT_EQ(nearest_option("OFORMT", kPlugin), "OFORMAT");          // one letter left out
  EXPECT_EQ(nearest_option("oformta", kPlugin), "OFORMAT");         // two swapped, any case
  EXPECT_EQ(nearest_option("OCOMPRES", kPlugin), "OCOMPRESS");
  EXPECT_EQ(nearest_option("LFET", kPlugin), "LEFT");
  EXPECT_EQ(nearest_option("ROTT", kPlugin), "ROT");                // the host's table counts too
  EXPECT_EQ(nearest_option("dravout_addpngpreveiw", kPlugin), "dravout_addpngpreview");
  // Too far, or too short to tell: no guess.
  EXPECT_EQ(nearest_option("OFMT", kPlugin), "");
  EXPECT_EQ(nearest_option("X", kPlugin), "");
  EXPECT_EQ(nearest_option("LEFTMARGIN", kPlugin), "");
  EXPECT_EQ(nearest_option(std::string(5000, 'L'), kPlugin), "");
  // The keys riphost sets itself are never offered.
  EXPECT_EQ(nearest_option("OUTDIRS", nullptr), "");
  EXPECT_EQ(nearest_option("JOBNAM", nullptr), "");

  // In the check: the place is the options object, the key in quotes.
  std::vector<std::string> problems =
      check(R"({"CONFF": "x", "Lfet": 1, "QQQQ": 2})", R"({"outputpag": 0})");
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0], "options: unknown option \"CONFF\" (did you mean CONF?)");
  EXPECT_EQ(problems[1], "options: unknown option \"Lfet\" (did you mean LEFT?)");
  EXPECT_EQ(problems[2], "options: unknown option \"QQQQ\"");
  EXPECT_EQ(problems[3], "jobs[0].pages[0].separations[0].options: unknown option \"outputpag\" (did you mean outputpage?)");
}

}  // namespace
