// Open, jobs and close: what the host gets and what the plug-in keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dravout.h"
#include "fake_host.h"
#include "plugin_state.h"

namespace plugin_test {
namespace {

using dravout::state;

TEST_F(PluginTest, OpenHandsOverMergedOptionsAndDeviceDescription) {
  Open();
  EXPECT_EQ(kind_, 4);
  ASSERT_NE(options_, nullptr);
  std::vector<std::string> keys;
  for (auto* o = static_cast<const DravOptionDecl*>(options_); o->key != nullptr; ++o) keys.push_back(o->key);
  for (const char* key : {"CONF", "LEFT", "OCOMPRESS", "OFORMAT", "OUTPUTPAGE", "RES", "REVERSE", "OUTDIR"}) {
    EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
  }

  ASSERT_NE(devinfo_, nullptr);
  EXPECT_EQ(devinfo_->GetName(), "devinfo");
  const auto& entries = devinfo_->GetDict().Entries();
  const std::vector<std::string> expected = {"dpi_h",      "dpi_v",   "multiple_dpi",     "maxwidth",
                                             "maxheigth",  "maxbps",  "nplanes",          "multiple_nplanes",
                                             "bps",        "multiple_bps", "multiple_copies"};
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(entries[i].first, expected[i]);
  EXPECT_EQ(entries[0].second.AsReal(), 2000.0);
  EXPECT_EQ(entries[3].second.AsReal(), 1.7976931348623157e308);
  EXPECT_EQ(entries[2].second.AsInt(), 1);
  EXPECT_EQ(entries[7].second.AsInt(), 0);

  EXPECT_EQ(state.stagger_texts.size(), 64u);
  EXPECT_EQ(state.cad_texts.size(), 64u);
  EXPECT_EQ(factory_.Count(), 1u);
  EXPECT_EQ(dravout_close(), 0);
  EXPECT_EQ(factory_.Count(), 0u);
  EXPECT_TRUE(state.stagger_texts.empty());
  EXPECT_TRUE(state.cad_texts.empty());
  EXPECT_EQ(dravout::util_handle, nullptr);

  // A second open gives the slots again.
  Open();
  EXPECT_EQ(state.stagger_texts.size(), 64u);
}

TEST_F(PluginTest, OpenWithoutUtilityLibrarySetsKindAndFails) {
  // The utility library refuses to start without a host table.
  EXPECT_EQ(dravout_open(nullptr, &kind_, &options_, &devinfo_, &factory_), 17);
  EXPECT_EQ(kind_, 4);
  EXPECT_EQ(devinfo_, nullptr);
}

TEST_F(PluginTest, OpenWithoutFactoryFailsWithMemoryCodeAndCloseStillEndsLibrary) {
  EXPECT_EQ(dravout_open(&fake_host().table, &kind_, &options_, &devinfo_, nullptr), 9);
  EXPECT_EQ(fake_host().At(1).size(), 1u);
  EXPECT_NE(dravout::util_handle, nullptr);
  EXPECT_EQ(dravout_close(), 0);
  EXPECT_EQ(dravout::util_handle, nullptr);
}

TEST_F(PluginTest, CloseFailsWhenTheContainerCannotBeDeleted) {
  Open();
  CDictContainerFactory other;
  dravout::dict_factory = &other;  // a factory that never made devinfo
  EXPECT_EQ(dravout_close(), 17);
  EXPECT_EQ(fake_host().At(1).size(), 1u);
  EXPECT_NE(dravout::util_handle, nullptr);  // nothing else was done
  EXPECT_EQ(state.stagger_texts.size(), 64u);
  dravout::dict_factory = &factory_;
  EXPECT_EQ(dravout_close(), 0);
}

TEST_F(PluginTest, StartJobChecksBitsPerSampleAfterKeepingResolution) {
  Open();
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(dravout_startjob(Job(1270.0, 8)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Invalid bps (8)"));
  EXPECT_EQ(state.resolution, 1270.0);

  dravout::output_file_name[0] = 'x';
  EXPECT_EQ(dravout_startjob(Job(1270.0)), 0);
  EXPECT_EQ(state.bps, 1);
  EXPECT_STREQ(dravout::output_file_name, "");
}

TEST_F(PluginTest, StartJobReportsDictionaryFailures) {
  Open();
  CStringKeyDict job;
  job["bps"] = 1;
  EXPECT_EQ(dravout_startjob(Container(job)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Key 'ppi' not found"));

  job["ppi"] = "2400";  // a text, not a number
  EXPECT_EQ(dravout_startjob(Container(job)), 17);
  EXPECT_EQ(fake_host().At(1).size(), 2u);
  EXPECT_EQ(dravout_startjob(nullptr), 17);
}

TEST_F(PluginTest, StartJobRefusesUnusableResolution) {
  Open();
  EXPECT_EQ(dravout_startjob(Job(0.0, 1)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Invalid ppi (0)"));
}

TEST_F(PluginTest, EndJobReleasesBuffersAndResetsCuttingTexts) {
  OpenJob();
  // A job without pages: nothing to release, twice in a row.
  EXPECT_EQ(dravout_endjob(), 0);
  EXPECT_EQ(dravout_endjob(), 0);
  ASSERT_EQ(dravout_close(), 0);

  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(100, 10)), 0);
  EXPECT_GT(dravout::scanline_bytes, 0);
  state.stagger_texts[3] = "cut";
  state.cad_texts[2] = "cad";
  state.stagger_given = state.cad_given = 1;
  state.sep_inks = {1, 2};
  state.stagger_all = static_cast<char*>(std::malloc(4));
  std::strcpy(state.stagger_all, "all");
  state.stagger_all_size = 4;

  EXPECT_EQ(dravout_endjob(), 0);
  EXPECT_EQ(dravout::scanline_bytes, 0);
  EXPECT_EQ(dravout::scanline.data, nullptr);
  ASSERT_EQ(state.stagger_texts.size(), 64u);
  ASSERT_EQ(state.cad_texts.size(), 64u);
  for (std::size_t i = 0; i < 64; ++i) {
    EXPECT_TRUE(state.stagger_texts[i].empty());
    EXPECT_TRUE(state.cad_texts[i].empty());
  }
  EXPECT_EQ(state.stagger_given, 0);
  EXPECT_EQ(state.cad_given, 0);
  EXPECT_TRUE(state.sep_inks.empty());
  EXPECT_STREQ(state.stagger_all, "all");  // kept across jobs
}

TEST_F(PluginTest, CallsOutOfOrderAreRefusedAtEveryPoint) {
  // Before open: nothing reaches the libraries.
  EXPECT_EQ(dravout_jobsettings(), 17);
  EXPECT_EQ(dravout_startjob(Job(2400.0)), 17);
  EXPECT_EQ(dravout_startpage(Page(16, 2)), 17);
  EXPECT_EQ(dravout_startseparations(Separation()), 17);

  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(16, 2)), 0);
  ASSERT_EQ(dravout_endpage(), 0);
  // After the job ended, a page has no job.
  ASSERT_EQ(dravout_endjob(), 0);
  EXPECT_EQ(dravout_startpage(Page(16, 2)), 17);
  EXPECT_TRUE(fake_host().Has(1, "No job started: a page needs a job that dravout_startjob accepted"));

  // A refused job after a good one: its pages are refused, whatever the
  // earlier job left in place (no false film-limit report for ppi 0).
  ASSERT_EQ(dravout_startjob(Job(2400.0)), 0);
  fake_host().messages.clear();
  EXPECT_EQ(dravout_startjob(Job(0.0)), 17);
  EXPECT_EQ(dravout_startpage(Page(100, 100)), 17);
  EXPECT_EQ(fake_host().At(1).size(), 2u);
  EXPECT_TRUE(fake_host().Has(1, "No job started: a page needs a job that dravout_startjob accepted"));

  // Failed job settings: the settings of the job before do not serve.
  fake_host().strings["OFORMAT"] = "FW8";
  EXPECT_EQ(dravout_jobsettings(), 17);
  ASSERT_EQ(dravout_startjob(Job(2400.0)), 0);
  EXPECT_EQ(dravout_startpage(Page(16, 2)), 17);
  fake_host().strings.erase("OFORMAT");
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(2400.0)), 0);

  // A refused page: its separation is refused, its rows and end fail, and
  // nothing is written.
  EXPECT_EQ(dravout_startpage(Page(16, 0)), 17);
  EXPECT_EQ(dravout_startseparations(Separation()), 17);
  EXPECT_TRUE(fake_host().Has(1, "No page started: a separation needs a page that dravout_startpage accepted"));
  ScanlineBuffer* buffer = nullptr;
  ASSERT_EQ(dravout_newscan(&buffer), 0);
  EXPECT_EQ(dravout_putscan(buffer), 7);
  EXPECT_EQ(dravout_endseparations(), 6);
  EXPECT_TRUE(OutputFiles().empty());

  // After close, as before open.
  ASSERT_EQ(dravout_endjob(), 0);
  ASSERT_EQ(dravout_close(), 0);
  EXPECT_EQ(dravout_jobsettings(), 17);
  EXPECT_EQ(dravout_startpage(Page(16, 2)), 17);
  EXPECT_TRUE(fake_host().Has(1, "The plug-in is not open: dravout_open must come first"));
}

}  // namespace
}  // namespace plugin_test
