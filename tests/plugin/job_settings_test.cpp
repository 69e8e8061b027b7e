// Job options: defaults, accepted values, replaced bad values, resource data.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale.h>

#include "dravout.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "stages.h"

namespace plugin_test {
namespace {

using dravout::state;

class JobSettingsTest : public PluginTest {
 protected:
  int Settings() {
    Open();
    return dravout_jobsettings();
  }
};

TEST_F(JobSettingsTest, DefaultsWithoutOptions) {
  ASSERT_EQ(Settings(), 0);
  EXPECT_EQ(state.resolution, 1000.0);
  EXPECT_EQ(state.tav_format, 2);
  EXPECT_EQ(state.out_bps, 1);
  EXPECT_EQ(state.tav_compression, 64);
  EXPECT_EQ(state.tav_mode, 0x13);
  EXPECT_EQ(state.mirror, 1);
  EXPECT_EQ(state.reverse, 0);
  EXPECT_EQ(state.vshift, 0);
  EXPECT_EQ(state.hshift, 0);
  EXPECT_EQ(state.vscale, 1.0);
  EXPECT_EQ(state.hscale, 1.0);
  EXPECT_EQ(state.rotation, 0);
  EXPECT_EQ(state.tag_mirror, 1);
  EXPECT_EQ(state.vdist, 1.0);
  EXPECT_EQ(state.hdist, 1.0);
  EXPECT_STREQ(state.config_name, "CTP-2400");
  EXPECT_EQ(dravout::add_png_preview, 0);
  EXPECT_EQ(dravout::output_png_preview, 0);
  EXPECT_EQ(dravout::png_preview_resolution, 1000);
  // 1000 ppi is none of the configuration's resolutions.
  EXPECT_TRUE(fake_host().Has(2, "Requested resolution (1000) not found in selected configuration (CTP-2400)"));
}

TEST_F(JobSettingsTest, FormatsAndCompressions) {
  fake_host().strings["OFORMAT"] = "fw88b";
  fake_host().strings["OCOMPRESS"] = "sun";
  fake_host().ints["REVERSE"] = 1;
  ASSERT_EQ(Settings(), 0);
  EXPECT_EQ(state.tav_format, 3);
  EXPECT_EQ(state.out_bps, 8);
  EXPECT_EQ(state.tav_compression, 0);
  EXPECT_EQ(state.tav_mode, 0x5B);

  fake_host().strings["OFORMAT"] = "FW16B";
  fake_host().strings["OCOMPRESS"] = "None";
  fake_host().ints["REVERSE"] = 0;
  fake_host().ints["LEFT"] = 1;
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.tav_format, 1);
  EXPECT_EQ(state.out_bps, 1);
  EXPECT_EQ(state.tav_mode, 0x11);
  EXPECT_EQ(state.mirror, 0);
  EXPECT_EQ(state.tag_mirror, 0);

  fake_host().ints["LEFT"] = 0;
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.mirror, 1);
}

TEST_F(JobSettingsTest, BadFormatOrCompressionFailsAndStopsThere) {
  fake_host().strings["OFORMAT"] = "FW8";
  fake_host().strings["CONF"] = "Test-2540";
  EXPECT_EQ(Settings(), 17);
  EXPECT_TRUE(fake_host().Has(1, "Invalid format (FW8) chosen"));
  EXPECT_STREQ(state.config_name, "");  // later steps did not run

  fake_host().strings["OFORMAT"] = "FW8B";
  fake_host().strings["OCOMPRESS"] = "%s%s%n";  // a hostile value is only ever data
  EXPECT_EQ(dravout_jobsettings(), 17);
  EXPECT_TRUE(fake_host().Has(1, "Invalid type (%s%s%n) chosen"));
}

TEST_F(JobSettingsTest, ConfigurationNameAndResourceData) {
  fake_host().strings["CONF"] = "test-2540";
  fake_host().reals["RES"] = 2400.0;
  ASSERT_EQ(Settings(), 0);
  EXPECT_STREQ(state.config_name, "test-2540");  // a given name is kept as given
  ASSERT_NE(state.resdata, nullptr);
  ASSERT_NE(*state.resdata, nullptr);
  EXPECT_STREQ((*state.resdata)->selected->name, "Test-2540");
  // 2400 matches 2400.0001 within the relative tolerance: no warning.
  EXPECT_TRUE(fake_host().At(2).empty());

  fake_host().strings.erase("CONF");
  fake_host().reals["RES"] = 2540.0;
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_STREQ(state.config_name, "CTP-2400");  // emptied, then taken from the file
  EXPECT_TRUE(fake_host().Has(2, "Requested resolution (2540) not found in selected configuration (CTP-2400)"));
}

TEST_F(JobSettingsTest, UnreadableResourceFileFails) {
  fake_host().strings["CONF"] = "no such configuration";
  EXPECT_EQ(Settings(), 17);
  EXPECT_TRUE(fake_host().Has(1, "Something went wrong during the reading of the res-file"));
}

TEST_F(JobSettingsTest, MarginsBecomeRoundedNegatedShifts) {
  struct Case {
    double res, margin;
    int shift;
  };
  for (const Case& c : {Case{2400, 1000, -2400}, Case{1000, 0.2, 0}, Case{1000, 0.5, -1}, Case{1000, -2, 1}}) {
    fake_host().reals["RES"] = c.res;
    fake_host().reals["JOB_MBOT"] = c.margin;
    fake_host().reals["JOB_MLFT"] = c.margin;
    if (dravout::util_handle == nullptr) Open();
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.vshift, c.shift) << c.res << " " << c.margin;
    EXPECT_EQ(state.hshift, c.shift) << c.res << " " << c.margin;
  }
  // A margin no 32-bit shift can hold, or no number, is reported and gives
  // no shift; the host receives the format and the value as they stand.
  fake_host().reals["JOB_MBOT"] = 1e300;
  fake_host().reals["JOB_MLFT"] = std::nan("");
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.vshift, 0);
  EXPECT_EQ(state.hshift, 0);
  EXPECT_TRUE(fake_host().Has(1, "Invalid 'JOB_MBOT' option: 1e+300"));
  EXPECT_TRUE(fake_host().Has(1, "Invalid 'JOB_MLFT' option: nan"));
  EXPECT_TRUE(fake_host().HasFormat(1, "Invalid '%s' option: %g"));
}

TEST_F(JobSettingsTest, ScaleRotationAndDistortion) {
  Open();
  struct Case {
    const char* text;
    double v, h;
    bool reported;
  };
  for (const Case& c : {Case{"2", 2.0, 2.0, false}, Case{"(0.5, 2)", 0.5, 2.0, false},
                        Case{"factor(0.5,2)", 0.5, 2.0, false}, Case{"abc", 1.0, 1.0, true},
                        Case{"", 1.0, 1.0, true}, Case{"(", 1.0, 1.0, true}, Case{"   ", 1.0, 1.0, true},
                        Case{"1.5e0 , 3)", 1.5, 3.0, false}}) {
    fake_host().messages.clear();
    fake_host().strings["SCALE"] = c.text;
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.vscale, c.v) << c.text;
    EXPECT_EQ(state.hscale, c.h) << c.text;
    EXPECT_EQ(fake_host().Has(1, std::string("Could not correctly parse 'scale' option: ") + c.text), c.reported)
        << c.text;
  }

  fake_host().strings["SHREXP"] = "9950";
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.vdist, 1.0);
  EXPECT_EQ(state.hdist, 1.0);
  EXPECT_TRUE(fake_host().Has(1, "Could not correctly parse 'shrexp' option: 9950"));
  fake_host().strings["SHREXP"] = "9950, 10000";
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_DOUBLE_EQ(state.vdist, 0.995);
  EXPECT_EQ(state.hdist, 1.0);

  for (auto [code, degrees] : {std::pair{0, 0}, {1, 270}, {2, 180}, {3, 90}}) {
    fake_host().ints["ROT"] = code;
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.rotation, degrees);
  }
  fake_host().ints["ROT"] = 4;
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.rotation, 0);
  EXPECT_TRUE(fake_host().Has(1, "Invalid 'rot' option: 4"));
}

TEST_F(JobSettingsTest, PairParserCountsConversions) {
  double a = 0, b = 0;
  EXPECT_EQ(dravout::parse_pair("", &a, &b), 0);
  EXPECT_EQ(dravout::parse_pair("(", &a, &b), 0);
  EXPECT_EQ(dravout::parse_pair("x(", &a, &b), 0);
  EXPECT_EQ(dravout::parse_pair("3", &a, &b), 1);
  EXPECT_EQ(a, 3.0);
  EXPECT_EQ(dravout::parse_pair(" -1.25e1 ,+4", &a, &b), 2);
  EXPECT_EQ(a, -12.5);
  EXPECT_EQ(b, 4.0);
  EXPECT_EQ(dravout::parse_pair("2 3", &a, &b), 1);  // no comma: one number
  EXPECT_EQ(dravout::parse_pair("inf, 2", &a, &b), 0);
  EXPECT_EQ(dravout::parse_pair("2, nan", &a, &b), 0);  // never half a pair
}

TEST_F(JobSettingsTest, NumbersAreReadAndReportedInTheCLocaleWhateverTheCallersLocale) {
  locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (comma == static_cast<locale_t>(0)) GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
  fake_host().strings["SCALE"] = "0.5, 2.5";
  fake_host().reals["RES"] = 1000.5;
  Open();
  locale_t previous = uselocale(comma);
  const int status = dravout_jobsettings();
  locale_t during = uselocale(previous);
  EXPECT_EQ(during, comma);  // the caller's locale is back in place
  freelocale(comma);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(state.vscale, 0.5);
  EXPECT_EQ(state.hscale, 2.5);
  // The host formats its messages, in its own locale: the plug-in hands over
  // the format and the number as they stand.
  EXPECT_TRUE(fake_host().HasFormat(2, "Requested resolution (%.15g) not found in selected configuration (%s)"));
  EXPECT_EQ(state.resolution, 1000.5);
}

TEST_F(JobSettingsTest, BadOptionalValuesAreReportedAndReplacedByTheirDefaults) {
  Open();
  struct Case {
    const char* text;
    double v, h;
    int level;  // 0: no report
  };
  // Numbers that are no usable factor, a pair cut in half, and text after
  // the numbers (kept, with a warning).
  for (const Case& c : {Case{"2, nan", 1.0, 1.0, 1}, Case{"inf", 1.0, 1.0, 1}, Case{"1e999, 1", 1.0, 1.0, 1},
                        Case{"0", 1.0, 1.0, 1}, Case{"-1, 2", 1.0, 1.0, 1}, Case{"2, 1001", 1.0, 1.0, 1},
                        Case{"1e-400", 1.0, 1.0, 1}, Case{"(1,2", 1.0, 2.0, 2}, Case{"1, 2 x", 1.0, 2.0, 2},
                        Case{"3,", 3.0, 3.0, 2}, Case{" ( 0.25 , 4 ) ", 0.25, 4.0, 0},
                        Case{"1000", 1000.0, 1000.0, 0}}) {
    fake_host().messages.clear();
    fake_host().strings["SCALE"] = c.text;
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.vscale, c.v) << c.text;
    EXPECT_EQ(state.hscale, c.h) << c.text;
    EXPECT_EQ(fake_host().Has(1, std::string("Could not correctly parse 'scale' option: ") + c.text), c.level == 1)
        << c.text;
    EXPECT_EQ(fake_host().Has(2, std::string("Ignored what follows the numbers of 'scale' option: ") + c.text),
              c.level == 2)
        << c.text;
  }
  fake_host().strings.erase("SCALE");
  for (const char* text : {"nan, 10000", "10000, -5", "10000, 0"}) {
    fake_host().strings["SHREXP"] = text;
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.vdist, 1.0) << text;
    EXPECT_EQ(state.hdist, 1.0) << text;
    EXPECT_TRUE(fake_host().Has(1, std::string("Could not correctly parse 'shrexp' option: ") + text));
  }
  // A resolution that is no positive number would poison every size.
  fake_host().reals["RES"] = -300.0;
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(state.resolution, 1000.0);
  EXPECT_TRUE(fake_host().Has(1, "Invalid 'RES' option: -300"));
}

// A text whose numbers are refused gets the one level-1 report, never the
// warning about what follows the numbers too; numbers that are taken get
// only that warning.
TEST_F(JobSettingsTest, ARefusedTextIsReportedOnce) {
  Open();
  const struct {
    const char* key;
    const char* text;
    bool refused;  // level 1 "Could not correctly parse"
    bool ignored;  // level 2 "Ignored what follows the numbers"
  } cases[] = {
      {"SHREXP", "9950 x", true, false},        {"SHREXP", "(9950", true, false},
      {"SHREXP", "9950, x", true, false},       {"SHREXP", "9950, 10000 x", false, true},
      {"SHREXP", "(9950, 10000", false, true},  {"SHREXP", "0, 10000 x", true, false},
      {"SCALE", "0 x", true, false},            {"SCALE", "2000, 1 x", true, false},
      {"SCALE", "(2", false, true},             {"SCALE", "abc", true, false},
  };
  for (const auto& c : cases) {
    fake_host().messages.clear();
    fake_host().strings.erase("SCALE");
    fake_host().strings.erase("SHREXP");
    fake_host().strings[c.key] = c.text;
    ASSERT_EQ(dravout_jobsettings(), 0);
    const std::string key = c.key == std::string("SCALE") ? "scale" : "shrexp";
    EXPECT_EQ(fake_host().Has(1, "Could not correctly parse '" + key + "' option: " + c.text), c.refused)
        << c.key << " " << c.text;
    EXPECT_EQ(fake_host().Has(2, "Ignored what follows the numbers of '" + key + "' option: " + c.text), c.ignored)
        << c.key << " " << c.text;
    int about_the_text = 0;
    for (const auto& m : fake_host().messages) about_the_text += m.text.find(c.text) != std::string::npos ? 1 : 0;
    EXPECT_EQ(about_the_text, 1) << c.key << " " << c.text;
  }
}

// Every shift that fits 32 bits is taken, the largest ones included; one
// pixel beyond is refused.
TEST_F(JobSettingsTest, MarginsAtTheEdgesOf32Bits) {
  fake_host().reals["RES"] = 1000.0;  // one pixel per thousandth of an inch
  const struct {
    double margin;
    bool taken;
    int32_t shift;
  } cases[] = {
      {2147483647.0, true, -2147483647},  {-2147483648.0, true, 2147483647},
      {2147483648.0, true, INT32_MIN},    {-2147483647.0, true, 2147483646},
      {2147483649.0, false, 0},           {-2147483649.0, false, 0},
  };
  Open();
  for (const auto& c : cases) {
    fake_host().messages.clear();
    fake_host().reals["JOB_MBOT"] = c.margin;
    fake_host().reals["JOB_MLFT"] = c.margin;
    ASSERT_EQ(dravout_jobsettings(), 0);
    EXPECT_EQ(state.vshift, c.shift) << c.margin;
    EXPECT_EQ(state.hshift, c.shift) << c.margin;
    EXPECT_EQ(fake_host().At(1).size(), c.taken ? 0u : 2u) << c.margin;
  }
}

TEST_F(JobSettingsTest, MessagesHandTheHostTheFormatAndTheValue) {
  // A value the plug-in did not write is an argument, never the format.
  fake_host().strings["OFORMAT"] = "%n%s%x";
  EXPECT_EQ(Settings(), 17);
  EXPECT_TRUE(fake_host().HasFormat(1, "Invalid format (%s) chosen"));
  EXPECT_TRUE(fake_host().Has(1, "Invalid format (%n%s%x) chosen"));
}

TEST_F(JobSettingsTest, LongestTextOptionStaysInsideTheBuffers) {
  // The host writes at most 256 bytes; a 255-character value fits whole.
  const std::string conf(255, 'C');
  fake_host().strings["CONF"] = conf;
  fake_host().strings["SCALE"] = std::string(255, ' ');
  EXPECT_EQ(Settings(), 17);  // no configuration of that name
  EXPECT_EQ(std::string(state.config_name), conf);
}

TEST_F(JobSettingsTest, PreviewOptions) {
  fake_host().ints["dravout_addpngpreview"] = 1;
  fake_host().ints["dravout_outputpagepngpreview"] = 1;
  fake_host().ints["dravout_resolutionpngpreview"] = -1;
  ASSERT_EQ(Settings(), 0);
  EXPECT_EQ(dravout::add_png_preview, 1);
  EXPECT_EQ(dravout::output_png_preview, 1);
  EXPECT_EQ(dravout::png_preview_resolution, -1);
}

}  // namespace
}  // namespace plugin_test
