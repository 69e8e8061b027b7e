// cli_test.cpp - riphost's command line against the fake plug-in: the
// options, --help and --version, --check, -o, a ticket on standard input,
// and that a refused ticket leaves nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "cli/cli.h"
#include "test_support.h"

namespace {

using riphost::Verbosity;
using riphost_test::FakePluginEnv;
using riphost_test::read_lines;
using riphost_test::RunResult;
using riphost_test::TempDir;
using riphost_test::write_file;
using Lines = std::vector<std::string>;

TEST(CommandLineTest, ReadsEveryOptionAndRefusesBadUse) {
  std::string error;
  auto line = riphost::parse_command_line({"-v", "--plugin", "p.so", "-o", "dir", "--check", "job.json"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->verbosity, Verbosity::Verbose);
  EXPECT_EQ(line->plugin, "p.so");
  EXPECT_EQ(line->output, "dir");
  EXPECT_TRUE(line->check);
  EXPECT_EQ(line->ticket, "job.json");
  line = riphost::parse_command_line({"--quiet", "--output=out", "--plugin=x.so", "-"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->verbosity, Verbosity::Quiet);
  EXPECT_EQ(line->output, "out");
  EXPECT_EQ(line->plugin, "x.so");
  EXPECT_EQ(line->ticket, "-");
  EXPECT_FALSE(line->check);
  line = riphost::parse_command_line({"--", "-v"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->ticket, "-v");
  EXPECT_EQ(line->verbosity, Verbosity::Normal);
  line = riphost::parse_command_line({"--clean", "out"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->clean, "out");
  // A document's page box: the last of --media-box and --trim-box counts.
  const std::pair<Lines, const char*> boxes[] = {
      {{"d.pdf", "-o", "o"}, ""},
      {{"d.pdf", "--trim-box", "-o", "o"}, "trim"},
      {{"--trim-box", "d.pdf", "--media-box", "-o", "o"}, "media"},
      {{"--media-box", "--trim-box", "d.pdf", "-o", "o"}, "trim"},
  };
  for (const auto& [args, box] : boxes) {
    line = riphost::parse_command_line(args, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->box, box) << args[1];
  }
  // -q is --quiet; -vv, or -v twice, adds the plug-in's information and the trace.
  const std::pair<Lines, Verbosity> verbosities[] = {
      {{"-q", "j.json"}, Verbosity::Quiet},
      {{"-vv", "j.json"}, Verbosity::Debug},
      {{"-v", "--verbose", "j.json"}, Verbosity::Debug},
      {{"--verbose", "j.json"}, Verbosity::Verbose},
  };
  for (const auto& [args, verbosity] : verbosities) {
    line = riphost::parse_command_line(args, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->verbosity, verbosity) << args[0];
  }

  const std::pair<Lines, const char*> refused[] = {
      {{"-v", "--quiet", "j.json"}, "--quiet and --verbose exclude each other"},
      {{"-vv", "-q", "j.json"}, "--quiet and --verbose exclude each other"},
      {{"--chek", "j.json"}, "unknown option --chek (did you mean --check?)"},
      {{"--output-dir=x", "j.json"}, "unknown option --output-dir=x"},
      {{"--quite", "j.json"}, "unknown option --quite (did you mean --quiet?)"},
      {{"--trimbox", "d.pdf"}, "unknown option --trimbox (did you mean --trim-box?)"},
      {{"--clean", "out", "j.json"}, "--clean takes a folder only, no ticket, --check or -o"},
      {{"--clean=out", "--check"}, "--clean takes a folder only, no ticket, --check or -o"},
      {{"j.json", "-o"}, "-o needs a value"},
      {{"--output=", "j.json"}, "--output needs a value"},
      {{"--plugin", "", "j.json"}, "--plugin needs a value"},
      {{"--frobnicate", "j.json"}, "unknown option --frobnicate"},
      {{"a.json", "b.json"}, "more than one ticket given"},
      {{"--check"}, "no job ticket given"},
      {{}, "no job ticket given"},
  };
  for (const auto& [args, message] : refused) {
    error.clear();
    EXPECT_FALSE(riphost::parse_command_line(args, error)) << message;
    EXPECT_EQ(error, message);
  }
}

TEST(CommandLineTest, HelpVersionAndUsage) {
  RunResult help = riphost_test::run_in_process({"--help"});
  EXPECT_EQ(help.status, 0);
  // Laid out for help2man: "Usage:" lines, options as "  -x, --long=ARG  text".
  EXPECT_EQ(help.out.rfind("Usage: riphost [OPTION]... JOB.json\n  or:  riphost [OPTION]... -o DIR DOC.pdf", 0), 0u)
      << help.out;
  EXPECT_NE(help.out.find("\n  or:  riphost --query=KEY"), std::string::npos) << help.out;
  for (const char* text : {"\n      --plugin=PATH  ", "\n  -v, --verbose  ", "\n  -vv  ", "\n  -q, --quiet  ",
                           "\n  -o, --output=DIR  ", "\n      --check  ", "\n      --clean=OUTDIR  ",
                           "\n      --version  ", "\n  -h, --help  ", "\n      --query=KEY  ",
                           "screeningtechnology=NovaDot|NovaDot", "\"-\"", "standard input", "\nExit status:\n",
                           "\n  0    all fine\n", "\n  1    an operation failed\n", "\n  2    bad usage",
                           "130", "SIGHUP", "\nDocumentation:\n", "job-ticket.md", "device-file.md",
                           "plugin-options.md", "documents.md", "\n      --render-only  ", "share/doc/dravout"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  // No line is wider than a terminal.
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  RunResult version = riphost_test::run_in_process({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("riphost ") + DRAV_VERSION + "\n");
  // A usage error is one line and a pointer to --help, not the whole help.
  RunResult bad = riphost_test::run_in_process({"--frobnicate"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "riphost: error: unknown option --frobnicate\nTry 'riphost --help' for more information.\n");
  EXPECT_EQ(bad.out, "");
  // A text we did not write is never a format.
  bad = riphost_test::run_in_process({"--%s%n%s"});
  EXPECT_EQ(bad.err.rfind("riphost: error: unknown option --%s%n%s\n", 0), 0u) << bad.err;
}

// A good ticket for the fake plug-in: one job, two separations.
constexpr const char* kTicket = R"({"device": "dev", "output": "out/deep", "options": {"CONF": "CTP"},
  "jobs": [{"name": "j", "ppi": 1200, "pages": [{"width": 16, "height": 2, "separations": [
    {"name": "C", "pattern": "bars"}, {"name": "K", "pattern": "ramp"}]}]}]})";

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    riphost_test::write_device_folder(dir_ / "dev");
    write_file(dir_ / "job.json", kTicket);
  }

  RunResult run(const Lines& extra, const std::string& ticket = "job.json") {
    FakePluginEnv env(log());
    Lines args = {"--plugin", FAKE_PLUGIN_PATH};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(ticket == "-" ? ticket : (dir_ / ticket).string());
    return riphost_test::run_in_process(args);
  }

  std::filesystem::path log() const { return dir_ / "calls.log"; }

  // The lines of text.
  static Lines lines(const std::string& text) {
    Lines all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  }

  TempDir dir_;
};

TEST_F(CliTest, CheckListsEveryProblemAndCreatesNothing) {
  RunResult good = run({"--check"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, "");
  EXPECT_EQ(good.err, "");
  // The plug-in goes through every job and page as in a run, but gets no
  // separation: it writes nothing.
  EXPECT_EQ(read_lines(log()), (Lines{"open", "jobsettings JOBNAME=j", "startjob ppi=1200 bps=1",
                                      "startpage width=16 height=2 ncopies=1 JOBNAME=j", "endpage", "endjob",
                                      "close"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));

  // Three mistakes, each found by another check: the ticket, the device
  // file and the plug-in's options.
  write_file(dir_ / "three.json", R"({"device": "dev", "output": "out", "options": {"CONF": "CTP-9"},
    "jobs": [{"name": "j", "ppi": "high", "options": {"OFORMT": "FW8B"}, "pages": [{"width": 8, "height": 1,
      "separations": [{"name": "K", "pattern": "ramp"}]}]}]})");
  RunResult bad = run({"--check"}, "three.json");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  Lines problems = lines(bad.err);
  ASSERT_EQ(problems.size(), 3u) << bad.err;
  std::string prefix = "riphost: error: " + (dir_ / "three.json").string() + ": ";
  EXPECT_EQ(problems[0], prefix + "jobs[0].ppi: expected a number, found a text");
  EXPECT_EQ(problems[1].rfind(prefix + "device: ", 0), 0u) << problems[1];
  EXPECT_NE(problems[1].find("CTP-9"), std::string::npos) << problems[1];
  EXPECT_EQ(problems[2], prefix + "jobs[0].options: unknown option \"OFORMT\" (did you mean OFORMAT?)");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));

  // A run of the same ticket stops before loading the plug-in.
  std::filesystem::remove(log());
  RunResult run_bad = run({}, "three.json");
  EXPECT_EQ(run_bad.status, 2);
  EXPECT_EQ(lines(run_bad.err).size(), 2u) << run_bad.err;
  EXPECT_FALSE(std::filesystem::exists(log()));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));

  // A plug-in that cannot be loaded is a problem of its own.
  RunResult no_plugin =
      riphost_test::run_in_process({"--plugin", (dir_ / "none.so").string(), "--check", (dir_ / "job.json").string()});
  EXPECT_EQ(no_plugin.status, 2);
  EXPECT_NE(no_plugin.err.find("riphost: error: cannot load the plug-in"), std::string::npos) << no_plugin.err;
}

TEST_F(CliTest, RunsPrintResultsAndRefusedRunsLeaveNothing) {
  RunResult plain = run({});
  ASSERT_EQ(plain.status, 0) << plain.err;
  std::string out = (dir_ / "out" / "deep").string();
  // The ink share of each separation after the run.
  EXPECT_EQ(plain.out, "wrote " + out + "/fake-1.tav\nwrote " + out + "/fake-2.tav\npage 1: C 100.0 %  K 50.0 %\n");
  EXPECT_EQ(plain.err, "");
  RunResult verbose = run({"-v"});
  EXPECT_EQ(verbose.out.rfind("riphost: info: the output plug-in is open\n", 0), 0u) << verbose.out;
  RunResult quiet = run({"--quiet"});
  EXPECT_EQ(quiet.out, "");
  // -o replaces the ticket's folder.
  RunResult moved = run({"-o", (dir_ / "other").string()});
  ASSERT_EQ(moved.status, 0) << moved.err;
  EXPECT_EQ(moved.out.rfind("wrote " + (dir_ / "other").string() + "/fake-1.tav\n", 0), 0u) << moved.out;

  // The driver's option check refuses the ticket after the folder was made
  // for the run: the folders made are removed again, older ones stay.
  write_file(dir_ / "typo.json", R"({"device": "dev", "output": "made/here", "options": {"OFORMT": "x"},
    "jobs": [{"name": "j", "pages": [{"width": 8, "height": 1, "separations": [{"name": "K", "pattern": "ramp"}]}]}]})");
  std::filesystem::remove(log());
  RunResult typo = run({}, "typo.json");
  EXPECT_EQ(typo.status, 2);
  EXPECT_EQ(read_lines(log()), (Lines{"open", "close"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "made"));
  RunResult kept = run({"-o", (dir_ / "other").string()}, "typo.json");
  EXPECT_EQ(kept.status, 2);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "other"));
}

// A document's options are refused with a ticket, which names its box itself.
TEST_F(CliTest, DocumentOptionsWithATicketAreRefused) {
  for (const char* option : {"--trim-box", "--media-box", "--render-only"}) {
    RunResult refused = run({option});
    EXPECT_EQ(refused.status, 2) << option;
    EXPECT_NE(refused.err.find("go with a document (PDF, PostScript or EPS), not with a ticket (its documents take "
                               "\"box\")"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out")) << option;
  }
}

TEST_F(CliTest, TicketFromStandardInput) {
  std::filesystem::path home = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  // Relative names are taken against the working folder.
  write_file(dir_ / "input.json", R"({"device": "dev", "output": "from-stdin", "jobs": [{"name": "j",
    "pages": [{"width": 8, "height": 1, "separations": [{"name": "K", "pattern": "ramp"}]}]}]})");
  ASSERT_NE(std::freopen((dir_ / "input.json").c_str(), "rb", stdin), nullptr);
  RunResult result = run({}, "-");
  write_file(dir_ / "broken.json", "{\"device\": 1}");
  ASSERT_NE(std::freopen((dir_ / "broken.json").c_str(), "rb", stdin), nullptr);
  RunResult broken = run({"--check"}, "-");
  ASSERT_NE(std::freopen("/dev/null", "rb", stdin), nullptr);
  ASSERT_EQ(chdir(home.c_str()), 0);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "wrote " + (dir_ / "from-stdin").string() + "/fake-1.tav\npage 1: K 62.5 %\n");
  EXPECT_EQ(broken.status, 2);
  EXPECT_EQ(broken.err.rfind("riphost: error: standard input: device: expected a text, found an integer\n", 0), 0u)
      << broken.err;
}

}  // namespace
