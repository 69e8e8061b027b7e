// ticket_test.cpp - reading the job ticket: values, defaults and every kind
// of error with the place it names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include <functional>
#include <nlohmann/json.hpp>

#include <tiffio.h>

#include "common/host_error.h"
#include "image_files.h"
#include "test_support.h"
#include "ticket/ticket.h"
#include "cli/ticket_check.h"

namespace {

using riphost::HostError;
using riphost::parse_ticket;
using riphost::Ticket;
using riphost_test::TempDir;
using riphost_test::write_file;
using Json = nlohmann::ordered_json;

// A valid ticket: one job, one page of two separations (pattern, image).
Json base_ticket() {
  return Json::parse(R"({
    "device": "dev",
    "output": "out",
    "options": {"CONF": "CTP-2400", "RES": 1200},
    "jobs": [{
      "name": "first",
      "options": {"LEFT": 1},
      "pages": [{
        "width": 64, "height": 16,
        "separations": [
          {"name": "Cyan", "pattern": "checker", "cell": 4},
          {"name": "Black", "image": "mark.pbm", "outputpage": 0}
        ]
      }]
    }]
  })");
}

class TicketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "dev");
    write_file(dir_ / "mark.pbm", riphost_test::make_pbm(40, 12, [](int x, int) { return x < 8; }));
  }

  Ticket parse(const Json& ticket) { return parse_ticket(ticket.dump(), dir_.path()); }

  // The message of the error the ticket raises ("" when it parses).
  std::string error_of(const std::string& text) {
    try {
      parse_ticket(text, dir_.path());
    } catch (const HostError& error) {
      return error.what();
    }
    return "";
  }
  std::string error_of(const std::function<void(Json&)>& change) {
    Json ticket = base_ticket();
    change(ticket);
    return error_of(ticket.dump());
  }

  TempDir dir_;
};

TEST_F(TicketTest, ReadsValuesAndDefaults) {
  Json json = base_ticket();
  json["jobs"].push_back(Json::parse(R"({"name": "second", "ppi": 2540.5, "bps": 1,
      "options": {"RES": 4000},
      "pages": [{"ncopies": 3, "options": {"REVERSE": 1},
                 "separations": [{"name": "Spot", "image": "mark.pbm", "threshold": 7,
                                  "options": {"OCOMPRESS": "SUN"}}]}]})"));
  json["jobs"].push_back(Json::parse(R"({"name": "third", "options": {"RES": 3000.5},
      "pages": [{"width": 8, "height": 8, "separations": [{"name": "K", "pattern": "ramp"}]}]})"));
  Ticket ticket = parse(json);

  EXPECT_EQ(ticket.device_dir, dir_.path() / "dev");
  EXPECT_EQ(ticket.output_dir, dir_.path() / "out");
  ASSERT_EQ(ticket.jobs.size(), 3u);
  const riphost::Job& first = ticket.jobs[0];
  EXPECT_EQ(first.name, "first");
  EXPECT_DOUBLE_EQ(first.ppi, 1200.0);  // the ticket's RES
  EXPECT_EQ(first.bps, 1);
  const riphost::Page& page = first.pages[0];
  EXPECT_EQ(page.width, 64);
  EXPECT_EQ(page.height, 16);
  EXPECT_EQ(page.ncopies, 1);
  ASSERT_EQ(page.separations.size(), 2u);
  EXPECT_EQ(page.separations[0].source.pattern, "checker");
  ASSERT_EQ(page.separations[0].source.parameters.size(), 1u);
  EXPECT_EQ(page.separations[0].source.parameters[0].second, 4);
  EXPECT_EQ(page.separations[1].where, "jobs[0].pages[0].separations[1]");
  EXPECT_EQ(page.separations[1].source.threshold, 128);
  const riphost::OptionEntry* outputpage = page.separations[1].options.find("OUTPUTPAGE");
  ASSERT_NE(outputpage, nullptr);
  EXPECT_EQ(std::get<std::int64_t>(outputpage->value), 0);
  EXPECT_EQ(outputpage->where, "jobs[0].pages[0].separations[1].outputpage");

  const riphost::Job& second = ticket.jobs[1];
  EXPECT_DOUBLE_EQ(second.ppi, 2540.5);  // "ppi" wins over RES
  const riphost::Page& image_page = second.pages[0];
  EXPECT_EQ(image_page.width, 40);  // the first separation's image
  EXPECT_EQ(image_page.height, 12);
  EXPECT_EQ(image_page.ncopies, 3);
  EXPECT_EQ(image_page.separations[0].source.threshold, 7);
  EXPECT_EQ(image_page.separations[0].source.image, dir_.path() / "mark.pbm");
  EXPECT_EQ(std::get<std::string>(image_page.separations[0].options.find("ocompress")->value), "SUN");
  EXPECT_DOUBLE_EQ(ticket.jobs[2].ppi, 3000.5);  // the job's RES over the ticket's
}

TEST_F(TicketTest, DefaultResolutionWithoutRes) {
  Json json = base_ticket();
  json["options"].erase("RES");
  EXPECT_DOUBLE_EQ(parse(json).jobs[0].ppi, riphost::kDefaultPpi);
}

TEST_F(TicketTest, SyntaxErrorNamesLineAndColumn) {
  // The message names the place of the fix and shows its line with a caret.
  std::string message = error_of("{\n  \"device\": \"dev\"\n  \"output\": \"out\"\n}");
  EXPECT_EQ(message,
            "line 2, column 18: a comma is missing here, after the value (the parser stopped at the next one, "
            "line 3, column 3)\n"
            "      \"device\": \"dev\"\n"
            "                     ^");
  message = error_of("{\"device\": \"dev\",");
  EXPECT_EQ(message.rfind("line 1, column 18: the ticket ends here", 0), 0u) << message;
  EXPECT_NE(error_of("[1, 2]").find("the ticket: expected an object"), std::string::npos);
}

// A slip of JSON syntax, the first line of its message and where the caret
// stands under the shown line (characters from the start of the line).
struct SyntaxCase {
  const char* name;
  const char* text;
  const char* first_line;
  const char* shown;
  std::size_t caret;
};

// A failing case is named, not dumped byte by byte.
void PrintTo(const SyntaxCase& c, std::ostream* out) { *out << c.name; }

class SyntaxErrorTest : public TicketTest, public ::testing::WithParamInterface<SyntaxCase> {};

TEST_P(SyntaxErrorTest, PointsAtTheFix) {
  const SyntaxCase& c = GetParam();
  const std::string message = error_of(c.text);
  const std::size_t first_end = message.find('\n');
  ASSERT_NE(first_end, std::string::npos) << message;
  EXPECT_EQ(message.substr(0, first_end), c.first_line);
  const std::size_t shown_end = message.find('\n', first_end + 1);
  ASSERT_NE(shown_end, std::string::npos) << message;
  EXPECT_EQ(message.substr(first_end + 1, shown_end - first_end - 1), std::string("    ") + c.shown);
  EXPECT_EQ(message.substr(shown_end + 1), std::string(4 + c.caret, ' ') + "^");
}

INSTANTIATE_TEST_SUITE_P(
    Slips, SyntaxErrorTest,
    ::testing::Values(
        SyntaxCase{"comma_missing_in_a_list", "{\"jobs\": [1, 2\n 3]}",
                   "line 1, column 15: a comma is missing here, after the value (the parser stopped at the next one, "
                   "line 2, column 2)",
                   "{\"jobs\": [1, 2", 14},
        SyntaxCase{"comma_missing_after_an_object", "{\"a\": {\"x\": 1} \"b\": 2}",
                   "line 1, column 15: a comma is missing here, after the value (the parser stopped at the next one, "
                   "line 1, column 16)",
                   "{\"a\": {\"x\": 1} \"b\": 2}", 14},
        SyntaxCase{"comma_missing_before_a_literal", "[true false]",
                   "line 1, column 6: a comma is missing here, after the value (the parser stopped at the next one, "
                   "line 1, column 7)",
                   "[true false]", 5},
        SyntaxCase{"colon_missing", "{\n\t\"device\" \"dev\"}", "line 2, column 10: a colon is missing here, after the key",
                   " \"device\" \"dev\"}", 9},
        SyntaxCase{"comma_before_the_end", "{\"device\": \"dev\",\n}",
                   "line 1, column 17: this comma has no value after it: remove it", "{\"device\": \"dev\",", 16},
        SyntaxCase{"text_not_closed", "{\"device\": \"dev\n}",
                   "line 1, column 16: this text runs to the end of its line: its closing \" is missing (a line "
                   "break inside a text is written \\n)",
                   "{\"device\": \"dev", 15},
        SyntaxCase{"object_not_closed", "{\"device\": \"dev\"\n\n",
                   "line 1, column 17: the ticket ends here, before all of its lists and objects are closed (a } or ] "
                   "is missing)",
                   "{\"device\": \"dev\"", 16},
        // Columns count characters: "été" is 3 of them in 5 bytes.
        SyntaxCase{"columns_count_characters", "{\"n\": \"\xc3\xa9t\xc3\xa9\" \"b\": 1}",
                   "line 1, column 12: a comma is missing here, after the value (the parser stopped at the next one, "
                   "line 1, column 13)",
                   "{\"n\": \"\xc3\xa9t\xc3\xa9\" \"b\": 1}", 11}),
    [](const ::testing::TestParamInfo<SyntaxCase>& info) { return std::string(info.param.name); });

TEST_F(TicketTest, SyntaxErrorInALongLineShowsAWindowAroundThePlace) {
  const std::string text = "{\"a\": \"" + std::string(300, 'x') + "\" \"b\": \"" + std::string(300, 'y') + "\"}";
  const std::string message = error_of(text);
  EXPECT_EQ(message.rfind("line 1, column 309: a comma is missing here", 0), 0u) << message;
  const std::size_t shown = message.find('\n') + 1;
  const std::string line = message.substr(shown, message.find('\n', shown) - shown);
  EXPECT_EQ(line.rfind("    ..." + std::string(59, 'x') + "\" \"b\"", 0), 0u) << line;
  EXPECT_LT(line.size(), 120u);
  EXPECT_EQ(line.substr(line.size() - 3), "...");
  EXPECT_EQ(message.substr(message.rfind('\n') + 1), std::string(4 + 3 + 60, ' ') + "^");
}

TEST_F(TicketTest, EmptyTicketIsNamedSo) {
  EXPECT_EQ(error_of(" \n "), "line 1, column 1: the ticket is empty: it needs a JSON object");
}

TEST_F(TicketTest, RepeatedKeyIsRefused) {
  std::string text = base_ticket().dump();
  text.replace(text.find("\"name\":\"first\""), 14, "\"name\":\"first\",\"name\":\"again\"");
  EXPECT_EQ(error_of(text), "jobs[0].name: key given twice");
  text = base_ticket().dump();
  text.replace(text.find("\"cell\":4"), 8, "\"cell\":4,\"cell\":5");
  EXPECT_EQ(error_of(text), "jobs[0].pages[0].separations[0].cell: key given twice");
}

TEST_F(TicketTest, UnknownKeysAreRefused) {
  // A slip of the keyboard gets the key meant; a key far from every allowed
  // one gets the list of them.
  struct Case {
    std::function<void(Json&)> edit;
    const char* problem;
  };
  const Case cases[] = {
      {[](Json& t) { t["jbos"] = 1; }, "jbos: unknown key (did you mean jobs?)"},
      {[](Json& t) { t["Device2"] = 1; }, "Device2: unknown key (did you mean device?)"},
      {[](Json& t) { t["printer"] = 1; },
       "printer: unknown key (expected one of: device, output, options, screens, default_screen, screen_handles, "
       "jobs, comment)"},
      {[](Json& t) { t["jobs"][0]["pags"] = 1; }, "jobs[0].pags: unknown key (did you mean pages?)"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["ring"] = 3; },
       "jobs[0].pages[0].separations[0].ring: unknown key (expected one of:"},
      // A threshold belongs to images only.
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["threshold"] = 3; },
       "jobs[0].pages[0].separations[0].threshold: unknown key (expected one of:"},
      {[](Json& t) { t["jobs"][0]["pages"][0]["separations"][1]["contnoe"] = "x"; },
       "jobs[0].pages[0].separations[1].contnoe: unknown key"},
  };
  for (const Case& c : cases) {
    const std::string error = error_of(c.edit);
    EXPECT_EQ(error.rfind(c.problem, 0), 0u) << error;
  }
  // "comment" is allowed everywhere outside the options.
  EXPECT_EQ(error_of([](Json& t) {
              t["comment"] = "x";
              t["jobs"][0]["pages"][0]["separations"][1]["comment"] = {"a", "b"};
            }),
            "");
}

TEST_F(TicketTest, CmykTiffWithoutChannelSaysToAddIt) {
  const riphost_test::SampleRows rows(2, std::vector<std::uint8_t>(8, 0x40));
  ASSERT_TRUE(riphost_test::write_tiff(dir_ / "cmyk.tif", 2, 2, 8, 4, PHOTOMETRIC_SEPARATED, rows));
  const char* hint = "a CMYK TIFF image: add \"channel\": \"C\", \"M\", \"Y\" or \"K\" to screen one of its inks";
  for (const char* key : {"contone", "image"}) {
    const std::string error = error_of([&](Json& t) {
      t["jobs"][0]["pages"][0]["separations"][1] = {{"name", "K"}, {key, "cmyk.tif"}};
    });
    EXPECT_EQ(error.rfind(std::string("jobs[0].pages[0].separations[1].") + key + ": cmyk.tif: " + hint, 0), 0u)
        << error;
  }
  // With its channel the image is taken.
  EXPECT_EQ(error_of([](Json& t) {
              t["jobs"][0]["pages"][0]["separations"][1] = {{"name", "K"}, {"contone", "cmyk.tif"}, {"channel", "K"}};
            }),
            "");
}

TEST_F(TicketTest, IllTypedAndMissingValuesAreRefused) {
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["ppi"] = "high"; }), "jobs[0].ppi: expected a number, found a text");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["ppi"] = 0; }),
            "jobs[0].ppi: must be greater than 0 and at most 1000000");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["width"] = 10.5; }),
            "jobs[0].pages[0].width: expected an integer, found 10.5");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["height"] = 0; }),
            "jobs[0].pages[0].height: must be between 1 and 16777216");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"][1]["outputpage"] = 2; }),
            "jobs[0].pages[0].separations[1].outputpage: must be between 0 and 1");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"][1]["threshold"] = true; }),
            "jobs[0].pages[0].separations[1].threshold: expected an integer, found true or false");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0].erase("name"); }), "jobs[0].name: missing");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"] = Json::array(); }), "jobs: the list is empty");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"] = 3; }),
            "jobs[0].pages[0].separations: expected a list, found an integer");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["options"]["LEFT"] = Json::array(); }),
            "jobs[0].options.LEFT: expected a number or a text, found a list");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["options"] = "LEFT"; }),
            "jobs[0].options: expected an object, found a text");
}

TEST_F(TicketTest, SourcesAreChecked) {
  auto separation = [](Json& t) -> Json& { return t["jobs"][0]["pages"][0]["separations"][1]; };
  EXPECT_EQ(error_of([&](Json& t) { separation(t)["image"] = "x.png"; }),
            "jobs[0].pages[0].separations[1].image: file not found: x.png");
  EXPECT_EQ(error_of([&](Json& t) { separation(t)["image"] = "dev"; }),
            "jobs[0].pages[0].separations[1].image: not a file: dev");
  write_file(dir_ / "junk.png", "not an image at all");
  EXPECT_EQ(error_of([&](Json& t) { separation(t)["image"] = "junk.png"; }),
            "jobs[0].pages[0].separations[1].image: junk.png: not a PBM, PNG or TIFF image");
  EXPECT_EQ(error_of([&](Json& t) { separation(t)["pattern"] = "ramp"; }),
            "jobs[0].pages[0].separations[1]: give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several");
  EXPECT_EQ(error_of([&](Json& t) { separation(t).erase("image"); }),
            "jobs[0].pages[0].separations[1]: missing its content: give \"pattern\", \"image\", \"contone\" or \"gradient\"");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["pattern"] = "zebra"; }),
            "jobs[0].pages[0].separations[0].pattern: unknown pattern \"zebra\" (known: bars, checker, ramp, target)");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"][0]["cell"] = 0; }),
            "jobs[0].pages[0].separations[0].cell: must be between 1 and 16777216");
  // The page size defaults to the first separation's image only.
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0].erase("width"); }).rfind(
                "jobs[0].pages[0].width: missing (it defaults to the size of the first separation's image", 0),
            0u);
}

TEST_F(TicketTest, OptionsAreChecked) {
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["options"]["CONF"] = std::string(255, 'c'); }), "");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["options"]["CONF"] = std::string(256, 'c'); }),
            "jobs[0].options.CONF: text of 256 bytes; options take at most 255");
  EXPECT_EQ(error_of([](Json& t) { t["options"]["res"] = 2400; }),
            "options.res: option given twice (also as options.RES)");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["pages"][0]["separations"][1]["options"]["OutputPage"] = 1; }),
            "jobs[0].pages[0].separations[1].outputpage: option given twice (also as "
            "jobs[0].pages[0].separations[1].options.OutputPage)");
  EXPECT_EQ(error_of([](Json& t) { t["options"]["outdir"] = "/tmp"; }),
            "options.outdir: set by riphost from the ticket's \"output\"");
  EXPECT_EQ(error_of([](Json& t) { t["jobs"][0]["options"]["JobName"] = "x"; }),
            "jobs[0].options.JobName: set by riphost from the job's \"name\"");
  EXPECT_EQ(error_of([](Json& t) { t["options"]["DEVICEDIR"] = "x"; }),
            "options.DEVICEDIR: set by riphost from the ticket's \"device\"");
  EXPECT_EQ(error_of([](Json& t) { t["options"]["X"] = std::string("a\0b", 3); }),
            "options.X: text contains a zero byte");
  EXPECT_EQ(error_of([](Json& t) { t["options"]["RES"] = -3; }),
            "jobs[0].ppi: missing, and options.RES (-3) is no usable resolution");
}

TEST_F(TicketTest, CommentsInOptionsAreNoOptions) {
  Json json = base_ticket();
  json["options"]["comment"] = "ticket-wide options";
  json["jobs"][0]["options"]["comment"] = {"a", "list", "even"};
  json["jobs"][0]["pages"][0]["options"] = {{"comment", 1}, {"REVERSE", 1}};
  json["jobs"][0]["pages"][0]["separations"][0]["options"] = {{"comment", "x"}};
  Ticket ticket = parse(json);
  EXPECT_EQ(ticket.options.find("comment"), nullptr);
  EXPECT_NE(ticket.options.find("CONF"), nullptr);
  EXPECT_EQ(ticket.jobs[0].options.find("comment"), nullptr);
  EXPECT_EQ(ticket.jobs[0].pages[0].options.find("comment"), nullptr);
  EXPECT_NE(ticket.jobs[0].pages[0].options.find("REVERSE"), nullptr);
  EXPECT_EQ(ticket.jobs[0].pages[0].separations[0].options.find("comment"), nullptr);
}

TEST_F(TicketTest, DeepNestingIsRefused) {
  // The ticket object and 63 lists: 64 levels are taken.
  auto nested = [](int lists) {
    return "{\"comment\":\n" + std::string(static_cast<std::size_t>(lists), '[') +
           std::string(static_cast<std::size_t>(lists), ']') + "}";
  };
  EXPECT_EQ(error_of(nested(63)), "device: missing\noutput: missing\njobs: missing");
  EXPECT_EQ(error_of(nested(64)),
            "line 2, column 64: nested too deeply (at most 64 levels of lists and objects)");
  // A megabyte of brackets stops at the first one too many.
  EXPECT_EQ(error_of(std::string(1u << 20, '[')).rfind("line 1, column 65: nested too deeply", 0), 0u);
  // Brackets inside texts do not count.
  Json json = base_ticket();
  json["comment"] = std::string(100, '[') + "\"{";
  EXPECT_EQ(error_of(json.dump()), "");
}

TEST_F(TicketTest, FoldersAreChecked) {
  EXPECT_EQ(error_of([](Json& t) { t["device"] = "nodev"; }), "device: folder not found: nodev");
  EXPECT_EQ(error_of([](Json& t) { t.erase("output"); }), "output: missing");
  write_file(dir_ / "plain", "");
  EXPECT_EQ(error_of([](Json& t) { t["output"] = "plain"; }), "output: not a folder: plain");
  EXPECT_EQ(error_of([](Json& t) { t["output"] = std::string(250, 'o'); }).rfind(
                "output: the folder's full name is longer than 255 bytes", 0),
            0u);
}

TEST_F(TicketTest, OutputFolderIsMadeOnlyOnRequest) {
  Json json = base_ticket();
  json["output"] = "made/here";
  write_file(dir_ / "good.json", json.dump());
  Ticket ticket = riphost::load_ticket(dir_ / "good.json");
  EXPECT_EQ(ticket.output_dir, dir_ / "made" / "here");
  // Reading a ticket creates nothing; the run makes the folder after all checks.
  EXPECT_FALSE(std::filesystem::exists(dir_ / "made"));
  riphost::create_output_folder(ticket);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "made" / "here"));

  json["output"] = "never";
  json["jobs"][0]["ppi"] = "bad";
  write_file(dir_ / "bad.json", json.dump());
  EXPECT_THROW(riphost::load_ticket(dir_ / "bad.json"), HostError);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "never"));
  EXPECT_THROW(riphost::load_ticket(dir_ / "absent.json"), HostError);
  // A folder that cannot be made is named with the reason.
  write_file(dir_ / "plain", "");
  ticket.output_dir = dir_ / "plain" / "sub";
  try {
    riphost::create_output_folder(ticket);
    ADD_FAILURE() << "no error";
  } catch (const HostError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("output: cannot create folder " + (dir_ / "plain" / "sub").string(), 0),
              0u)
        << error.what();
  }
}

TEST_F(TicketTest, EveryProblemIsListedInTicketOrder) {
  Json json = base_ticket();
  json["jbos"] = 1;
  json["jobs"][0]["ppi"] = "high";
  json["jobs"][0]["options"]["X"] = Json::array();
  json["jobs"][0]["pages"][0]["separations"][1]["image"] = "none.png";  // the page's size is given
  json["jobs"].push_back(Json::parse(R"({"name": "", "bps": 0, "pages": [
      {"separations": [{"name": "K", "image": "none.pbm"}, {"name": "C", "pattern": "ramp", "image": "x"}]}]})"));
  std::vector<std::string> problems;
  riphost::check_ticket_text(json.dump(), dir_.path(), {}, problems);
  std::vector<std::string> expected = {
      "jbos: unknown key (did you mean jobs?)",
      "jobs[0].options.X: expected a number or a text, found a list",
      "jobs[0].ppi: expected a number, found a text",
      "jobs[0].pages[0].separations[1].image: file not found: none.png",
      "jobs[1].name: empty text",
      "jobs[1].bps: must be between 1 and 32",
      // Not followed by "width: missing": the image's own problem says it all.
      "jobs[1].pages[0].separations[0].image: file not found: none.pbm",
      "jobs[1].pages[0].separations[1]: give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several",
  };
  EXPECT_EQ(problems, expected);
  // parse_ticket throws them all at once, one a line.
  try {
    parse_ticket(json.dump(), dir_.path());
    ADD_FAILURE() << "no error";
  } catch (const riphost::TicketError& error) {
    EXPECT_EQ(error.problems(), expected);
    EXPECT_EQ(std::string(error.what()).rfind(expected[0] + "\n" + expected[1] + "\n", 0), 0u);
  }
}

TEST_F(TicketTest, NothingMayFollowTheTicket) {
  std::string text = base_ticket().dump();
  EXPECT_EQ(error_of(text + " \n\t\r\n"), "");
  // The parser would stop at a zero byte and never see what follows it.
  EXPECT_EQ(error_of(text + std::string(1, '\0')),
            "line 1, column " + std::to_string(text.size() + 1) + ": zero byte (a ticket is UTF-8 text without zero bytes)");
  EXPECT_EQ(error_of(text + std::string("\0{\"x\":1}", 8)).rfind("line 1, column", 0), 0u);
  EXPECT_EQ(error_of(std::string("{\n\"device\"\0: 1}", 15)), "line 2, column 9: zero byte (a ticket is UTF-8 text without zero bytes)");
  EXPECT_EQ(error_of(text + "x").rfind("line 1, column " + std::to_string(text.size() + 1) + ": syntax error", 0), 0u);
  EXPECT_NE(error_of(text + "{}"), "");
}

TEST_F(TicketTest, ResFollowsThePpiUnlessTheTicketSetsIt) {
  Json json = base_ticket();
  json["options"].erase("RES");
  json["jobs"][0]["ppi"] = 1270.5;
  json["jobs"].push_back(Json::parse(R"({"name": "b", "options": {"Res": 4000}, "ppi": 2000,
      "pages": [{"width": 8, "height": 8, "separations": [{"name": "K", "pattern": "ramp"}]}]})"));
  json["jobs"].push_back(Json::parse(R"({"name": "c",
      "pages": [{"width": 8, "height": 8, "separations": [{"name": "K", "pattern": "ramp"}]}]})"));
  Ticket ticket = parse(json);
  const riphost::OptionEntry* res = ticket.jobs[0].options.find("RES");
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(std::get<double>(res->value), 1270.5);
  EXPECT_EQ(res->where, "jobs[0].ppi");
  EXPECT_EQ(std::get<std::int64_t>(ticket.jobs[1].options.find("RES")->value), 4000);  // the job's own
  EXPECT_EQ(std::get<double>(ticket.jobs[2].options.find("RES")->value), riphost::kDefaultPpi);
  // A ticket-wide RES is left to reach every job.
  Ticket wide = parse(base_ticket());
  EXPECT_EQ(wide.jobs[0].options.find("RES"), nullptr);
  EXPECT_EQ(std::get<std::int64_t>(wide.options.find("RES")->value), 1200);
}

TEST_F(TicketTest, OutputFolderFromTheCommandLine) {
  Json json = base_ticket();
  json.erase("output");  // not needed with -o
  riphost::TicketOptions options;
  // A relative name is taken against the working folder, not the ticket's.
  options.output = "rel/out";
  EXPECT_EQ(parse_ticket(json.dump(), dir_.path(), options).output_dir,
            (std::filesystem::current_path() / "rel" / "out").lexically_normal());
  write_file(dir_ / "plain", "");
  options.output = (dir_ / "plain").string();
  EXPECT_THROW(
      {
        try {
          parse_ticket(json.dump(), dir_.path(), options);
        } catch (const HostError& error) {
          EXPECT_EQ(std::string(error.what()), "-o: not a folder: " + (dir_ / "plain").string());
          throw;
        }
      },
      HostError);
}

TEST_F(TicketTest, TicketTextIsReadWithinTheLimit) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::string block(riphost::kMaxTicketBytes, ' ');
  ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), file), block.size());
  std::rewind(file);
  EXPECT_EQ(riphost::read_ticket_text(file).size(), riphost::kMaxTicketBytes);
  std::fputc(' ', file);
  std::rewind(file);
  try {
    riphost::read_ticket_text(file);
    ADD_FAILURE() << "no error";
  } catch (const HostError& error) {
    EXPECT_STREQ(error.what(), "the ticket is larger than 16 MiB");
  }
  std::fclose(file);
  // A folder given as the ticket is one problem, named.
  std::vector<std::string> problems;
  riphost::check_ticket_file(dir_ / "dev", {}, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "cannot read the ticket: Is a directory");
}

TEST_F(TicketTest, DeviceFileIsCheckedForEachConfiguration) {
  Json json = base_ticket();
  json["options"]["CONF"] = "ctp";  // names are compared without regard to case
  json["jobs"].push_back(json["jobs"][0]);
  json["jobs"][1]["options"]["CONF"] = "CTP-4000";
  auto device_problems = [&](const Json& ticket_json) {
    std::vector<std::string> problems;
    riphost::check_device(parse(ticket_json), problems);
    return problems;
  };
  // No device.toml yet.
  std::vector<std::string> problems = device_problems(json);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("device: ", 0), 0u);
  EXPECT_NE(problems[0].find("device.toml"), std::string::npos) << problems[0];

  riphost_test::write_device_folder(dir_ / "dev");
  EXPECT_EQ(device_problems(json), std::vector<std::string>());
  json["options"].erase("CONF");  // the file's default
  EXPECT_EQ(device_problems(json), std::vector<std::string>());
  // An unknown configuration is reported once, however many jobs name it.
  json["options"]["CONF"] = "CTP-9";
  json["jobs"].push_back(json["jobs"][0]);
  problems = device_problems(json);
  ASSERT_EQ(problems.size(), 1u) << problems[1];
  EXPECT_NE(problems[0].find("CTP-9"), std::string::npos) << problems[0];
  // A CONF that is no text is left to the option check.
  json["options"]["CONF"] = 7;
  EXPECT_EQ(device_problems(json), std::vector<std::string>());
}

TEST_F(TicketTest, OutputFolderMustBeWritableOrCreatable) {
  auto output_problems = [&](const std::string& output) {
    Json json = base_ticket();
    json["output"] = output;
    std::vector<std::string> problems;
    riphost::check_output_folder(parse(json), problems);
    return problems;
  };
  EXPECT_EQ(output_problems("dev"), std::vector<std::string>());
  EXPECT_EQ(output_problems("new/deeper/still"), std::vector<std::string>());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "new"));
  write_file(dir_ / "plain", "");
  std::vector<std::string> problems = output_problems("plain/sub");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "output: cannot create " + (dir_ / "plain" / "sub").string() + ": " +
                             (dir_ / "plain").string() + " is not a folder");
  if (geteuid() == 0) GTEST_SKIP() << "root may write everywhere";
  std::filesystem::create_directory(dir_ / "locked");
  std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  problems = output_problems("locked");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "output: cannot write into " + (dir_ / "locked").string() + ": Permission denied");
  problems = output_problems("locked/sub");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("output: cannot create " + (dir_ / "locked" / "sub").string(), 0), 0u);
}

}  // namespace
