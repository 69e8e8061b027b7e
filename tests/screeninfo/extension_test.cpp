// The screening extension against a fake screening host: registration and
// chaining, the screen table, run accounting and the hand-over.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "extension.h"

namespace {

using namespace screeninfo;

// One screen descriptor of the fake host.
struct Descriptor {
  const char* dot;
  double lpi, ang;
  int32_t scrtype;
  const char* name = "";
};

// The fake host: options, messages, its own hook functions (which log their
// calls) and its screens.
struct FakeScreeningHost {
  std::map<std::string, int> ints;
  std::vector<std::pair<int, std::string>> messages;
  std::vector<std::string> calls;
  std::map<uint32_t, Descriptor> screens;
  ScrRunFn given[3] = {};
  intptr_t unload_args[2] = {};
  HostCallbacks table{};
};
FakeScreeningHost* fake = nullptr;

int get_int(const char* key, int* value) {
  auto it = fake->ints.find(key);
  if (it == fake->ints.end()) return 0;
  *value = it->second;
  return 1;
}
int message(int level, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  fake->messages.emplace_back(level, text);
  return 0;
}
int host_load(ScreenSelection*) {
  fake->calls.push_back("load");
  return 0;
}
int host_unload(ScreenSelection*, intptr_t a, intptr_t b) {
  fake->calls.push_back("unload");
  fake->unload_args[0] = a;
  fake->unload_args[1] = b;
  return 5;
}
int host_init(int bits, intptr_t, ScrRunFn screen, ScrRunFn solid, ScrRunFn copydot) {
  fake->calls.push_back("init " + std::to_string(bits));
  fake->given[0] = screen;
  fake->given[1] = solid;
  fake->given[2] = copydot;
  return 7;
}
int host_line(intptr_t, int32_t line, intptr_t) {
  fake->calls.push_back("line " + std::to_string(line));
  return 3;
}
int get_params(ScreenSelection*, uint32_t handle, const char** dot, double*, double* lpi, double*, double* ang,
               int32_t* loaded, int32_t* scrtype, void*, void*, void*, void*, void*, void*, void*) {
  const Descriptor& d = fake->screens.at(handle);
  *dot = "params-dot";  // replaced by the state query
  *lpi = d.lpi;
  *ang = d.ang;
  *loaded = 0;
  *scrtype = -1;
  return 0;
}
int get_state(ScreenSelection*, uint32_t handle, const char** dot, int32_t* a, int32_t* b, int32_t* loaded,
              int32_t* scrtype, int32_t* c) {
  const Descriptor& d = fake->screens.at(handle);
  *dot = d.dot;
  *a = *b = *c = 99;
  *loaded = 1;
  *scrtype = d.scrtype;
  return 0;
}
int get_name(ScreenSelection*, uint32_t handle, char* name) {
  std::snprintf(name, SCR_SCREEN_NAME_SIZE, "%s", fake->screens.at(handle).name);
  return 0;
}

class ExtensionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    release_tables();
    ext = ExtensionState{};
    fake = &host_;
    host_.table = HostCallbacks{get_int, nullptr, nullptr, nullptr, message};
    scr_ = ScrHookRecord{};
    scr_.hook_id = SCR_HOOK_ID;
    scr_.version = SCR_HOOK_VERSION;
    scr_.init = host_init;
    scr_.line = host_line;
    for (intptr_t& w : scr_.host_words) w = 0x5A5A;
    for (intptr_t& w : scr_.cleared) w = 0x77;
    sel_hook_ = ScrSelHookRecord{};
    sel_hook_.hook_id = SCRSEL_HOOK_ID;
    sel_hook_.version = SCRSEL_HOOK_VERSION;
    sel_hook_.load = host_load;
    sel_hook_.unload = host_unload;
    sel_hook_.get_screen_params = get_params;
    sel_hook_.get_screen_state = get_state;
    sel_hook_.get_screen_name = get_name;
  }
  void TearDown() override {
    release_tables();
    ext = ExtensionState{};
    unsetenv("DRAVEXT_SCRINFO_TIMEDEBUG");
  }
  // Registers both hooks.
  void Register() {
    ASSERT_EQ(register_hook(&sel_hook_, &host_.table), 1);
    ASSERT_EQ(register_hook(&scr_, &host_.table), 1);
  }
  // Loads a selection of these handles (uses 1 unless given) through the
  // record's load slot.
  int Load(std::vector<uint32_t> handles, std::vector<int32_t> uses = {}) {
    handles_ = std::move(handles);
    uses_ = uses.empty() ? std::vector<int32_t>(handles_.size(), 1) : std::move(uses);
    selection_ = ScreenSelection{};
    selection_.screens = handles_.data();
    selection_.screen_uses = uses_.data();
    selection_.screen_count = static_cast<int32_t>(handles_.size());
    return sel_hook_.load(&selection_);
  }
  bool Said(int level, const std::string& text) const {
    for (const auto& m : host_.messages)
      if (m.first == level && m.second == text) return true;
    return false;
  }

  FakeScreeningHost host_;
  ScrHookRecord scr_;
  ScrSelHookRecord sel_hook_;
  ScreenSelection selection_;
  std::vector<uint32_t> handles_;
  std::vector<int32_t> uses_;
};

TEST_F(ExtensionTest, RegistrationClaimsOnlyItsHooksAndChainsToTheHost) {
  // A hook that is not ours: nothing written, nothing said at debug level 0.
  ScrHookRecord other = scr_;
  other.hook_id = 2;
  EXPECT_EQ(register_hook(&other, &host_.table), 0);
  EXPECT_EQ(other.init, host_init);
  EXPECT_TRUE(host_.messages.empty());
  // Ours in another version: refused, untouched, but registered.
  ScrSelHookRecord old = sel_hook_;
  old.version = 9;
  EXPECT_EQ(register_hook(&old, &host_.table), -1);
  EXPECT_EQ(old.load, host_load);
  EXPECT_EQ(ext.registered, 1);

  Register();
  EXPECT_STREQ(scr_.ident, "SCRINFO  10.1.00");
  EXPECT_EQ(scr_.init, ext_softscr_init);
  EXPECT_EQ(scr_.line, ext_softscr_line);
  for (intptr_t w : scr_.host_words) EXPECT_EQ(w, 0x5A5A);
  for (intptr_t w : scr_.cleared) EXPECT_EQ(w, 0);
  EXPECT_EQ(sel_hook_.load, ext_scrsel_load);
  EXPECT_EQ(sel_hook_.get_screen_state, get_state);
  // The identification comes at level 3 whatever the debug level.
  EXPECT_TRUE(Said(3, "SCRSEL Extension identification (SCRINFO  10.1.00 (Nov 29 2011))"));
  EXPECT_TRUE(Said(3, "SCR Extension identification (SCRINFO  10.1.00 (Nov 29 2011))"));
  EXPECT_EQ(host_.messages.size(), 2u);

  // The same records handed over again must not make the extension chain to
  // itself: each slot still reaches the host's function exactly once.
  Register();
  EXPECT_EQ(scr_.line(0, 12, 0), 3);
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"line 12"}));
  EXPECT_EQ(ext.current_line, 12);
  host_.screens = {{0x1000, {"round", 150.0, 45.0, 1}}};
  EXPECT_EQ(Load({0x1000}), 0);
  ASSERT_EQ(sel_hook_.unload(&selection_, 11, 22), 5);
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"line 12", "load", "unload"}));
  EXPECT_EQ(host_.unload_args[0], 11);
  EXPECT_EQ(host_.unload_args[1], 22);

  // Debug lines, and the time switch from the environment.
  host_.messages.clear();
  host_.ints["SCRDEBUG"] = 1;
  setenv("DRAVEXT_SCRINFO_TIMEDEBUG", "abc", 1);
  EXPECT_EQ(register_hook(&other, &host_.table), 0);
  EXPECT_EQ(ext.time_debug, 0);
  EXPECT_TRUE(Said(3, "drav_extension(): Search: hookID = 2"));
  EXPECT_TRUE(Said(3, "Not found: hookID = 2\n\n"));
  setenv("DRAVEXT_SCRINFO_TIMEDEBUG", "2", 1);
  Register();
  EXPECT_EQ(ext.time_debug, 2);
  EXPECT_EQ(ext.debug_level, 1);
  EXPECT_TRUE(Said(3, "Found: SCRSEL hookID = 3"));
  EXPECT_TRUE(Said(3, "Found: SCR hookID = 1"));
}

// Records registered in turn, one of them again: each record's slots chain
// to that record's own host functions, never to another record's, and
// never to the extension itself.
TEST_F(ExtensionTest, ARecordRegisteredAgainKeepsItsOwnHostFunctions) {
  static std::vector<std::string>* calls = nullptr;
  calls = &host_.calls;
  struct Other {
    static int line(intptr_t, int32_t line, intptr_t) {
      calls->push_back("other line " + std::to_string(line));
      return 4;
    }
    static int load(ScreenSelection*) {
      calls->push_back("other load");
      return 0;
    }
    static int unload(ScreenSelection*, intptr_t, intptr_t) {
      calls->push_back("other unload");
      return 6;
    }
  };
  ScrHookRecord second_scr = scr_;
  second_scr.line = Other::line;
  ScrSelHookRecord second_sel = sel_hook_;
  second_sel.load = Other::load;
  second_sel.unload = Other::unload;
  host_.screens = {{0x1000, {"round", 150.0, 45.0, 1}}};

  // Orders of registration; each ends with the record that is used.
  for (int order = 0; order < 3; ++order) {
    SCOPED_TRACE(order);
    host_.calls.clear();
    Register();                                                  // R1
    ASSERT_EQ(register_hook(&second_scr, &host_.table), 1);      // R2
    ASSERT_EQ(register_hook(&second_sel, &host_.table), 1);
    if (order >= 1) Register();                                  // R1 again
    if (order == 2) {
      ASSERT_EQ(register_hook(&second_scr, &host_.table), 1);    // R2 again
      ASSERT_EQ(register_hook(&second_sel, &host_.table), 1);
    }
    const bool first = order == 1;
    ScrHookRecord& scr = first ? scr_ : second_scr;
    ScrSelHookRecord& sel = first ? sel_hook_ : second_sel;
    host_.calls.clear();
    EXPECT_EQ(scr.line(0, 9, 0), first ? 3 : 4);
    handles_ = {0x1000};
    uses_ = {1};
    selection_ = ScreenSelection{};
    selection_.screens = handles_.data();
    selection_.screen_uses = uses_.data();
    selection_.screen_count = 1;
    EXPECT_EQ(sel.load(&selection_), 0);
    EXPECT_EQ(sel.unload(&selection_, 1, 2), first ? 5 : 6);
    const std::string prefix = first ? "" : "other ";
    EXPECT_EQ(host_.calls, (std::vector<std::string>{prefix + "line 9", prefix + "load", prefix + "unload"}));
  }
}

TEST_F(ExtensionTest, ScreenTableMergesEqualScreensAndNamesDots) {
  Register();
  const std::string long_dot(80, 'x');
  host_.screens = {
      {0x100, {"Ellipse", 150.0, 45.0, 1}},
      {0x200, {"ELLIPSE", 150.0, 45.0, 1}},     // merged with 0x100
      {0x300, {"Ellipse", 150.0, 45.000001, 1}},  // another angle: its own record
      {0x400, {"ys", 133.0, 15.0, 8}},
      {0x500, {"ys", 133.0, 15.0, 8}},  // "ys" against the stored "mf": its own record
      {0x600, {"round", 175.0, 0.0, 16, "AM NovaDot 175"}},
      {0x700, {"round", 175.0, 75.0, 16, "AM novadot"}},
      {0x800, {long_dot.c_str(), 100.0, 0.0, 1}},
      {0x900, {"never", 1.0, 1.0, 1}},
      {0xA00, {nullptr, 60.0, 0.0, 1}},  // a host that gives no dot name
  };
  EXPECT_EQ(Load({0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x800, 0x900, 0xA00}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 2}),
            0);
  ASSERT_EQ(ext.unique_count, 8);
  ASSERT_EQ(ext.pointer_count, 9);
  const std::vector<std::string> dots = {"Ellipse", "Ellipse", "mf", "mf", "nd00", "round", std::string(63, 'x'), ""};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(ext.screen_info[i].dot, dots[static_cast<std::size_t>(i)].c_str()) << i;
  EXPECT_EQ(ext.pointer_map[1].handle, 0x200u);
  EXPECT_EQ(ext.pointer_map[1].index, 0);
  EXPECT_EQ(ext.screen_info[0].screen, 0x100u);
  EXPECT_EQ(ext.screen_info[0].loaded, 1);
  EXPECT_EQ(ext.screen_info[3].scrtype, 8);
  EXPECT_EQ(ext.screen_info[8].dot, nullptr);  // the unknown-screens record
  EXPECT_EQ(ext.screen_info[8].screen, 0u);

  // A second load without an unload frees the first tables (ASan checks).
  EXPECT_EQ(Load({0x100}), 0);
  EXPECT_EQ(ext.unique_count, 1);
  // Nothing taken: only the unknown-screens record.
  EXPECT_EQ(Load({0x100, 0x200}, {0, -1}), 0);
  EXPECT_EQ(ext.unique_count, 0);
  EXPECT_EQ(ext.pointer_count, 0);
  ASSERT_NE(ext.screen_info, nullptr);
}

TEST_F(ExtensionTest, RunsAddUpPixelsAndBoundsPerScreen) {
  Register();
  host_.screens = {{0xA0, {"round", 150.0, 45.0, 1}}, {0xB0, {"line", 120.0, 0.0, 1}},
                   {0xC0, {"round", 150.0, 45.0, 1}}, {0, {"ellipse", 100.0, 15.0, 1}}};
  ASSERT_EQ(Load({0xA0, 0xB0, 0xC0, 0}), 0);
  ASSERT_EQ(scr_.init(1, 42, nullptr, nullptr, nullptr), 7);
  ASSERT_EQ(host_.given[0], count_screen_run);
  EXPECT_EQ(ext.coverage_valid, 1);
  ScrRunFn screen = host_.given[0], solid = host_.given[1], copydot = host_.given[2];
  ScreenInfo& a = ext.screen_info[0];
  ScreenInfo& b = ext.screen_info[1];
  ScreenInfo& zero = ext.screen_info[2];

  // The first run, on handle 0, is still a change of screen.
  scr_.line(0, 3, 0);
  screen(0, 7, 2);
  EXPECT_EQ(ext.screen_changes, 1);
  EXPECT_EQ(zero.coverage, 2);
  scr_.line(0, 10, 0);
  screen(0xA0, 100, 50);
  scr_.line(0, 12, 0);
  screen(0xA0, 80, 10);
  EXPECT_EQ(a.coverage, 60);
  EXPECT_EQ(a.bound_l, 80);
  EXPECT_EQ(a.bound_t, 10);
  EXPECT_EQ(a.bound_r, 150);
  EXPECT_EQ(a.bound_b, 12);
  EXPECT_EQ(ext.screen_changes, 2);
  // Merged handles add into one record; switching between them is a change.
  screen(0xC0, 200, 5);
  screen(0xA0, 1, 1);
  EXPECT_EQ(a.coverage, 66);
  EXPECT_EQ(ext.screen_changes, 4);
  // A zero-length first run sets nothing lasting; the next change sets the
  // left and top bounds again. bound_r starts at 0 and only grows.
  scr_.line(0, 20, 0);
  screen(0xB0, 500, 0);
  scr_.line(0, 21, 0);
  screen(0xA0, 0, 1);
  screen(0xB0, 400, 4);
  EXPECT_EQ(b.coverage, 4);
  EXPECT_EQ(b.bound_l, 400);
  EXPECT_EQ(b.bound_t, 21);
  EXPECT_EQ(b.bound_r, 500);
  // A negative length counts with its sign; an end past 2^31 wraps (and so
  // does not raise bound_r).
  screen(0xB0, 10, -3);
  EXPECT_EQ(b.coverage, 1);
  screen(0xB0, INT32_MAX - 1, 10);
  EXPECT_EQ(b.bound_r, 500);
  // A handle outside the selection lands where its slot says.
  screen(0xD0, 1, 1);
  EXPECT_EQ(ext.screen_info[ext.hash.lookup(0xD0)].coverage >= 1, true);

  scr_.line(0, 5, 0);
  solid(0, 0, 10);
  scr_.line(0, 7, 0);
  solid(0, 20, 5);
  const ScreenInfo& solids = ext.other_info[1];
  EXPECT_EQ(solids.coverage, 15);
  EXPECT_EQ(solids.bound_l, 0);
  EXPECT_EQ(solids.bound_t, 5);
  EXPECT_EQ(solids.bound_r, 25);
  EXPECT_EQ(solids.bound_b, 7);
  copydot(0, 30, 3);
  EXPECT_EQ(ext.other_info[0].coverage, 3);

  // Not 1 bit per pixel: reported, and the host gets no callbacks.
  host_.messages.clear();
  ASSERT_EQ(Load({0xA0}), 0);
  EXPECT_EQ(scr_.init(8, 0, nullptr, nullptr, nullptr), 7);
  EXPECT_TRUE(Said(1, "ext_softscr_init: SCR HOOK Extension in MONO: invalid bps (8)"));
  EXPECT_EQ(host_.given[0], nullptr);
  EXPECT_EQ(ext.coverage_valid, 0);
  // Nothing taken: no hash, no callbacks.
  ASSERT_EQ(Load({0xA0}, {0}), 0);
  EXPECT_EQ(scr_.init(1, 0, nullptr, nullptr, nullptr), 7);
  EXPECT_TRUE(Said(1, "hash_init: invalid number of pointers (<=0)"));
  EXPECT_TRUE(Said(1, "ext_softscr_init: error in hash_init()"));
  EXPECT_EQ(host_.given[0], nullptr);
}

TEST_F(ExtensionTest, TimedCallbacksCountAndAccountOnlyAboveOne) {
  for (const char* level : {"1", "2"}) {
    setenv("DRAVEXT_SCRINFO_TIMEDEBUG", level, 1);
    Register();
    host_.screens = {{0xA0, {"round", 150.0, 45.0, 1}}};
    ASSERT_EQ(Load({0xA0}), 0);
    ASSERT_EQ(scr_.init(1, 0, nullptr, nullptr, nullptr), 7);
    ASSERT_EQ(host_.given[0], timed_screen_run);
    host_.given[0](0xA0, 0, 5);
    host_.given[1](0, 0, 5);
    host_.given[2](0, 0, 5);
    EXPECT_EQ(ext.scr_runs, 1);
    EXPECT_EQ(ext.solid_runs, 1);
    EXPECT_EQ(ext.cpd_runs, 1);
    const bool accounted = level[0] == '2';
    EXPECT_EQ(ext.screen_info[0].coverage, accounted ? 5 : 0);
    EXPECT_EQ(ext.screen_changes, accounted ? 1 : 0);
  }
}

TEST_F(ExtensionTest, HandOverBeforeAndAfterRegistration) {
  int count = 7, valid = 7;
  ScreenInfo* table = ext.other_info;
  ScreenInfo* other = ext.other_info;
  testing::internal::CaptureStdout();
  EXPECT_EQ(pass_screen_info(&count, &table), -4);
  EXPECT_EQ(pass_other_info(&other, &valid), -4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "pass_screen_info: drav_extension() not called: extension not registered"
            "pass_other_info: drav_extension() not called: extension not registered");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(valid, 0);

  host_.ints["T"] = 1;
  Register();
  // Three screens take slots 1 to 3 of a four-slot table; 0x400 falls into
  // the empty slot 0, the unknown-screens record.
  host_.screens = {{0x100, {"round", 150.0, 45.0, 1}},
                   {0x200, {"line", 120.0, 0.0, 1}},
                   {0x300, {"dot", 100.0, 0.0, 1}}};
  ASSERT_EQ(Load({0x100, 0x200, 0x300}), 0);
  ASSERT_EQ(scr_.init(1, 0, nullptr, nullptr, nullptr), 7);
  scr_.line(0, 4, 0);
  host_.given[0](0x100, 10, 20);
  host_.given[0](0x400, 3, 3);
  host_.messages.clear();
  ASSERT_EQ(pass_screen_info(&count, &table), 0);
  ASSERT_EQ(pass_other_info(&other, &valid), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(table, ext.screen_info);
  EXPECT_EQ(other, ext.other_info);
  EXPECT_EQ(valid, 1);
  EXPECT_TRUE(Said(3, "Screen info:"));
  EXPECT_TRUE(Said(3, "0:0x00000100,dot=round,lpi=150.0,ang=45.0,loaded=1,scrtype=1"));
  EXPECT_TRUE(Said(3, "\t Coverage=20, Bound: l=10, t=4, r=30, b=4"));
  EXPECT_TRUE(Said(3, "\t NONE LOADED screens surface: Coverage: 3, Bound: l=3, t=4, r=6, b=4"));
  EXPECT_TRUE(Said(3, "\t Copydot: Coverage: 0, Bound: l=0, t=0, r=0, b=0"));
  EXPECT_TRUE(Said(3, "\t Solids: Coverage: 0, Bound: l=0, t=0, r=0, b=0"));

  // No selection loaded: the heading still comes, over an empty list.
  ASSERT_EQ(sel_hook_.unload(&selection_, 0, 0), 5);
  host_.messages.clear();
  ASSERT_EQ(pass_screen_info(&count, &table), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(table, nullptr);
  EXPECT_TRUE(Said(3, "Screen info:"));
  EXPECT_EQ(host_.messages.size(), 1u);
  host_.ints["T"] = 0;
  Register();
  host_.messages.clear();
  ASSERT_EQ(pass_screen_info(&count, &table), 0);
  EXPECT_TRUE(host_.messages.empty());
}

}  // namespace
