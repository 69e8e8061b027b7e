// confine_test.cpp - --confine: a ticket from others may name only files and
// folders that resolve, links followed, into its own folder or an --allow
// folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "test_support.h"
#include "ticket/ticket.h"

namespace {

namespace fs = std::filesystem;
using riphost_test::TempDir;
using riphost_test::write_file;
using Json = nlohmann::ordered_json;

// <tmp>/hot holds the ticket's folder's files, <tmp>/other what lies beside
// it, with links from the one into the other.
class ConfineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"hot", "hot/dev", "hot/img", "other", "other/dev"}) fs::create_directory(dir_ / folder);
    const std::string pbm = riphost_test::make_pbm(8, 2, [](int x, int) { return x < 4; });
    for (const char* file : {"hot/img/mark.pbm", "other/secret.pbm"}) write_file(dir_ / file, pbm);
    for (const char* file : {"hot/page.xmp", "other/page.xmp"}) write_file(dir_ / file, "<x/>");
    fs::create_symlink(dir_ / "other/secret.pbm", dir_ / "hot/img/link.pbm");
    fs::create_symlink("mark.pbm", dir_ / "hot/img/inner.pbm");
    fs::create_directory_symlink(dir_ / "other", dir_ / "hot/away");
  }

  fs::path hot() const { return dir_ / "hot"; }

  static Json ticket() {
    return Json::parse(R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "pages": [
        {"width": 8, "height": 2, "xmp": "page.xmp", "separations": [
          {"name": "K", "image": "img/mark.pbm"},
          {"name": "C", "gradient": "vertical", "copydot": "img/mark.pbm"}]}]}]})");
  }

  // The problems of the changed ticket, read with options.
  std::vector<std::string> problems_of(const std::function<void(Json&)>& change, riphost::TicketOptions options) {
    Json json = ticket();
    change(json);
    std::vector<std::string> problems;
    riphost::check_ticket_text(json.dump(), hot(), options, problems);
    return problems;
  }

  static riphost::TicketOptions confined(std::vector<std::string> allowed = {}) {
    riphost::TicketOptions options;
    options.confine = true;
    options.allowed = std::move(allowed);
    return options;
  }

  TempDir dir_;
};

struct Escape {
  const char* what;
  std::function<void(Json&)> change;
  std::string place;  // where the problem is named
};

TEST_F(ConfineTest, EveryNameThatLeadsOutIsRefusedAndOnlyWhenConfined) {
  const std::string sep = "jobs[0].pages[0].separations[";
  const std::vector<Escape> escapes = {
      {"relative", [](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["image"] = "../other/secret.pbm"; },
       sep + "0].image: ../other/secret.pbm"},
      {"file link", [](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["image"] = "img/link.pbm"; },
       sep + "0].image: img/link.pbm"},
      {"folder link", [](Json& t) { t["jobs"][0]["pages"][0]["separations"][1]["copydot"] = "away/secret.pbm"; },
       sep + "1].copydot: away/secret.pbm"},
      {"absolute xmp", [this](Json& t) { t["jobs"][0]["pages"][0]["xmp"] = (dir_ / "other/page.xmp").string(); },
       "jobs[0].pages[0].xmp: " + (dir_ / "other/page.xmp").string()},
      {"separation xmp", [](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["xmp_file"] = "away/page.xmp"; },
       sep + "0].xmp_file: away/page.xmp"},
      {"device", [](Json& t) { t["device"] = "../other/dev"; }, "device: ../other/dev"},
      {"output", [](Json& t) { t["output"] = "away/new/out"; }, "output: away/new/out"},
  };
  const std::string target = fs::canonical(dir_ / "other").string();
  for (const Escape& escape : escapes) {
    EXPECT_EQ(problems_of(escape.change, {}), std::vector<std::string>{}) << escape.what;
    const std::vector<std::string> problems = problems_of(escape.change, confined());
    ASSERT_EQ(problems.size(), 1u) << escape.what;
    EXPECT_EQ(problems[0].rfind(escape.place + " resolves to " + target, 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(", outside the ticket's folder and the --allow folders (--confine)"),
              std::string::npos)
        << problems[0];
    // An --allow folder lets the same names through.
    EXPECT_EQ(problems_of(escape.change, confined({(dir_ / "other").string()})), std::vector<std::string>{})
        << escape.what;
  }
}

TEST_F(ConfineTest, NamesInsideAreTakenByWhatTheyResolveTo) {
  riphost::TicketOptions options = confined();
  options.output = (dir_ / "other/out").string();  // the command line's -o is the operator's
  Json json = ticket();
  json["jobs"][0]["pages"][0]["separations"][0]["image"] = "img/inner.pbm";
  std::vector<std::string> problems;
  riphost::Ticket read = riphost::check_ticket_text(json.dump(), hot(), options, problems);
  EXPECT_EQ(problems, std::vector<std::string>{});
  ASSERT_EQ(read.jobs.size(), 1u);
  const riphost::Page& page = read.jobs[0].pages[0];
  EXPECT_EQ(page.separations[0].source.image, fs::canonical(hot() / "img/mark.pbm"));
  EXPECT_EQ(page.separations[1].source.copydot, fs::canonical(hot() / "img/mark.pbm"));
  // A missing --allow folder is a problem of its own.
  problems.clear();
  riphost::check_ticket_text(ticket().dump(), hot(), confined({(dir_ / "none").string()}), problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("--allow: cannot resolve " + (dir_ / "none").string() + ": ", 0), 0u) << problems[0];
}

TEST_F(ConfineTest, CommandLineTakesConfineAndAllow) {
  std::string error;
  auto line = riphost::parse_command_line({"--confine", "--allow", "/srv/img", "--allow=/srv/xmp", "j.json"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_TRUE(line->confine);
  EXPECT_EQ(line->allowed, (std::vector<std::string>{"/srv/img", "/srv/xmp"}));
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--allow", "/srv", "j.json"}, "--allow needs --confine"},
           {{"--confine", "--allow"}, "--allow needs a value"},
           {{"--clean", "out", "--confine"}, "--confine is for tickets, not for --clean"}}) {
    error.clear();
    EXPECT_FALSE(riphost::parse_command_line(args, error));
    EXPECT_EQ(error, message);
  }
}

}  // namespace
