// advice_test.cpp - riphost's line after a plug-in message, the device
// facts it is made from, and the ink share it counts.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/bitrow.h"
#include "driver/coverage.h"
#include "driver/device_facts.h"
#include "driver/plugin_advice.h"
#include "test_support.h"

namespace {

using riphost::AdviceContext;
using riphost::OptionSet;
using riphost::OptionStore;
using riphost::PluginAdvisor;
using riphost_test::TempDir;
using riphost_test::write_file;

// Two films and two configurations: CTP on the narrow one, WIDE on the
// wide one, at other resolutions.
constexpr const char* kDevice = R"([[film]]
name = "Narrow"
length = 20000
width = 10000

[[film]]
name = "Wide"
length = 40000
width = 30000

[[configuration]]
name = "CTP"
film = "Narrow"
default = true

  [[configuration.resolution]]
  ppi = 1200
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.0

[[configuration]]
name = "WIDE"
film = "Wide"

  [[configuration.resolution]]
  ppi = 2540
  gamma = 1.0
)";

class AdviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "dev");
    write_file(dir_ / "dev" / "device.toml", kDevice);
    job_.where = "jobs[1]";
    job_.ppi = 1200;
    page_.where = "jobs[1].pages[2]";
    job_options_.add("OFORMAT", std::string("TIFF"), "jobs[1].options.OFORMAT");
    job_options_.add("RES", 1200.0, "jobs[1].ppi");
    ticket_options_.add("SCALE", std::string("x"), "options.SCALE");
    store_.set_ticket(&ticket_options_);
    store_.set_job(&job_options_);
    context_.options = &store_;
    context_.job = &job_;
    context_.page = &page_;
    context_.device_dir = dir_ / "dev";
  }

  // The advice for a message given as its format and arguments.
  std::string advise(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    std::string advice = advisor_.advise(format, args);
    va_end(args);
    return advice;
  }

  std::string device_file() const { return (dir_ / "dev" / "device.toml").string(); }

  TempDir dir_;
  riphost::Job job_;
  riphost::Page page_;
  OptionSet ticket_options_;
  OptionSet job_options_;
  OptionStore store_;
  AdviceContext context_;
  PluginAdvisor advisor_{context_};
};

TEST_F(AdviceTest, EachKnownMessageGetsItsPlaceAndFix) {
  EXPECT_EQ(advise("Invalid format (%s) chosen", "TIFF"),
            "jobs[1].options.OFORMAT: \"TIFF\" is no TAV format: give \"FW8B\" (1 bit per pixel, the default), "
            "\"FW88B\" (8 bits per pixel) or \"FW16B\"");
  // An option the ticket does not give is named by its key alone.
  EXPECT_EQ(advise("Invalid type (%s) chosen", "ZIP"),
            "OCOMPRESS: \"ZIP\" is no compression: give \"FLATE\" (Deflate, the default), \"SUN\" (PackBits) or "
            "\"NONE\"");
  EXPECT_EQ(advise("Requested resolution (%.15g) not found in selected configuration (%s)", 2540.0, "CTP"),
            "jobs[1].ppi: 2540 ppi is not a resolution of configuration CTP (it has 1200, 2400 ppi); give one of "
            "those, or choose configuration WIDE with \"CONF\"");
  EXPECT_EQ(advise("Requested resolution (%.15g) not found in selected configuration (%s)", 3000.0, "CTP"),
            "jobs[1].ppi: 3000 ppi is not a resolution of configuration CTP (it has 1200, 2400 ppi); give one of "
            "those");
  // 15000 pixels at 1200 ppi: 12.5 inches; the narrow film takes 10.
  EXPECT_EQ(advise("Job width too big (%d > %d)", 15000, 12000),
            "jobs[1].pages[2]: the page is 15000 pixels wide, 317.5 mm (12.5 in) at 1200 ppi; film Narrow of "
            "configuration CTP takes at most 12000 pixels, 254 mm (10 in), or choose configuration WIDE (film "
            "Wide, 762 mm (30 in)) with \"CONF\"");
  // No configuration's film takes it: no other one is named.
  EXPECT_EQ(advise("Job height too big (%d > %d)", 60000, 24000),
            "jobs[1].pages[2]: the page is 60000 pixels high, 1270 mm (50 in) at 1200 ppi; film Narrow of "
            "configuration CTP takes at most 24000 pixels, 508 mm (20 in)");
  // The plug-in stops at the height; a width beyond the film is named too.
  page_.width = 12001;
  EXPECT_EQ(advise("Job height too big (%d > %d)", 60000, 24000),
            "jobs[1].pages[2]: the page is 60000 pixels high, 1270 mm (50 in) at 1200 ppi; film Narrow of "
            "configuration CTP takes at most 24000 pixels, 508 mm (20 in); the page is too wide as well: 12001 "
            "pixels, at most 12000 (254 mm (10 in))");
  EXPECT_EQ(advise("Film (%s) in selected configuration (%s) not found", "Gone", "CTP"),
            "device: configuration CTP uses film \"Gone\", which the device file " + device_file() +
                " does not list (films: Narrow, Wide)");
  EXPECT_EQ(advise("Invalid 'rot' option: %d", 9),
            "ROT: 9 is no rotation: give 0, 1, 2 or 3 quarter turns (0, 270, 180 or 90 degrees); 0 is used");
  EXPECT_EQ(advise("Could not correctly parse 'scale' option: %s", "x").rfind("options.SCALE: give one factor", 0),
            0u);
  EXPECT_EQ(advise("Could not correctly parse 'shrexp' option: %s", "x").rfind("SHREXP: give two numbers", 0), 0u);
  EXPECT_EQ(advise("Ignored what follows the numbers of '%s' option: %s", "scale", "(1,2"),
            "options.SCALE: write the numbers alone (\"1.02, 0.98\") or in parentheses (\"(1.02, 0.98)\")");
  EXPECT_EQ(advise("Invalid '%s' option: %g", "JOB_MBOT", 1e300),
            "JOB_MBOT: a margin in thousandths of an inch (1000 = 25.4 mm); 0 is used");
  EXPECT_EQ(advise("Invalid 'RES' option: %g", -1.0),
            "jobs[1].ppi: a resolution in pixels per inch greater than 0; 1000 is used");
  EXPECT_EQ(advise("Invalid bps (%d)", 8), "jobs[1].bps: riphost and the plug-in write 1 bit per sample: give 1 (or "
                                           "leave it out)");
}

TEST_F(AdviceTest, OtherMessagesGetNothing) {
  EXPECT_EQ(advise("TAV NO extended screen tag"), "");
  EXPECT_EQ(advise("%s", "Invalid format (TIFF) chosen"), "");
  EXPECT_EQ(advise("Writing scanline %d failed", 3), "");
  // The configuration exists: the library's own message said what is wrong.
  EXPECT_EQ(advise("Something went wrong during the reading of the res-file"), "");
}

TEST_F(AdviceTest, UnknownConfigurationListsTheOnesThereAre) {
  job_options_.add("CONF", std::string("CTP-9"), "jobs[1].options.CONF");
  EXPECT_EQ(advise("Something went wrong during the reading of the res-file"),
            "jobs[1].options.CONF: the device file " + device_file() +
                " has no configuration \"CTP-9\"; it has CTP, WIDE");
}

TEST_F(AdviceTest, WithoutADeviceFileTheMessageSaysWhatItCan) {
  context_.device_dir = dir_ / "nowhere";
  EXPECT_EQ(advise("Job width too big (%d > %d)", 15000, 12000),
            "jobs[1].pages[2]: the page is 15000 pixels wide, 317.5 mm (12.5 in) at 1200 ppi; the film takes at "
            "most 12000 pixels, 254 mm (10 in)");
  EXPECT_EQ(advise("Requested resolution (%.15g) not found in selected configuration (%s)", 2540.0, "CTP"),
            "jobs[1].ppi: 2540 ppi is not a resolution of configuration CTP");
}

TEST_F(AdviceTest, DeviceFactsHoldEveryFilmAndConfiguration) {
  const std::optional<riphost::DeviceFacts> facts = riphost::read_device_facts(dir_ / "dev");
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->file, device_file());
  EXPECT_EQ(facts->default_configuration, "CTP");
  ASSERT_EQ(facts->configurations.size(), 2u);
  EXPECT_EQ(facts->configurations[1].name, "WIDE");
  EXPECT_EQ(facts->configurations[1].film, "Wide");
  EXPECT_EQ(facts->configurations[0].resolutions, (std::vector<double>{1200, 2400}));
  ASSERT_NE(facts->configuration("wide"), nullptr);
  EXPECT_EQ(facts->configuration("")->name, "CTP");
  ASSERT_NE(facts->film("NARROW"), nullptr);
  EXPECT_DOUBLE_EQ(facts->film("NARROW")->width, 10000.0);
  EXPECT_EQ(facts->film("none"), nullptr);
  EXPECT_FALSE(riphost::read_device_facts(dir_ / "nowhere"));
  std::filesystem::create_directories(dir_ / "broken");
  write_file(dir_ / "broken" / "device.toml", "[[film]\n");
  EXPECT_FALSE(riphost::read_device_facts(dir_ / "broken"));
}

TEST(InkCountTest, CountsEveryBitOfAnyLengthAndOffset) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> row(67);
  for (auto& byte : row) byte = static_cast<std::uint8_t>(random());
  for (std::size_t start = 0; start < 9; ++start) {
    for (std::size_t bytes = 0; start + bytes <= row.size(); ++bytes) {
      std::uint64_t expected = 0;
      for (std::size_t i = start; i < start + bytes; ++i) {
        for (int bit = 0; bit < 8; ++bit) expected += (row[i] >> bit) & 1u;
      }
      ASSERT_EQ(riphost::count_ink(row.data() + start, bytes), expected) << start << " " << bytes;
    }
  }
}

TEST(CoverageTest, SummaryHasOneLinePerPageWithSeparations) {
  riphost::CoverageReport report;
  report.start_page("proof", 1);
  report.add("C", 409, 1000);
  report.add("Black", 0, 1000);
  report.start_page("proof", 2);  // refused: no separation
  report.start_page("plate", 1);
  report.add("K", 3, 3);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_TRUE(out && err);
  {
    riphost::MessageSink sink(out, err, riphost::Verbosity::Normal);
    report.print_summary(sink, true);
    report.print_summary(sink, false);
    riphost::MessageSink quiet(out, err, riphost::Verbosity::Quiet);
    report.print_summary(quiet, false);
  }
  std::rewind(out);
  char text[512] = "";
  const std::size_t got = std::fread(text, 1, sizeof text - 1, out);
  EXPECT_EQ(std::string(text, got),
            "proof page 1: C 40.9 %  Black 0.0 %\nplate page 1: K 100.0 %\n"
            "page 1: C 40.9 %  Black 0.0 %\npage 1: K 100.0 %\n");
  std::fclose(out);
  std::fclose(err);
  EXPECT_DOUBLE_EQ(riphost::ink_percent(1, 0), 0.0);
}

}  // namespace
