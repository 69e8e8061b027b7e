// Parameter queries, cutting texts, the page's XMP inks, and the
// transformation and cutting tags of finished files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cutting_tags.h"
#include "dravout.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "tav.h"

namespace plugin_test {
namespace {

using dravout::state;

// Ink n of the page: name, group, CAD name, frequency, angle.
struct Ink {
  const char* name;
  const char* group;  // nullptr: no group
  const char* cad;
  double frequency, angle;
};

std::string packet(const std::vector<Ink>& inks) {
  std::string items;
  for (const Ink& ink : inks) {
    items += "<rdf:li rdf:parseType=\"Resource\"><dravInk:name>" + std::string(ink.name) + "</dravInk:name>";
    if (ink.group != nullptr) items += "<dravInk:group>" + std::string(ink.group) + "</dravInk:group>";
    items += "<dravInk:cadName>" + std::string(ink.cad) + "</dravInk:cadName><dravInk:frequency>" +
             std::to_string(ink.frequency) + "</dravInk:frequency><dravInk:angle>" + std::to_string(ink.angle) +
             "</dravInk:angle></rdf:li>";
  }
  return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:dravInk=\"http://ns.dravout.example/inks/1.0/\"><dravInk:Inks>"
         "<rdf:Seq>" + items + "</rdf:Seq></dravInk:Inks></rdf:Description></rdf:RDF></x:xmpmeta>";
}

class QueriesTest : public PluginTest {
 protected:
  int Query(const char* key, std::string* text = nullptr) {
    char buffer[DRAV_PARAM_ANSWER_SIZE] = {};
    const int result = dravout_get_param(key, buffer);
    if (text != nullptr) *text = buffer;
    return result;
  }
  int Give(const char* key, const char* text) { return dravout_get_param(key, const_cast<char*>(text)); }

  // A page with these inks; a separation of one colour and one requested screen.
  CDictContainer* InkPage(const std::vector<Ink>& inks) {
    CStringKeyDict page;
    page["width"] = 16;
    page["height"] = 2;
    page["ncopies"] = 1;
    page["XMPinfo"] = CUnivType::List{CUnivType(packet(inks))};
    return Container(page);
  }
  CDictContainer* Colour(const char* group, const char* ink, double frequency, double angle,
                         const char* xmp = nullptr) {
    CStringKeyDict colour;
    colour["groupname"] = group;
    colour["inkname"] = ink;
    CStringKeyDict screen;
    screen["frequencyreq"] = frequency;
    screen["anglereq"] = angle;
    CStringKeyDict entry;
    entry["name"] = ink;
    entry["colorinfo"] = CUnivType::List{CUnivType(colour)};
    entry["screenidx"] = CUnivType::List{CUnivType(0)};
    if (xmp != nullptr) entry["XMPinfo"] = xmp;
    CStringKeyDict sep;
    sep["screens"] = CUnivType::List{CUnivType(screen)};
    sep["separations"] = CUnivType::List{CUnivType(entry)};
    return Container(sep);
  }
  // Writes the two rows of a 16 x 2 separation and ends it; the file's tags.
  const tav::TavReader& Finish() {
    for (int y = 0; y < 2; ++y) {
      ScanlineBuffer* buffer = nullptr;
      dravout_newscan(&buffer);
      EXPECT_EQ(dravout_putscan(buffer), 0);
    }
    EXPECT_EQ(dravout_endseparations(), 0);
    reader_ = std::make_unique<tav::TavReader>(fake_host().files.back());
    return *reader_;
  }
  static std::string Value(const tav::TavReader& r, const std::string& name) {
    const tav::TavTag* tag = r.FindTag(name);
    return tag == nullptr ? "<none>" : std::string(tag->value.begin(), tag->value.end());
  }
  std::unique_ptr<tav::TavReader> reader_;
};

TEST_F(QueriesTest, AnswersVersionNameLeftGammaAndTechnologies) {
  std::string text;
  EXPECT_EQ(Query("version"), 0);  // not open yet
  Open();
  EXPECT_EQ(Query("VERSION", &text), 1);
  EXPECT_EQ(text, "TAV 10.1.01 (Jun 21 2012)");
  EXPECT_EQ(Query("OutputFileName", &text), 1);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Query("gamma"), 0);
  EXPECT_TRUE(fake_host().Has(3, "Configurations not yet loaded"));

  int32_t left = -1;
  EXPECT_EQ(dravout_get_param("left", &left), 1);
  EXPECT_EQ(left, 1);
  fake_host().ints["LEFT"] = 5;
  EXPECT_EQ(dravout_get_param("Left", &left), 1);
  EXPECT_EQ(left, 0);

  // Gamma of the nearest resolution: the configuration has 1200 (1.0) and
  // 2400 (1.8 linear); a job at 1800 is as near to both, the first wins.
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(1800.0)), 0);
  EXPECT_EQ(Query("gamma", &text), 1);
  EXPECT_EQ(text, "1");
  ASSERT_EQ(dravout_startjob(Job(2000.0)), 0);
  EXPECT_EQ(Query("gamma", &text), 1);
  EXPECT_EQ(text, "1.8 linear");

  EXPECT_EQ(Give("screeningtechnology", "NovaDot 1|AM NovaDot"), 1);
  EXPECT_EQ(Give("screeningtechnology", "NovaDot||NovaDot|"), 1);
  EXPECT_EQ(Give("screeningtechnology", "NovaDot|AM"), 0);
  EXPECT_EQ(Give("screeningtechnology", ""), 0);
  EXPECT_EQ(Give("screeningtechnology", "|"), 0);
  EXPECT_EQ(Give("screeningtechnology", "novadot"), 0);
  // Judged whole, never cut at 511 characters, and silently.
  fake_host().messages.clear();
  for (std::size_t length : {511u, 512u, 600u, 5000u}) {
    const std::string long_list = std::string(length - 7, 'x') + "NovaDot";
    EXPECT_EQ(Give("screeningtechnology", long_list.c_str()), 1) << length;
    // An entry past the first 511 bytes still counts.
    const std::string late_entry = "NovaDot" + std::string(length, '|') + "AM";
    EXPECT_EQ(Give("screeningtechnology", late_entry.c_str()), 0) << length;
  }
  EXPECT_TRUE(fake_host().messages.empty());
  EXPECT_EQ(Query("no such key"), 0);
}

TEST_F(QueriesTest, ResolutionListFromTheRecorderSettings) {
  Open();
  std::string text;
  // Without the device folder's name the list cannot be built.
  unsetenv("QZ_RIPPAR");
  EXPECT_EQ(Query("outputdevice_resolutionlist", &text), 0);
  EXPECT_EQ(text, "");
  setenv("QZ_RIPPAR", device_dir_.c_str(), 1);
  // The test device: 1200 and 2400, then 2400.0001 and 2540.
  EXPECT_EQ(Query("outputdevice_resolutionlist", &text), 1);
  EXPECT_EQ(text, "1200|2400|2400.0001|2540|900-3175");
  std::ofstream(device_dir_ / "device.toml") << "[[configuration]]\nname = \"x\"\nfilm = \"f\"\n"
                                              << "  [[configuration.resolution]]\n  ppi = 2400\n  gamma = 1\n"
                                              << "  [[configuration.resolution]]\n  ppi = 400\n  gamma = 1\n";
  EXPECT_EQ(Query("outputdevice_resolutionlist", &text), 1);
  EXPECT_EQ(text, "2400|400|300-3000");
  // A broken file: its error text, no list.
  std::ofstream(device_dir_ / "device.toml") << "[[configuration]\n";
  EXPECT_EQ(Query("outputdevice_resolutionlist", &text), 0);
  EXPECT_FALSE(fake_host().At(1).empty());
  unsetenv("QZ_RIPPAR");
}

TEST_F(QueriesTest, CuttingTextsAreKeptPerInkAndForTheJob) {
  OpenJob();
  EXPECT_EQ(Give("SCP3", "T3"), 1);
  EXPECT_EQ(state.stagger_texts[3], "T3");
  EXPECT_EQ(state.stagger_given, 1);
  for (const char* key : {"SCP0", "SCP-2", "SCPx", "SCPAllx", "SCP64", "SCP99999999999999999999"}) {
    EXPECT_EQ(Give(key, "ignored"), 1) << key;
  }
  EXPECT_TRUE(fake_host().Has(2, "Cutting text 'SCP64' ignored: ink numbers go up to 63"));
  for (std::size_t i = 0; i < state.stagger_texts.size(); ++i) {
    if (i != 3) {
      EXPECT_EQ(state.stagger_texts[i], "") << i;
    }
  }
  EXPECT_EQ(Give("ccp2", nullptr), 1);
  EXPECT_EQ(state.cad_given, 0);
  EXPECT_EQ(Give("ccp2", "CAD two"), 1);
  EXPECT_EQ(state.cad_texts[2], "CAD two");
  EXPECT_EQ(state.cad_given, 1);

  // The common text: kept as the plug-in's own copy, replaced only when it changes.
  EXPECT_EQ(Give("scpall", "ALL"), 1);
  const char* copy = state.stagger_all;
  EXPECT_STREQ(copy, "ALL");
  EXPECT_EQ(state.stagger_all_size, 4);
  EXPECT_EQ(Give("SCPAll", "ALL"), 1);
  EXPECT_EQ(state.stagger_all, copy);
  EXPECT_EQ(Give("SCPAll", "OTHER"), 1);
  EXPECT_STREQ(state.stagger_all, "OTHER");
  // An empty "SCPAll" still counts.
  EXPECT_EQ(Give("SCPAll", ""), 1);
  EXPECT_EQ(state.stagger_all_size, 1);
  ASSERT_EQ(dravout_endjob(), 0);
  EXPECT_EQ(state.stagger_given, 0);
  EXPECT_STREQ(state.stagger_all, "");
}

TEST_F(QueriesTest, SeparationsFindTheirInksAndCarryTheirXmp) {
  OpenJob();
  ASSERT_EQ(dravout_startpage(InkPage({{"cyan", "PROCESS", "C", 150.00001, 15},
                                       {"Cyan", nullptr, "C2", 150, 15},
                                       {"Cyan", "Spot", "C3", 150, 15},
                                       {"Black", "None", "K", 0, 45}})),
            0);
  ASSERT_EQ(state.xmp_inks.size(), 4u);
  // Group and name without regard to case; the frequency within the tolerance.
  ASSERT_EQ(dravout_startseparations(Colour("Process", "Cyan", 150.0, 15.0, "<xmp/>")), 0);
  EXPECT_EQ(state.sep_inks, (std::vector<int32_t>{1}));
  const tav::TavReader& tagged = Finish();
  EXPECT_EQ(Value(tagged, "_KVT_XMP"), std::string("<xmp/>") + '\0');
  // No group: the ungrouped ink by key, and any grouped ink of that name.
  ASSERT_EQ(dravout_startseparations(Colour("", "Cyan", 150.0, 15.0)), 0);
  EXPECT_EQ(state.sep_inks, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(fake_host().Has(3, "No XMP metadata available, so no XMP tag added"));
  // A group never matches an ungrouped ink; "None" is an ordinary group.
  ASSERT_EQ(dravout_startseparations(Colour("Spot", "Cyan", 150.0, 15.0)), 0);
  EXPECT_EQ(state.sep_inks, (std::vector<int32_t>{3}));
  // The screen must fit: 150.0001 is too far, and 0 never fits.
  ASSERT_EQ(dravout_startseparations(Colour("Process", "Cyan", 150.0001, 15.0)), 0);
  EXPECT_TRUE(state.sep_inks.empty());
  ASSERT_EQ(dravout_startseparations(Colour("None", "Black", 0.0, 45.0)), 0);
  EXPECT_TRUE(state.sep_inks.empty());
}

TEST_F(QueriesTest, CuttingTagsCarryTheTransformationAndScrambledTexts) {
  OpenJob();
  ASSERT_EQ(dravout_startpage(InkPage({{"Cyan", "Process", "C", 150, 15}, {"Magenta", "Process", "M", 150, 75},
                                       {"Yellow", "Process", "Y", 150, 90}})),
            0);
  EXPECT_EQ(Give("SCPAll", "ALL-CUT"), 1);
  EXPECT_EQ(Give("SCP3", "YELLOW-CUT"), 1);
  EXPECT_EQ(Give("CCP2", "MAGENTA-CAD"), 1);
  EXPECT_EQ(Give("CCP9", "NO SUCH INK"), 1);

  const std::string t =
      "VSHFT=0 HSHFT=0\nVSCAL=1.000000 HSCAL=1.000000\nROT=0\nMIRROR=1\nVDIST=1.000000 HDIST=1.000000\n";
  // Yellow has its own staggered cut; Cyan falls back on the common one.
  ASSERT_EQ(dravout_startseparations(Colour("Process", "Yellow", 150, 90)), 0);
  const tav::TavReader& yellow = Finish();
  EXPECT_EQ(Value(yellow, "_KVT_TRANSFORMATION"), t + '\0');
  EXPECT_EQ(Value(yellow, "_KVT_STAGGER"), t + "ALL-CUT" + '\0');
  EXPECT_EQ(Value(yellow, "_KVT_STAGGEREDCUT"), dravout::scramble("YELLOW-CUT", t) + '\0');
  EXPECT_EQ(Value(yellow, "_KVT_CAD_M"), dravout::scramble("MAGENTA-CAD", t) + '\0');
  EXPECT_TRUE(fake_host().Has(2, "CAD cutting text for ink 9 ignored: the page has 3 inks"));
  ASSERT_EQ(dravout_startseparations(Colour("Process", "Cyan", 150, 15)), 0);
  EXPECT_EQ(Value(Finish(), "_KVT_STAGGEREDCUT"), dravout::scramble("ALL-CUT", t) + '\0');
  // A separation without inks: no staggered cut, the CAD tag all the same.
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  const tav::TavReader& none = Finish();
  EXPECT_EQ(Value(none, "_KVT_STAGGEREDCUT"), "<none>");
  EXPECT_EQ(Value(none, "_KVT_CAD_M"), dravout::scramble("MAGENTA-CAD", t) + '\0');
  // Three files of the job, one report of the ignored text.
  int ignored = 0;
  for (const std::string& m : fake_host().At(2)) ignored += m.find("ink 9 ignored") != std::string::npos ? 1 : 0;
  EXPECT_EQ(ignored, 1);

  // Scrambling runs the transformation text backwards and undoes itself.
  const std::string s = dravout::scramble("ab", "xyz");
  EXPECT_EQ(s[0], 'a' ^ 'z');
  EXPECT_EQ(s[1], 'b' ^ 'y');
  EXPECT_EQ(dravout::scramble(s, "xyz"), "ab");

  // After the job only the common text survives.
  ASSERT_EQ(dravout_endjob(), 0);
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(2400.0)), 0);
  ASSERT_EQ(dravout_startpage(Page(16, 2)), 0);
  ASSERT_EQ(dravout_startseparations(Separation()), 0);
  const tav::TavReader& later = Finish();
  EXPECT_EQ(Value(later, "_KVT_STAGGER"), t + "ALL-CUT" + '\0');
  EXPECT_EQ(Value(later, "_KVT_TRANSFORMATION"), "<none>");
}

TEST_F(QueriesTest, TransformationTextThatCannotFitIsRefused) {
  OpenJob();
  state.vscale = 1e300;  // hundreds of digits, twice: more than 1024 bytes
  state.hscale = 1e300;
  state.vdist = 1e300;
  state.hdist = 1e300;
  std::string t;
  EXPECT_FALSE(dravout::transformation_text(state, &t));
  EXPECT_EQ(dravout::write_cutting_tags(state), 17);
  EXPECT_TRUE(fake_host().Has(1, "DRAVOUT: Could not write transformation info"));
}

}  // namespace
}  // namespace plugin_test
