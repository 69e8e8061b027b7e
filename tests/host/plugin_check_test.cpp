// plugin_check_test.cpp - riphost with the real plug-in: --check finds what
// the run would refuse or warn about, before anything is written, and the
// run gives the same texts; riphost's line after each names the ticket
// place and the fix. Also what -v and -vv show.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "test_support.h"

namespace {

using Json = nlohmann::ordered_json;
using riphost_test::RunResult;
using riphost_test::TempDir;
using riphost_test::write_file;

// One job at 1200 ppi, one small page; the device folder's default
// configuration CTP has film Plate (30 x 40 inches) and 1200 and 2400 ppi.
Json base_ticket() {
  return Json::parse(R"({"device": "dev", "output": "out", "jobs": [{"name": "j", "ppi": 1200, "options": {},
    "pages": [{"width": 16, "height": 2, "separations": [{"name": "K", "pattern": "bars", "bar": 4}]}]}]})");
}

// A mistake in the ticket, the lines the plug-in and riphost give for it
// in a check (without the ticket's name), whether the run still writes its
// files (a warning) or is refused, and how many of the lines the run meets
// (it ends a job at its first refused page; 0: all).
struct Mistake {
  const char* name;
  std::function<void(Json&)> edit;
  std::vector<std::string> lines;
  bool run_writes;
  std::size_t run_lines = 0;
};

// A failing case is named by its name, not by its bytes.
void PrintTo(const Mistake& mistake, std::ostream* out) { *out << mistake.name; }

class PluginCheckTest : public ::testing::TestWithParam<Mistake> {
 protected:
  void SetUp() override { riphost_test::write_device_folder(dir_ / "dev"); }

  std::string ticket(const std::function<void(Json&)>& edit) {
    Json json = base_ticket();
    if (edit) edit(json);
    write_file(dir_ / "job.json", json.dump(2));
    return (dir_ / "job.json").string();
  }

  RunResult run(const std::vector<std::string>& extra, const std::string& file) {
    std::vector<std::string> args = {"--plugin", DRAVOUT_PLUGIN_PATH};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(file);
    return riphost_test::run_in_process(args);
  }

  TempDir dir_;
};

TEST_P(PluginCheckTest, CheckFindsWhatTheRunMeets) {
  const Mistake& mistake = GetParam();
  const std::string file = ticket(mistake.edit);
  RunResult check = run({"--check"}, file);
  EXPECT_EQ(check.status, 2) << check.err;
  std::string expected;
  for (const std::string& line : mistake.lines) expected += "riphost: error: " + file + ": " + line + "\n";
  EXPECT_EQ(check.err, expected);
  EXPECT_EQ(check.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));

  // The run meets the same texts, each followed by riphost's line.
  RunResult run_result = run({}, file);
  const std::size_t met = mistake.run_lines == 0 ? mistake.lines.size() : mistake.run_lines;
  for (std::size_t i = 0; i < met; ++i) {
    const std::string text = mistake.lines[i].substr(mistake.lines[i].find(": ") + 2);
    EXPECT_NE(run_result.err.find(": " + text + "\n"), std::string::npos) << text << "\n" << run_result.err;
  }
  EXPECT_EQ(run_result.status, mistake.run_writes ? 0 : 1) << run_result.err;
  // A refused run leaves no empty output folder of its own behind.
  EXPECT_EQ(std::filesystem::exists(dir_ / "out"), mistake.run_writes);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, PluginCheckTest,
    ::testing::Values(
        Mistake{"unknown_format", [](Json& t) { t["jobs"][0]["options"]["OFORMAT"] = "TIFF"; },
                {"jobs[0]: Invalid format (TIFF) chosen",
                 "jobs[0].options.OFORMAT: \"TIFF\" is no TAV format: give \"FW8B\" (1 bit per pixel, the "
                 "default), \"FW88B\" (8 bits per pixel) or \"FW16B\""},
                false},
        Mistake{"unknown_compression", [](Json& t) { t["options"]["OCOMPRESS"] = "ZIP"; },
                {"jobs[0]: Invalid type (ZIP) chosen",
                 "options.OCOMPRESS: \"ZIP\" is no compression: give \"FLATE\" (Deflate, the default), \"SUN\" "
                 "(PackBits) or \"NONE\""},
                false},
        Mistake{"resolution_not_listed", [](Json& t) { t["jobs"][0]["ppi"] = 2540; },
                {"jobs[0]: Requested resolution (2540) not found in selected configuration (CTP)",
                 "jobs[0].ppi: 2540 ppi is not a resolution of configuration CTP (it has 1200, 2400 ppi); give "
                 "one of those, or choose configuration CTP-4000 with \"CONF\""},
                true},
        Mistake{"page_wider_than_the_film",
                [](Json& t) {
                  t["jobs"][0]["pages"][0]["width"] = 40000;
                  t["jobs"][0]["pages"].push_back(t["jobs"][0]["pages"][0]);
                  t["jobs"][0]["pages"][1]["width"] = 36001;
                },
                {"jobs[0].pages[0]: Job width too big (40000 > 36000)",
                 "jobs[0].pages[0]: the page is 40000 pixels wide, 846.7 mm (33.33 in) at 1200 ppi; film Plate of "
                 "configuration CTP takes at most 36000 pixels, 762 mm (30 in)",
                 // Every page is tried, not only the first.
                 "jobs[0].pages[1]: Job width too big (36001 > 36000)",
                 "jobs[0].pages[1]: the page is 36001 pixels wide, 762 mm (30 in) at 1200 ppi; film Plate of "
                 "configuration CTP takes at most 36000 pixels, 762 mm (30 in)"},
                false, 2},
        Mistake{"page_higher_than_the_film", [](Json& t) { t["jobs"][0]["pages"][0]["height"] = 48001; },
                {"jobs[0].pages[0]: Job height too big (48001 > 48000)",
                 "jobs[0].pages[0]: the page is 48001 pixels high, 1016 mm (40 in) at 1200 ppi; film Plate of "
                 "configuration CTP takes at most 48000 pixels, 1016 mm (40 in)"},
                false},
        Mistake{"rotation_out_of_range", [](Json& t) { t["jobs"][0]["options"]["ROT"] = 7; },
                {"jobs[0]: Invalid 'rot' option: 7",
                 "jobs[0].options.ROT: 7 is no rotation: give 0, 1, 2 or 3 quarter turns (0, 270, 180 or 90 "
                 "degrees); 0 is used"},
                true},
        Mistake{"scale_without_a_number", [](Json& t) { t["jobs"][0]["options"]["SCALE"] = "big"; },
                {"jobs[0]: Could not correctly parse 'scale' option: big",
                 "jobs[0].options.SCALE: give one factor (\"1.02\") or two, vertical and horizontal (\"1.02, "
                 "0.98\"), each greater than 0 and at most 1000; 1.0 is used"},
                true}),
    [](const ::testing::TestParamInfo<Mistake>& info) { return std::string(info.param.name); });

TEST_F(PluginCheckTest, AGoodTicketPassesQuietly) {
  const std::string file = ticket(nullptr);
  RunResult quiet = run({"--check"}, file);
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  RunResult verbose = run({"--check", "-v"}, file);
  EXPECT_EQ(verbose.status, 0) << verbose.err;
  EXPECT_EQ(verbose.out, "riphost: info: " + file +
                             ": no problems: the ticket, its device file, its output folder and the plug-in's "
                             "settings and pages are all fine\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));
}

TEST_F(PluginCheckTest, EarlierProblemsKeepThePlugInFromTheJobs) {
  // The device check names the configuration; the plug-in is not driven
  // through a job it could not start, nor through half-read pages.
  std::string file = ticket([](Json& t) { t["jobs"][0]["options"]["CONF"] = "CTP-9"; });
  RunResult check = run({"--check"}, file);
  EXPECT_EQ(check.status, 2);
  EXPECT_EQ(check.err, "riphost: error: " + file + ": device: " + (dir_ / "dev" / "device.toml").string() +
                           ": no configuration named \"CTP-9\" (known: CTP, CTP-4000)\n");
  file = ticket([](Json& t) {
    t["jobs"][0]["pages"][0].erase("width");
    t["jobs"][0]["options"]["OFORMAT"] = "TIFF";
  });
  check = run({"--check"}, file);
  EXPECT_EQ(check.status, 2);
  EXPECT_EQ(check.err.find("Invalid format"), std::string::npos) << check.err;
  EXPECT_NE(check.err.find("jobs[0].pages[0].width: missing"), std::string::npos) << check.err;
}

TEST_F(PluginCheckTest, VerboseSaysWhereSettingsComeFromAndDebugShowsThePlugInsOwnTexts) {
  const std::string file = ticket([](Json& t) { t["jobs"][0]["options"]["OFORMAT"] = "FW88B"; });
  RunResult verbose = run({"-v"}, file);
  ASSERT_EQ(verbose.status, 0) << verbose.err;
  for (const char* line : {"riphost: info: device: dpi_h = 2000 (default; each job runs at its own ppi)\n",
                           "riphost: info: jobs[0]: OFORMAT = \"FW88B\" (jobs[0].options.OFORMAT)\n",
                           "riphost: info: jobs[0]: OCOMPRESS = \"FLATE\" (default)\n",
                           "riphost: info: jobs[0]: RES = 1200 (jobs[0].ppi)\n",
                           "riphost: info: jobs[0]: LEFT not set (default): rows are stored mirrored (right-reading "
                           "when exposed)\n",
                           "riphost: info: jobs[0]: CONF not set (default): the device file's default "
                           "configuration\n",
                           "riphost: info: jobs[0].pages[0].separations[0] \"K\": ink on 50.00 % of the page (16 of "
                           "32 pixels)\n",
                           "\npage 1: K 50.0 %\n"}) {
    EXPECT_NE(verbose.out.find(line), std::string::npos) << line << verbose.out;
  }
  // The plug-in's information and the trace wait for -vv.
  const char* plugin_text = "riphost: info: No XMP metadata available, so no XMP tag added\n";
  EXPECT_EQ(verbose.out.find(plugin_text), std::string::npos) << verbose.out;
  EXPECT_EQ(verbose.out.find("trace:"), std::string::npos) << verbose.out;
  EXPECT_EQ(verbose.out.find("hook 2"), std::string::npos) << verbose.out;
  RunResult debug = run({"-vv"}, file);
  ASSERT_EQ(debug.status, 0) << debug.err;
  for (const char* line : {plugin_text, "riphost: trace: dravout_open returned 0\n",
                           "riphost: trace: the plug-in asked for OFORMAT (text): \"FW88B\", from "
                           "jobs[0].options.OFORMAT\n",
                           "riphost: trace: the plug-in asked for OCOMPRESS (text): not set\n",
                           "riphost: trace: dravout_startpage for jobs[0].pages[0] returned 0\n",
                           "riphost: trace: dravout_newscan and dravout_putscan for rows 0-1 of "
                           "jobs[0].pages[0].separations[0] returned 0\n",
                           "riphost: trace: screening hooks: SCRSEL claimed, SCR claimed, hook 2 not claimed\n"}) {
    EXPECT_NE(debug.out.find(line), std::string::npos) << line << debug.out;
  }
}

}  // namespace
