// inks_test.cpp - XMP packets, inks, requested screens and cutting texts from
// the ticket to the plug-in, and riphost --query against the fake and the
// real plug-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "driver/containers.h"
#include "common/host_error.h"
#include "test_support.h"
#include "ticket/ticket.h"

namespace {

using riphost::HostError;
using riphost::Ticket;
using riphost_test::FakePluginEnv;
using riphost_test::read_lines;
using riphost_test::RunResult;
using riphost_test::TempDir;
using riphost_test::write_file;
using Json = nlohmann::ordered_json;
using Lines = std::vector<std::string>;

constexpr const char* kPacket = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";

// One job with cutting texts; a page with an XMP file; separations with
// inline and file XMP, inks, requested screens and the AM screens' default.
Json inks_ticket() {
  return Json::parse(R"({
    "device": "dev", "output": "out", "options": {"CONF": "CTP"},
    "screens": [{"name": "K150", "ruling": 150, "angle": 45}, {"name": "C133", "ruling": 133, "angle": 15}],
    "default_screen": "K150",
    "jobs": [{
      "name": "j", "ppi": 1200,
      "cutting": {"comment": "texts", "SCPAll": "all\ncut", "CCP2": "cad two", "SCP63": "", "SCP3": "three"},
      "pages": [{
        "width": 16, "height": 2, "xmp": "page.xmp",
        "separations": [
          {"name": "C", "pattern": "bars", "xmp": "inline packet",
           "inks": [{"ink": "Cyan", "group": "Process"}, {"ink": "Spot", "group": ""}, {"ink": "Die"}],
           "requested_screens": [{"frequency": 150, "angle": 15}, {"frequency": 133.5, "angle": -22.5}]},
          {"name": "K", "pattern": "ramp", "xmp_file": "page.xmp",
           "screens": ["K150", "C133", "K150", "C133"], "uses": [1, 0, 1, 1]},
          {"name": "Y", "pattern": "ramp", "requested_screens": [], "inks": []}
        ]
      }]
    }]
  })");
}

class InksTicketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "dev");
    write_file(dir_ / "page.xmp", kPacket);
  }

  Ticket parse(const Json& ticket) { return riphost::parse_ticket(ticket.dump(), dir_.path()); }

  // Every problem of the changed ticket, one a line ("" when it parses).
  std::string problems_of(const std::function<void(Json&)>& change) {
    Json ticket = inks_ticket();
    change(ticket);
    try {
      parse(ticket);
    } catch (const HostError& error) {
      return error.what();
    }
    return "";
  }

  TempDir dir_;
};

TEST_F(InksTicketTest, ReadsPacketsInksScreensAndCuttingTextsIntoTheDescriptions) {
  const Ticket ticket = parse(inks_ticket());
  const riphost::Job& job = ticket.jobs.at(0);
  ASSERT_EQ(job.cutting.size(), 4u);  // in the ticket's order, "comment" left out
  EXPECT_EQ(job.cutting[0].key, "SCPAll");
  EXPECT_EQ(job.cutting[0].text, "all\ncut");
  EXPECT_EQ(job.cutting[1].key, "CCP2");
  EXPECT_EQ(job.cutting[2].key, "SCP63");
  EXPECT_EQ(job.cutting[2].text, "");
  EXPECT_EQ(job.cutting[3].where, "jobs[0].cutting.SCP3");

  const riphost::Page& page = job.pages.at(0);
  ASSERT_TRUE(page.xmp);
  EXPECT_EQ(*page.xmp, kPacket);
  const riphost::Separation& c = page.separations.at(0);
  const riphost::Separation& k = page.separations.at(1);
  const riphost::Separation& y = page.separations.at(2);
  // A file named twice is read once.
  EXPECT_EQ(k.xmp.get(), page.xmp.get());
  EXPECT_FALSE(y.xmp);

  // The page's packet as the single element of "XMPinfo".
  const CStringKeyDict page_dict = riphost::page_description(page);
  ASSERT_EQ(page_dict.GetList("XMPinfo").size(), 1u);
  EXPECT_EQ(page_dict.GetList("XMPinfo")[0].AsText(), kPacket);

  // Colours, requested screens and their indexes, the separation's packet.
  const CStringKeyDict c_dict = riphost::separation_description(c);
  const CStringKeyDict& c_entry = c_dict.GetList("separations").at(0).AsDict();
  EXPECT_EQ(c_entry.GetText("XMPinfo"), "inline packet");
  const CUnivType::List& colours = c_entry.GetList("colorinfo");
  ASSERT_EQ(colours.size(), 3u);
  EXPECT_EQ(colours[0].AsDict().GetText("inkname"), "Cyan");
  EXPECT_EQ(colours[0].AsDict().GetText("groupname"), "Process");
  EXPECT_EQ(colours[1].AsDict().GetText("groupname"), "");
  EXPECT_EQ(colours[2].AsDict().GetText("inkname"), "Die");
  EXPECT_EQ(colours[2].AsDict().GetText("groupname"), "");
  const CUnivType::List& screens = c_dict.GetList("screens");
  ASSERT_EQ(screens.size(), 2u);
  EXPECT_EQ(screens[1].AsDict().GetReal("frequencyreq"), 133.5);
  EXPECT_EQ(screens[1].AsDict().GetReal("anglereq"), -22.5);
  const CUnivType::List& indexes = c_entry.GetList("screenidx");
  ASSERT_EQ(indexes.size(), 2u);
  EXPECT_EQ(indexes[0].AsInt(), 0);
  EXPECT_EQ(indexes[1].AsInt(), 1);

  // Without "requested_screens": the screens the AM selection takes, each
  // ruling and angle once (the C133 that is not taken still comes once
  // through the entry that is).
  ASSERT_EQ(k.requested_screens.size(), 2u);
  EXPECT_EQ(k.requested_screens[0].frequency, 150.0);
  EXPECT_EQ(k.requested_screens[0].angle, 45.0);
  EXPECT_EQ(k.requested_screens[1].frequency, 133.0);
  EXPECT_EQ(k.requested_screens[1].angle, 15.0);
  EXPECT_TRUE(k.inks.empty());
  const CStringKeyDict k_dict = riphost::separation_description(k);
  const CStringKeyDict& k_entry = k_dict.GetList("separations").at(0).AsDict();
  EXPECT_EQ(k_entry.GetText("XMPinfo"), kPacket);
  // An empty list asks for nothing.
  const CStringKeyDict y_dict = riphost::separation_description(y);
  EXPECT_TRUE(y_dict.GetList("screens").empty());
  EXPECT_TRUE(y_dict.GetList("separations").at(0).AsDict().GetList("colorinfo").empty());
  EXPECT_TRUE(y_dict.GetList("separations").at(0).AsDict().GetList("screenidx").empty());

  // A separation without screens requests the job's default screen.
  Json plain = inks_ticket();
  plain["jobs"][0]["pages"][0]["separations"][2].erase("requested_screens");
  const Ticket defaults = parse(plain);
  const riphost::Separation& d = defaults.jobs[0].pages[0].separations[2];
  ASSERT_EQ(d.requested_screens.size(), 1u);
  EXPECT_EQ(d.requested_screens[0].frequency, 150.0);
}

TEST_F(InksTicketTest, ProblemsOfPacketsInksScreensAndCuttingTextsNameTheirPlace) {
  const std::string sep = "jobs[0].pages[0].separations[0]";
  const std::pair<std::function<void(Json&)>, std::string> cases[] = {
      {[](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = "missing.xmp"; },
       "jobs[0].pages[0].xmp: file not found: missing.xmp"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = "dev"; }, "jobs[0].pages[0].xmp: not a file: dev"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = 3; }, "jobs[0].pages[0].xmp: expected a text, found an integer"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["xmp_file"] = "page.xmp"; },
       sep + ": give \"xmp\" or \"xmp_file\", not both"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["xmp"] = ""; }, sep + ".xmp: empty text"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["xmp"] = std::string("a\0b", 3); },
       sep + ".xmp: text contains a zero byte"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["inks"] = Json::parse(R"({"ink": "C"})"); },
       sep + ".inks: expected a list, found an object"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["inks"][0] = Json::parse(R"({"group": "P"})"); },
       sep + ".inks[0].ink: missing"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["inks"][1]["colour"] = 1; },
       sep + ".inks[1].colour: unknown key (expected one of: ink, group, comment)"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["inks"][1]["group"] = 5; },
       sep + ".inks[1].group: expected a text, found an integer"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["requested_screens"][0]["frequency"] = 0; },
       sep + ".requested_screens[0].frequency: must be greater than 0 and at most 10000"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["requested_screens"][1]["angle"] = 400; },
       sep + ".requested_screens[1].angle: must be between -360 and 360 degrees"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["requested_screens"][1].erase("angle"); },
       sep + ".requested_screens[1].angle: missing"},
      {[](Json& t) { t["jobs"][0]["cutting"]["SCP64"] = "x"; },
       "jobs[0].cutting.SCP64: unknown cutting key (expected SCPAll, SCP<n> or CCP<n> with n from 1 to 63)"},
      {[](Json& t) { t["jobs"][0]["cutting"]["CCP0"] = "x"; }, "jobs[0].cutting.CCP0: unknown cutting key"},
      {[](Json& t) { t["jobs"][0]["cutting"]["SCP07"] = "x"; }, "jobs[0].cutting.SCP07: unknown cutting key"},
      {[](Json& t) { t["jobs"][0]["cutting"]["scpall"] = "x"; }, "jobs[0].cutting.scpall: unknown cutting key"},
      {[](Json& t) { t["jobs"][0]["cutting"]["CCP1"] = 1; }, "jobs[0].cutting.CCP1: expected a text, found an integer"},
      {[](Json& t) { t["jobs"][0]["cutting"]["CCP1"] = std::string((1u << 20) + 1, 'c'); },
       "jobs[0].cutting.CCP1: text of 1048577 bytes; at most 1 MiB"},
      {[](Json& t) { t["jobs"][0]["cutting"]["SCP9"] = std::string("a\0b", 3); },
       "jobs[0].cutting.SCP9: text contains a zero byte"},
      {[](Json& t) { t["jobs"][0]["cutting"] = "SCPAll"; }, "jobs[0].cutting: expected an object, found a text"},
  };
  for (const auto& [change, expected] : cases) {
    const std::string problems = problems_of(change);
    EXPECT_EQ(problems.rfind(expected, 0), 0u) << "expected: " << expected << "\nfound: " << problems;
  }

  // Files that cannot serve as a packet.
  write_file(dir_ / "empty.xmp", "");
  write_file(dir_ / "zero.xmp", std::string("<x>\0</x>", 8));
  write_file(dir_ / "large.xmp", std::string((16u << 20) + 1, ' '));
  for (const char* name : {"empty.xmp", "zero.xmp", "large.xmp"}) {
    const std::string problems = problems_of([name](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = name; });
    EXPECT_EQ(problems.rfind(std::string("jobs[0].pages[0].xmp: ") + name, 0), 0u) << problems;
  }
  EXPECT_NE(problems_of([](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = "large.xmp"; }).find("larger than 16 MiB"),
            std::string::npos);
  // Every problem is found, not only the first.
  const std::string all = problems_of([](Json& t) {
    t["jobs"][0]["pages"][0]["xmp"] = "missing.xmp";
    t["jobs"][0]["cutting"]["XCP1"] = "x";
    t["jobs"][0]["pages"][0]["separations"][1]["inks"] = Json::parse(R"([{"ink": ""}])");
  });
  EXPECT_NE(all.find("jobs[0].pages[0].xmp: file not found"), std::string::npos) << all;
  EXPECT_NE(all.find("jobs[0].cutting.XCP1: unknown cutting key"), std::string::npos) << all;
  EXPECT_NE(all.find("jobs[0].pages[0].separations[1].inks[0].ink: empty text"), std::string::npos) << all;
}

// Bytes this process has read so far (read calls of every kind).
std::uint64_t bytes_read() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

// A file that many pages and separations name is read once per ticket,
// also when it is refused, and every place gets the same problem.
TEST_F(InksTicketTest, EachXmpFileIsReadOncePerTicketAlsoWhenRefused) {
  constexpr std::size_t kMiB = 1u << 20;
  std::string zero(4 * kMiB, ' ');
  zero.back() = '\0';
  write_file(dir_ / "zero.xmp", zero);
  write_file(dir_ / "good.xmp", std::string(4 * kMiB, ' '));
  // Larger than the limit: refused by its size, never read.
  write_file(dir_ / "huge.xmp", "");
  std::filesystem::resize_file(dir_ / "huge.xmp", std::uintmax_t{1} << 40);
  struct Case {
    const char* file;
    std::size_t most_read;
    const char* problem;  // "" for none
  } cases[] = {
      {"good.xmp", 5 * kMiB, ""},
      {"zero.xmp", 5 * kMiB, "zero.xmp contains a zero byte"},
      {"huge.xmp", kMiB, "huge.xmp is larger than 16 MiB"},
  };
  for (const Case& c : cases) {
    Json ticket = inks_ticket();
    Json& pages = ticket["jobs"][0]["pages"];
    pages[0]["xmp"] = c.file;
    pages[0]["separations"][1]["xmp_file"] = c.file;
    for (int i = 0; i < 40; ++i) pages.push_back(pages[0]);
    const std::uint64_t before = bytes_read();
    std::vector<std::string> problems;
    riphost::check_ticket_text(ticket.dump(), dir_.path(), {}, problems);
    EXPECT_LT(bytes_read() - before, c.most_read) << c.file;
    if (*c.problem == '\0') {
      EXPECT_EQ(problems, std::vector<std::string>{}) << c.file;
      continue;
    }
    ASSERT_EQ(problems.size(), 2u * 41u) << c.file;
    EXPECT_EQ(problems[0], std::string("jobs[0].pages[0].xmp: ") + c.problem);
    EXPECT_EQ(problems[1], std::string("jobs[0].pages[0].separations[1].xmp_file: ") + c.problem);
    EXPECT_EQ(problems.back(), std::string("jobs[0].pages[40].separations[1].xmp_file: ") + c.problem);
  }
}

// riphost runs against the fake plug-in, which logs get_param.
class InksRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    riphost_test::write_device_folder(dir_ / "dev");
    write_file(dir_ / "page.xmp", kPacket);
    write_file(dir_ / "job.json", inks_ticket().dump());
  }

  RunResult run(const Lines& args, const std::string& fail = "") {
    FakePluginEnv env(log(), fail);
    Lines all = {"--plugin", FAKE_PLUGIN_PATH};
    all.insert(all.end(), args.begin(), args.end());
    return riphost_test::run_in_process(all);
  }

  std::filesystem::path log() const { return dir_ / "calls.log"; }
  std::string ticket() const { return (dir_ / "job.json").string(); }

  TempDir dir_;
};

TEST_F(InksRunTest, CuttingTextsComeRightAfterTheJobStartsAndRefusalsAreWarnings) {
  RunResult result = run({"--quiet", ticket()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  Lines calls = read_lines(log());
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(Lines(calls.begin(), calls.begin() + 8),
            (Lines{"open", "jobsettings JOBNAME=j", "startjob ppi=1200 bps=1", "get_param SCPAll=all\\ncut",
                   "get_param CCP2=cad two", "get_param SCP63=", "get_param SCP3=three",
                   "startpage width=16 height=2 ncopies=1 JOBNAME=j"}));

  // The second text is refused: a warning naming its place, the run goes on.
  std::filesystem::remove(log());
  result = run({"--quiet", ticket()}, "get_param:2");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err,
            "riphost: warning: jobs[0].cutting.CCP2: the plug-in did not take the cutting text "
            "(dravout_get_param answered 0)\n");
  calls = read_lines(log());
  EXPECT_EQ(calls.at(4), "get_param CCP2=cad two -> 0");
  EXPECT_EQ(calls.back(), "close");
}

TEST_F(InksRunTest, QueryAsksEachKeyInTurn) {
  // Without a ticket: only open, the keys and close.
  RunResult result = run({"--query", "version", "--query=left", "--query", "screeningtechnology=Nova|%s%n"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "version: fake 1.0\nleft: 7\nscreeningtechnology: yes\n");
  EXPECT_EQ(read_lines(log()),
            (Lines{"open", "get_param version", "get_param left", "get_param screeningtechnology=Nova|%s%n", "close"}));

  // With a ticket: the first job is started with its cutting texts, asked,
  // and ended; no page is run. Quiet still prints the answers.
  std::filesystem::remove(log());
  result = run({"--query", "version", "--quiet", ticket()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "version: fake 1.0\n");
  EXPECT_EQ(read_lines(log()), (Lines{"open", "jobsettings JOBNAME=j", "startjob ppi=1200 bps=1",
                                      "get_param SCPAll=all\\ncut", "get_param CCP2=cad two", "get_param SCP63=",
                                      "get_param SCP3=three", "get_param version", "endjob", "close"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));

  // An unanswered key and a refused text make exit status 1; the other keys
  // are still asked. An answer that fills the buffer without a zero ends.
  std::filesystem::remove(log());
  result = run({"--query", "nosuch", "--query", "full", "--query", "SCP2=x"}, "get_param:3");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "full: " + std::string(1024, 'x') + "\nSCP2: no\n");
  EXPECT_EQ(result.err, "riphost: error: no answer for \"nosuch\" (dravout_get_param answered 0)\n");

  // A ticket with problems asks nothing.
  write_file(dir_ / "bad.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "cutting": {"SCP": "x"},
    "pages": [{"width": 1, "height": 1, "separations": [{"name": "K", "pattern": "bars"}]}]}]})");
  std::filesystem::remove(log());
  result = run({"--query", "version", (dir_ / "bad.json").string()});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("jobs[0].cutting.SCP: unknown cutting key"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(log()));

  // Usage.
  for (const Lines& bad : {Lines{"--query", "=x"}, Lines{"--query", "version", "--check", ticket()},
                           Lines{"--query", "version", "-o", "d"}, Lines{"--query", "version", "--clean", "d"},
                           Lines{"--query"}}) {
    EXPECT_EQ(run(bad).status, 2) << bad[0] << " " << bad.back();
  }
}

TEST_F(InksRunTest, QueryTheRealPlugIn) {
  // The version needs no ticket; the resolution list needs the device
  // folder of a ticket, found through QZ_RIPPAR. (No SCPAll: the plug-in
  // keeps its copy past dravout_close, which shows as a leak once unloaded.)
  RunResult result = riphost_test::run_in_process({"--plugin", DRAVOUT_PLUGIN_PATH, "--query", "version"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "version: TAV 10.1.01 (Jun 21 2012)\n");
  Json json = inks_ticket();
  json["jobs"][0]["cutting"].erase("SCPAll");
  write_file(dir_ / "real.json", json.dump());
  result = riphost_test::run_in_process({"--plugin", DRAVOUT_PLUGIN_PATH, "--query", "outputdevice_resolutionlist",
                                         "--query", "left", "--query", "screeningtechnology=NovaDot 2|NovaDot",
                                         "--query", "screeningtechnology=NovaDot|AM", (dir_ / "real.json").string()});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out,
            "outputdevice_resolutionlist: 1200|2400|2000|2540|4000|900-5000\n"
            "left: 1\n"
            "screeningtechnology: yes\n"
            "screeningtechnology: no\n");
}

}  // namespace
