// The screen-information tag of finished files, as the plug-in writes it
// from what the screening extension counted: without an extension, and
// through the hooks of a screening host on a mirrored page. (The forms and
// numbers of the tag itself are tested with the tag writer, tests/tags.)
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "dravout.h"
#include "extension.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "tav.h"

namespace plugin_test {
namespace {

// The screening host: two screens, 0x100 an own "round" screen, 0x200 a
// foreign one; it keeps the run callbacks it is handed.
ScrRunFn given_runs[3] = {};

int host_init(int, intptr_t, ScrRunFn screen, ScrRunFn solid, ScrRunFn copydot) {
  given_runs[0] = screen;
  given_runs[1] = solid;
  given_runs[2] = copydot;
  return 0;
}
int host_line(intptr_t, int32_t, intptr_t) { return 0; }
int get_params(ScreenSelection*, uint32_t handle, const char** dot, double*, double* lpi, double*, double* ang,
               int32_t* loaded, int32_t* scrtype, void*, void*, void*, void*, void*, void*, void*) {
  *dot = handle == 0x100 ? "round" : "ps";
  *lpi = handle == 0x100 ? 150.0 : 85.0;
  *ang = handle == 0x100 ? 45.0 : 0.0;
  *loaded = 1;
  *scrtype = handle == 0x100 ? 1 : 3;
  return 0;
}

class ScreenInfoTagTest : public PluginTest {
 protected:
  void TearDown() override {
    screeninfo::release_tables();
    screeninfo::reset_run_accounting();
    screeninfo::reset_registration();
    PluginTest::TearDown();
  }
  // Writes one separation of a 1000 x 500 page; its tag value.
  std::string Tag(bool mirrored) {
    if (!mirrored) fake_host().ints["LEFT"] = 1;
    OpenJob();
    EXPECT_EQ(dravout_startpage(Page(1000, 500)), 0);
    EXPECT_EQ(dravout_startseparations(Separation()), 0);
    if (on_start) on_start();
    for (int y = 0; y < 500; ++y) {
      ScanlineBuffer* buffer = nullptr;
      dravout_newscan(&buffer);
      std::memset(buffer->data, 0, static_cast<std::size_t>(dravout::scanline_bytes));
      EXPECT_EQ(dravout_putscan(buffer), 0);
    }
    EXPECT_EQ(dravout_endseparations(), 0);
    EXPECT_EQ(fake_host().files.size(), 1u);
    if (fake_host().files.empty()) return {};
    tav::TavReader reader(fake_host().files.back());
    const tav::TavTag* tag = reader.FindTag("_KVT_RIPINFO0");
    EXPECT_NE(tag, nullptr);
    return tag == nullptr ? std::string() : std::string(tag->value.begin(), tag->value.end());
  }
  static std::string Z(const std::string& text) { return text + std::string(1, '\0'); }
  std::function<void()> on_start;
};

TEST_F(ScreenInfoTagTest, PlainFormListsOwnScreensOrASolidDummy) {
  // Without the extension: the plain dummy, 40 bytes with the zero.
  testing::internal::CaptureStdout();
  const std::string unregistered = Tag(/*mirrored=*/false);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(unregistered, Z("COUNT=1\nLC=1.000000 A=0.000000 S=SOLID\n"));
  EXPECT_EQ(unregistered.size(), 40u);
  EXPECT_TRUE(fake_host().Has(2, "No Kivo-screens in separation, dummy TAV tag added"));
}

TEST_F(ScreenInfoTagTest, CountedRunsOfTheExtensionOnAMirroredPage) {
  ScrSelHookRecord sel{};
  sel.hook_id = SCRSEL_HOOK_ID;
  sel.version = SCRSEL_HOOK_VERSION;
  sel.get_screen_params = get_params;
  ScrHookRecord scr{};
  scr.hook_id = SCR_HOOK_ID;
  scr.version = SCR_HOOK_VERSION;
  scr.init = host_init;
  scr.line = host_line;
  ASSERT_EQ(drav_extension(&sel, &fake_host().table), 1);
  ASSERT_EQ(drav_extension(&scr, &fake_host().table), 1);
  uint32_t handles[] = {0x100, 0x200};
  int32_t uses[] = {1, 1};
  ScreenSelection selection{};
  selection.screens = handles;
  selection.screen_uses = uses;
  selection.screen_count = 2;
  on_start = [&] {
    ASSERT_EQ(sel.load(&selection), 0);
    ASSERT_EQ(scr.init(1, 0, nullptr, nullptr, nullptr), 0);
    scr.line(0, 10, 0);
    given_runs[0](0x100, 10, 100);
    scr.line(0, 20, 0);
    given_runs[0](0x100, 10, 100);
    given_runs[0](0x200, 0, 50);
    given_runs[2](0, 500, 25);
    given_runs[1](0, 0, 1000);  // solids: not reported beside screens
  };
  // Areas as the file holds them: mirrored, right one past the last pixel.
  EXPECT_EQ(Tag(/*mirrored=*/true), Z("COUNT=3\n"
                                      "LC=150.000000 A=45.000000 S=ROUND COV=0.000400 AREA=890,10,990,20\n"
                                      "LC=0.000000 A=0.000000 S=UNKNOWN COV=0.000100 AREA=950,20,1000,20\n"
                                      "LC=0.000000 A=0.000000 S=CPP COV=0.000050 AREA=475,20,500,20\n"));
  EXPECT_EQ(sel.unload(&selection, 0, 0), 0);
}

}  // namespace
}  // namespace plugin_test
