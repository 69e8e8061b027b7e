// interrupt_test.cpp - stop signals: the handlers, and a stopped run against
// the fake plug-in, which raises the signal from inside one of its calls.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

#include "common/signals.h"
#include "test_support.h"

namespace {

using riphost_test::FakePluginEnv;
using riphost_test::RunResult;
using riphost_test::TempDir;
using Lines = std::vector<std::string>;

// The disposition of sig now.
void (*handler_of(int sig))(int) {
  struct sigaction now {};
  sigaction(sig, nullptr, &now);
  return now.sa_handler;
}

TEST(StopSignalsTest, HandlersNoteTheFirstSignalAndRestoreTheEarlierOnes) {
  ASSERT_EQ(handler_of(SIGTERM), SIG_DFL);
  ASSERT_EQ(signal(SIGHUP, SIG_IGN), SIG_DFL);
  {
    riphost::StopHandlers handlers;
    EXPECT_EQ(riphost::stop_signal(), 0);
    // An ignored signal (nohup) stays ignored.
    EXPECT_EQ(handler_of(SIGHUP), SIG_IGN);
    raise(SIGHUP);
    EXPECT_EQ(riphost::stop_signal(), 0);
    // The process survives; the first stop signal is kept, a later one does
    // not replace it.
    raise(SIGTERM);
    EXPECT_EQ(riphost::stop_signal(), SIGTERM);
    raise(SIGINT);
    EXPECT_EQ(riphost::stop_signal(), SIGTERM);
    EXPECT_EQ(riphost::stop_exit_status(riphost::stop_signal()), 143);
    EXPECT_STREQ(riphost::stop_signal_name(SIGINT), "SIGINT");
    EXPECT_STREQ(riphost::stop_signal_name(SIGHUP), "SIGHUP");
  }
  EXPECT_EQ(handler_of(SIGTERM), SIG_DFL);
  EXPECT_EQ(handler_of(SIGINT), SIG_DFL);
  EXPECT_EQ(handler_of(SIGHUP), SIG_IGN);
  signal(SIGHUP, SIG_DFL);
  // A new run forgets the old signal.
  riphost::StopHandlers again;
  EXPECT_EQ(riphost::stop_signal(), 0);
}

// Two jobs; the first has one page of two separations of three rows.
constexpr const char* kTicket = R"({
  "device": "dev", "output": "out",
  "jobs": [
    {"name": "one", "pages": [{"width": 16, "height": 3, "separations": [
        {"name": "C", "pattern": "bars"}, {"name": "M", "pattern": "bars"}]}]},
    {"name": "two", "pages": [{"width": 8, "height": 2, "separations": [{"name": "K", "pattern": "bars"}]}]}
  ]})";

const Lines kStart = {"open", "jobsettings JOBNAME=one", "startjob ppi=2400 bps=1",
                      "startpage width=16 height=3 ncopies=1 JOBNAME=one",
                      "startseparations C outputpage=absent JOBNAME=one-p1-C"};

// Joins line lists.
Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct StopCase {
  const char* raise;  // FAKE_DRAVOUT_SIGNAL
  Lines expected;
  int status;
  const char* message;
  bool first_file_written;
};

TEST(StoppedRunTest, AbandonsTheOpenWorkEndsTheJobAndCloses) {
  const StopCase cases[] = {
      // Mid-separation: no endseparations, no endpage, no second job.
      {"putscan:2:15", concat({kStart, {"putscan raised 15", "endjob", "close"}}), 143, "stopped by SIGTERM",
       false},
      {"newscan:2:2", concat({kStart, {"newscan raised 2", "endjob", "close"}}), 130, "stopped by SIGINT", false},
      // Between separations: the finished one is kept, the page is not ended.
      {"endseparations:1:1",
       concat({kStart, {"endseparations raised 1", "endseparations rows=3", "endjob", "close"}}), 129,
       "stopped by SIGHUP", true},
      // Between jobs: the second job never starts.
      {"endjob:1:15",
       concat({kStart, {"endseparations rows=3", "startseparations M outputpage=absent JOBNAME=one-p1-M",
                        "endseparations rows=3", "endpage", "endjob raised 15", "endjob", "close"}}),
       143, "stopped by SIGTERM", true},
      // A second signal during the cleanup neither cuts it short nor changes
      // the exit status.
      {"putscan:2:15,endjob:1:2,close:1:1",
       concat({kStart, {"putscan raised 15", "endjob raised 2", "endjob", "close raised 1", "close"}}), 143,
       "stopped by SIGTERM", false},
      // During the open: no job runs, the plug-in is still closed.
      {"open:1:15", {"open raised 15", "open", "close"}, 143, "stopped by SIGTERM", false},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.raise);
    TempDir dir;
    riphost_test::write_device_folder(dir / "dev");
    riphost_test::write_file(dir / "job.json", kTicket);
    RunResult result;
    {
      FakePluginEnv env(dir / "calls.log");
      setenv("FAKE_DRAVOUT_SIGNAL", c.raise, 1);
      result = riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, (dir / "job.json").string()});
      unsetenv("FAKE_DRAVOUT_SIGNAL");
    }
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(riphost_test::read_lines(dir / "calls.log"), c.expected);
    // One line tells why the run ended, and nothing else went wrong.
    EXPECT_EQ(result.err, std::string("riphost: error: ") + c.message + "\n");
    bool written = result.out.find("wrote " + (dir / "out" / "fake-1.tav").string()) != std::string::npos;
    EXPECT_EQ(written, c.first_file_written) << result.out;
    // The run's handlers are gone again.
    EXPECT_EQ(handler_of(SIGTERM), SIG_DFL);
  }
}

}  // namespace
