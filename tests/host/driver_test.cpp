// driver_test.cpp - riphost against the fake plug-in: the calling order, each
// branch of the failure policy, the exit statuses and the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>

#include "driver/job_name.h"
#include "test_support.h"

namespace {

using riphost_test::FakePluginEnv;
using riphost_test::read_lines;
using riphost_test::RunResult;
using riphost_test::TempDir;
using riphost_test::write_file;
using Lines = std::vector<std::string>;

// Two jobs: the first with two pages (two separations, one not output, then
// one), the second with one page.
constexpr const char* kTicket = R"({
  "device": "dev", "output": "out", "options": {"CONF": "CTP"},
  "jobs": [
    {"name": "one", "ppi": 1200, "pages": [
      {"width": 40, "height": 3, "ncopies": 2, "separations": [
        {"name": "C", "pattern": "checker", "cell": 2},
        {"name": "M", "pattern": "ramp", "outputpage": 0}]},
      {"width": 16, "height": 2, "separations": [{"name": "K", "pattern": "bars"}]}]},
    {"name": "two", "pages": [
      {"width": 8, "height": 4, "separations": [{"name": "Y", "pattern": "target"}]}]}
  ]})";

const Lines kFullRun = {
    "open",
    "jobsettings JOBNAME=one",
    "startjob ppi=1200 bps=1",
    "startpage width=40 height=3 ncopies=2 JOBNAME=one",
    "startseparations C outputpage=absent JOBNAME=one-p1-C",
    "endseparations rows=3",
    "startseparations M outputpage=0 JOBNAME=one-p1-M",
    "endseparations rows=3",
    "endpage",
    "startpage width=16 height=2 ncopies=1 JOBNAME=one",
    "startseparations K outputpage=absent JOBNAME=one-p2-K",
    "endseparations rows=2",
    "endpage",
    "endjob",
    "jobsettings JOBNAME=two",
    "startjob ppi=2400 bps=1",
    "startpage width=8 height=4 ncopies=1 JOBNAME=two",
    "startseparations Y outputpage=absent JOBNAME=two-p1-Y",
    "endseparations rows=4",
    "endpage",
    "endjob",
    "close",
};

// The second job as it runs after the first one ended early.
const Lines kSecondJob(kFullRun.begin() + 14, kFullRun.end());

// Joins line lists.
Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    riphost_test::write_device_folder(dir_ / "dev");
    write_file(dir_ / "job.json", kTicket);
  }

  // Runs riphost on the ticket with the fake plug-in told to fail `fail`.
  RunResult run(const std::string& fail = "", const std::vector<std::string>& extra = {},
                const std::string& ticket = "job.json") {
    FakePluginEnv env(log(), fail);
    std::vector<std::string> args = {"--plugin", FAKE_PLUGIN_PATH};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back((dir_ / ticket).string());
    return riphost_test::run_in_process(args);
  }

  std::filesystem::path log() const { return dir_ / "calls.log"; }
  Lines calls() const { return read_lines(log()); }

  TempDir dir_;
};

TEST_F(DriverTest, CallingOrderOfAFullRun) {
  RunResult result = run("", {"--verbose"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(calls(), kFullRun);
  EXPECT_EQ(result.err, "");
  std::string out = (dir_ / "out").string();
  // -v in plain words: the device description with what each value means,
  // the settings each job asked for with where they come from, the ink of
  // each separation; the summary of each page after the run.
  EXPECT_EQ(result.out,
            "riphost: info: the output plug-in is open\n"
            "riphost: info: the plug-in describes its device as follows (its own description, which the device "
            "file does not change):\n"
            "riphost: info: device: dpi_h = 2000 (the only resolution)\n"
            "riphost: info: device: maxbps = 1 (bits per pixel of the rows it takes)\n"
            "riphost: info: the plug-in takes no screening hooks: riphost screens contone content by itself\n"
            "riphost: info: jobs[0]: jobname = \"one\" (set by riphost)\n"
            "wrote " + out + "/fake-1.tav\n"
            "riphost: info: jobs[0].pages[0].separations[0] \"C\": ink on 50.00 % of the page (60 of 120 pixels)\n"
            "riphost: info: jobs[0].pages[0].separations[1] \"M\": ink on 54.17 % of the page (65 of 120 pixels)\n"
            "wrote " + out + "/fake-2.tav\n"
            "riphost: info: jobs[0].pages[1].separations[0] \"K\": ink on 100.00 % of the page (32 of 32 pixels)\n"
            "riphost: info: jobs[1]: jobname = \"two\" (set by riphost)\n"
            "wrote " + out + "/fake-3.tav\n"
            "riphost: info: jobs[1].pages[0].separations[0] \"Y\": ink on 53.12 % of the page (17 of 32 pixels)\n"
            "one page 1: C 50.0 %  M 54.2 %\n"
            "one page 2: K 100.0 %\n"
            "two page 1: Y 53.1 %\n");
}

TEST_F(DriverTest, QuietPrintsNothingOnSuccess) {
  RunResult result = run("", {"--quiet"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

// Each failing call, the calls that follow it, and the message.
struct PolicyCase {
  const char* fail;
  Lines expected;
  const char* message;
  int status;
};

// "startpage:2" -> "startpage_2": the failing call names the case.
std::string case_name(const PolicyCase& c) {
  std::string name = c.fail;
  for (char& ch : name) {
    if (ch == ':') ch = '_';
  }
  return name;
}

// A failing case is named, not dumped byte by byte.
void PrintTo(const PolicyCase& c, std::ostream* out) { *out << case_name(c); }

class FailurePolicyTest : public DriverTest, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(FailurePolicyTest, FollowsThePolicy) {
  const PolicyCase& c = GetParam();
  RunResult result = run(c.fail);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(calls(), c.expected);
  EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
}

const Lines kFirstPageStart = {"open", "jobsettings JOBNAME=one", "startjob ppi=1200 bps=1",
                               "startpage width=40 height=3 ncopies=2 JOBNAME=one"};

INSTANTIATE_TEST_SUITE_P(
    Calls, FailurePolicyTest,
    ::testing::Values(
        PolicyCase{"open", {"open -> 17", "close"}, "riphost: error: dravout_open failed (status 17)\n", 1},
        PolicyCase{"jobsettings",
                   concat({{"open", "jobsettings JOBNAME=one -> 17", "endjob"}, kSecondJob}),
                   "riphost: error: dravout_jobsettings failed (status 17) in jobs[0]\n", 1},
        PolicyCase{"startjob",
                   concat({{"open", "jobsettings JOBNAME=one", "startjob ppi=1200 bps=1 -> 17", "endjob"}, kSecondJob}),
                   "dravout_startjob failed (status 17) in jobs[0]", 1},
        PolicyCase{"startpage:2",
                   concat({Lines(kFullRun.begin(), kFullRun.begin() + 9),
                           {"startpage width=16 height=2 ncopies=1 JOBNAME=one -> 17", "endjob"}, kSecondJob}),
                   "riphost: error: dravout_startpage failed (status 17) in jobs[0].pages[1]\n", 1},
        PolicyCase{"startseparations",
                   concat({kFirstPageStart, {"startseparations C outputpage=absent JOBNAME=one-p1-C -> 17", "endjob"},
                           kSecondJob}),
                   "dravout_startseparations failed (status 17) in jobs[0].pages[0].separations[0]", 1},
        PolicyCase{"newscan:2",
                   concat({kFirstPageStart,
                           {"startseparations C outputpage=absent JOBNAME=one-p1-C", "newscan -> 17", "endjob"},
                           kSecondJob}),
                   "dravout_newscan failed (status 17) at row 1 of jobs[0].pages[0].separations[0]", 1},
        PolicyCase{"putscan:2",
                   concat({kFirstPageStart,
                           {"startseparations C outputpage=absent JOBNAME=one-p1-C", "putscan row=1 -> 7", "endjob"},
                           kSecondJob}),
                   "riphost: error: dravout_putscan failed (status 7) at row 1 of jobs[0].pages[0].separations[0]\n",
                   1},
        PolicyCase{"endseparations",
                   concat({kFirstPageStart,
                           {"startseparations C outputpage=absent JOBNAME=one-p1-C", "endseparations rows=3 -> 17", "endjob"},
                           kSecondJob}),
                   "dravout_endseparations failed (status 17) in jobs[0].pages[0].separations[0]", 1},
        PolicyCase{"endpage",
                   concat({Lines(kFullRun.begin(), kFullRun.begin() + 8), {"endpage -> 17", "endjob"}, kSecondJob}),
                   "dravout_endpage failed (status 17) in jobs[0].pages[0]", 1},
        PolicyCase{"endjob",
                   concat({Lines(kFullRun.begin(), kFullRun.begin() + 13), {"endjob -> 17"}, kSecondJob}),
                   "riphost: error: dravout_endjob failed (status 17)\n", 1},
        PolicyCase{"close", concat({Lines(kFullRun.begin(), kFullRun.end() - 1), {"close -> 17"}}),
                   "riphost: error: dravout_close failed (status 17)\n", 1}),
    [](const ::testing::TestParamInfo<PolicyCase>& info) { return case_name(info.param); });

TEST_F(DriverTest, OptionCheckFailureRunsNoJob) {
  write_file(dir_ / "bad.json", R"({"device": "dev", "output": "out", "options": {"RESS": 1},
      "jobs": [{"name": "j", "options": {"LEFT": "no"}, "pages": [{"width": 8, "height": 1,
        "separations": [{"name": "K", "pattern": "bars", "options": {"ROT": 1.5}}]}]}]})");
  RunResult result = run("", {}, "bad.json");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(calls(), (Lines{"open", "close"}));
  EXPECT_NE(result.err.find("unknown option \"RESS\""), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("riphost: error: jobs[0].options.LEFT: LEFT expects an integer, found a text\n"),
            std::string::npos);
  EXPECT_NE(result.err.find("jobs[0].pages[0].separations[0].options.ROT: ROT expects an integer, found a fraction"),
            std::string::npos);
}

TEST_F(DriverTest, TicketErrorStopsBeforeThePlugInIsOpened) {
  write_file(dir_ / "broken.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": [
      {"width": 8, "height": 1, "separations": [{"name": "K", "image": "x.png"}]}]}]})");
  RunResult result = run("", {}, "broken.json");
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(std::filesystem::exists(log()));
  EXPECT_EQ(result.err, "riphost: error: " + (dir_ / "broken.json").string() +
                            ": jobs[0].pages[0].separations[0].image: file not found: x.png\n");
}

TEST_F(DriverTest, UnreadableRowAbandonsTheSeparationAndEndsTheJob) {
  // The header is sound (the ticket check passes), the rows are missing.
  write_file(dir_ / "cut.pbm", "P4\n8 5\n\xff\xff");
  write_file(dir_ / "cut.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": [
      {"separations": [{"name": "K", "image": "cut.pbm"}]}]}]})");
  RunResult result = run("", {}, "cut.json");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(calls(), (Lines{"open", "jobsettings JOBNAME=j", "startjob ppi=2400 bps=1",
                            "startpage width=8 height=5 ncopies=1 JOBNAME=j",
                            "startseparations K outputpage=absent JOBNAME=j-p1-K", "endjob", "close"}));
  EXPECT_NE(result.err.find("jobs[0].pages[0].separations[0]: cut.pbm: PBM data ends early, at row 2"),
            std::string::npos);
}

TEST_F(DriverTest, OtherBitDepthsAreNotRendered) {
  write_file(dir_ / "deep.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "bps": 8,
      "pages": [{"width": 8, "height": 1, "separations": [{"name": "K", "pattern": "bars"}]}]}]})");
  RunResult result = run("", {}, "deep.json");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(calls(), (Lines{"open", "jobsettings JOBNAME=j", "startjob ppi=2400 bps=8", "endjob", "close"}));
  EXPECT_NE(result.err.find("jobs[0]: riphost renders 1 bit per sample only, the job asks for 8"), std::string::npos);
}

TEST_F(DriverTest, RowsReachThePlugInInItsBitOrder) {
  // Ink on the diagonal and in the last column of a 13 x 6 image; the page is
  // wider (blank right part) and taller (blank rows).
  write_file(dir_ / "diag.pbm", riphost_test::make_pbm(13, 6, [](int x, int y) { return x == y || x == 12; }));
  write_file(dir_ / "diag.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": [
      {"width": 40, "height": 8, "separations": [{"name": "K", "image": "diag.pbm"}]}]}]})");
  FakePluginEnv env(log(), "", dir_ / "rows.bin");
  RunResult result = riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, (dir_ / "diag.json").string()});
  ASSERT_EQ(result.status, 0) << result.err;
  std::string rows = riphost_test::read_file(dir_ / "rows.bin");
  ASSERT_EQ(rows.size(), 8u * 8u);
  for (int y = 0; y < 8; ++y) {
    std::string expected(8, '\0');
    if (y < 6) {
      expected[static_cast<std::size_t>(y / 8)] = static_cast<char>(1u << (y % 8));
      expected[1] = static_cast<char>(expected[1] | 0x10);  // pixel 12: byte 1, bit 4
    }
    EXPECT_EQ(rows.substr(static_cast<std::size_t>(y) * 8, 8), expected) << "row " << y;
  }
  for (const std::string& line : calls()) EXPECT_EQ(line.rfind("ERROR", 0), std::string::npos) << line;
}

TEST_F(DriverTest, PlugInLoadingErrors) {
  RunResult missing = riphost_test::run_in_process(
      {"--plugin", FAKE_PLUGIN_WITHOUT_CLOSE_PATH, (dir_ / "job.json").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("does not export dravout_close"), std::string::npos) << missing.err;
  RunResult absent = riphost_test::run_in_process({"--plugin", (dir_ / "none.so").string(), (dir_ / "job.json").string()});
  EXPECT_EQ(absent.status, 2);
  EXPECT_NE(absent.err.find("riphost: error: cannot load the plug-in " + (dir_ / "none.so").string()),
            std::string::npos);
}

TEST(JobNameTest, PageAndSeparationSurviveTheFileNameLimit) {
  using riphost::separation_job_name;
  EXPECT_EQ(separation_job_name("proof", 1, "Cyan"), "proof-p1-Cyan");
  // A long job name gives way to the page and the separation.
  std::string job(200, 'j');
  EXPECT_EQ(separation_job_name(job, 1, "Cyan"), std::string(56, 'j') + "-p1-Cyan");
  EXPECT_EQ(separation_job_name(job, 12, "Black"), std::string(54, 'j') + "-p12-Black");
  // A long separation name is cut too, keeping part of the job's name.
  EXPECT_EQ(separation_job_name(job, 12, std::string(100, 's')),
            std::string(29, 'j') + "-p12-" + std::string(30, 's'));
  // ... all of it when the job's name is short.
  EXPECT_EQ(separation_job_name("ab", 3, std::string(100, 's')), "ab-p3-" + std::string(58, 's'));
  // Cuts fall between UTF-8 characters ("\xC3\xA9" is one character).
  std::string accents;
  for (int i = 0; i < 40; ++i) accents += "\xC3\xA9";
  std::string name = separation_job_name(accents, 1, "K");
  EXPECT_EQ(name, accents.substr(0, 58) + "-p1-K");
  name = separation_job_name("j", 1, accents);
  EXPECT_EQ(name, "j-p1-" + accents.substr(0, 58));
  for (std::size_t i = 0; i < 40; ++i) {
    std::string cut = separation_job_name(std::string(i, 'x') + accents, 7, accents);
    EXPECT_LE(cut.size(), riphost::kFileNameJobBytes);
    std::size_t page = cut.find("-p7-");
    ASSERT_NE(page, std::string::npos) << cut;
    // Every part ends on a whole character: the byte before a cut is never a lead byte.
    for (std::size_t end : {page, cut.size()}) {
      EXPECT_NE(static_cast<unsigned char>(cut[end - 1]), 0xC3u) << cut;
    }
  }
}

TEST_F(DriverTest, JobNameOfLongNamesKeepsPageAndSeparation) {
  std::string job(62, 'a');
  write_file(dir_ / "long.json", R"({"device": "dev", "output": "out", "jobs": [{"name": ")" + job + R"(", "pages": [
      {"width": 8, "height": 1, "separations": [{"name": "Cyan", "pattern": "bars"},
                                                {"name": "Black", "pattern": "bars"}]},
      {"width": 8, "height": 1, "separations": [{"name": "Cyan", "pattern": "bars"}]}]}]})");
  RunResult result = run("", {}, "long.json");
  ASSERT_EQ(result.status, 0) << result.err;
  Lines names;
  for (const std::string& line : calls()) {
    std::size_t at = line.find("JOBNAME=");
    if (at != std::string::npos) names.push_back(line.substr(at + 8));
  }
  // After each separation JOBNAME is the job's name again.
  EXPECT_EQ(names, (Lines{job, job, std::string(56, 'a') + "-p1-Cyan", std::string(55, 'a') + "-p1-Black", job,
                          std::string(56, 'a') + "-p2-Cyan"}));
}

TEST_F(DriverTest, DeletedWorkingFolderIsATicketError) {
  std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::create_directory(dir_ / "gone");
  ASSERT_EQ(chdir((dir_ / "gone").c_str()), 0);
  std::filesystem::remove(dir_ / "gone");
  RunResult result;
  {
    FakePluginEnv env(log());
    result = riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, "../job.json"});
  }
  ASSERT_EQ(chdir(home.c_str()), 0);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("riphost: error: ../job.json: cannot resolve ../job.json against the working folder: "),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(std::filesystem::exists(log()));
}

TEST_F(DriverTest, CommandLine) {
  EXPECT_EQ(riphost_test::run_in_process({}).status, 2);
  EXPECT_EQ(riphost_test::run_in_process({"--plugin"}).status, 2);
  EXPECT_EQ(riphost_test::run_in_process({"--plugin="}).status, 2);
  RunResult unknown = riphost_test::run_in_process({"--fast", "job.json"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "riphost: error: unknown option --fast\nTry 'riphost --help' for more information.\n");
  EXPECT_EQ(riphost_test::run_in_process({"a.json", "b.json"}).status, 2);
  RunResult help = riphost_test::run_in_process({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: riphost [OPTION]... JOB.json\n", 0), 0u) << help.out;
  RunResult missing = riphost_test::run_in_process({(dir_ / "nothing.json").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the ticket"), std::string::npos);
}

}  // namespace
