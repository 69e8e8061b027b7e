// message_test.cpp - host_message and riphost's own messages: levels,
// streams, hostile texts and over-long texts.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "driver/host_callbacks.h"
#include "common/message.h"

namespace {

// Two temporary streams standing for standard output and standard error.
class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = std::tmpfile();
    err_ = std::tmpfile();
    ASSERT_TRUE(out_ && err_);
  }
  void TearDown() override {
    std::fclose(out_);
    std::fclose(err_);
  }
  static std::string contents(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
    return text;
  }
  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
};

// A message at any level, as host_message passes it on.
void message(riphost::MessageSink& sink, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
void message(riphost::MessageSink& sink, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  sink.vmessage(level, format, args);
  va_end(args);
}

// A message of the plug-in, as host_message passes it on.
void plugin(riphost::MessageSink& sink, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
void plugin(riphost::MessageSink& sink, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  sink.plugin_message(level, format, args);
  va_end(args);
}

TEST_F(MessageTest, PluginInformationWaitsForDebugUnlessItExplainsThePluginsError) {
  using riphost::Verbosity;
  // What each verbosity prints of the same sequence, on out and on err.
  struct Case {
    Verbosity verbosity;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {Verbosity::Quiet, "", "riphost: error: Writing scanline 3 failed\nriphost: error: row 3: the disk is full\n"
                             "riphost: info: No space left on device\nriphost: error: dravout_putscan failed\n"},
      {Verbosity::Verbose, "riphost: info: riphost's own\n",
       "riphost: error: Writing scanline 3 failed\nriphost: error: row 3: the disk is full\n"
       "riphost: info: No space left on device\nriphost: error: dravout_putscan failed\n"},
      {Verbosity::Debug,
       "riphost: info: TAV NO extended screen tag\nriphost: info: riphost's own\nriphost: trace: a call\n"
       "riphost: info: Unrelated text\n",
       "riphost: error: Writing scanline 3 failed\nriphost: error: row 3: the disk is full\n"
       "riphost: info: No space left on device\nriphost: error: dravout_putscan failed\n"},
  };
  for (const Case& c : cases) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
      riphost::MessageSink sink(out, err, c.verbosity);
      plugin(sink, 3, "TAV NO extended screen tag");
      sink.info("riphost's own");
      sink.trace("a call");
      // riphost's line after the plug-in's error keeps its explanation coming.
      plugin(sink, 1, "Writing scanline %d failed", 3);
      sink.follow_up(1, "row %d: the disk is full", 3);
      plugin(sink, 3, "No space left on device");
      // After riphost's own error, the plug-in's information is no explanation.
      sink.error("dravout_putscan failed");
      plugin(sink, 3, "Unrelated text");
    }
    EXPECT_EQ(contents(out), c.out) << static_cast<int>(c.verbosity);
    EXPECT_EQ(contents(err), c.err) << static_cast<int>(c.verbosity);
    std::fclose(out);
    std::fclose(err);
  }
}

TEST_F(MessageTest, LevelsChooseStreamAndPrefix) {
  riphost::MessageSink sink(out_, err_, false);
  message(sink, 1, "bad %d", 1);
  message(sink, 2, "odd %s", "thing");
  message(sink, 3, "note %.1f", 2.5);
  message(sink, 0, "zero");
  message(sink, 9, "nine\n");  // one trailing newline is the message's own end
  EXPECT_EQ(contents(out_), "riphost: info: note 2.5\n");
  EXPECT_EQ(contents(err_),
            "riphost: error: bad 1\nriphost: warning: odd thing\nriphost: message(0): zero\n"
            "riphost: message(9): nine\n");
}

TEST_F(MessageTest, QuietDropsInformationAndResultsOnly) {
  riphost::MessageSink sink(out_, err_, true);
  sink.info("hidden");
  sink.result("wrote %s", "x");
  sink.warning("shown");
  EXPECT_EQ(contents(out_), "");
  EXPECT_EQ(contents(err_), "riphost: warning: shown\n");
}

TEST_F(MessageTest, HostileTextsArePrintedLiterally) {
  riphost::MessageSink sink(out_, err_, false);
  riphost::OptionStore store;
  riphost::HostSession session(store, sink);
  riphost::ScopedSession scope(session);
  HostCallbacks callbacks = riphost::make_host_callbacks();
  callbacks.host_message(1, "%s", "%s%n%x");
  // Control characters cannot drive the terminal.
  callbacks.host_message(2, "%s", "a\rb\x1b[2Jc\td");
  callbacks.host_message(1, nullptr);
  EXPECT_EQ(contents(err_), "riphost: error: %s%n%x\nriphost: warning: a?b?[2Jc\td\nriphost: error: \n");
}

TEST_F(MessageTest, LongTextIsCutNotOverflowed) {
  riphost::MessageSink sink(out_, err_, false);
  std::string huge(20000, 'z');
  sink.error("%s", huge.c_str());
  std::string text = contents(err_);
  ASSERT_EQ(text.rfind("riphost: error: zzz", 0), 0u);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.size(), std::string("riphost: error: \n").size() + riphost::kMessageBufferSize - 1);
}

TEST_F(MessageTest, ProgressLineIsClearedBeforeAMessage) {
  riphost::MessageSink sink(out_, err_, false);
  sink.status_line("  job/1/K: 5%");
  sink.status_line("  job/1/K: 10%");
  sink.error("stop");
  std::string blank(std::string("  job/1/K: 10%").size(), ' ');
  EXPECT_EQ(contents(err_), "\r  job/1/K: 5%\r  job/1/K: 10%\r" + blank + "\rriphost: error: stop\n");
}

TEST_F(MessageTest, VerbosityAndErrorExplanations) {
  using riphost::Verbosity;
  {
    // The default: results, errors and warnings; no information.
    riphost::MessageSink sink(out_, err_, Verbosity::Normal);
    sink.info("device: dpi_h = 2000");
    sink.result("wrote %s", "a.tav");
    sink.warning("odd");
    // The information right after an error explains it: shown with it.
    message(sink, 1, "Writing scanline %d failed", 1048);
    message(sink, 3, "No space left on device (writing row %d of %s)", 1048, "x.tav");
    // Only the one right after: a second one, or one after a warning, is not.
    message(sink, 3, "more detail");
    message(sink, 1, "failed again");
    sink.warning("between");
    message(sink, 3, "not an explanation");
    // A result in between ends the error too.
    sink.error("third");
    sink.result("wrote %s", "b.tav");
    sink.info("hidden too");
  }
  EXPECT_EQ(contents(out_), "wrote a.tav\nwrote b.tav\n");
  EXPECT_EQ(contents(err_),
            "riphost: warning: odd\n"
            "riphost: error: Writing scanline 1048 failed\n"
            "riphost: info: No space left on device (writing row 1048 of x.tav)\n"
            "riphost: error: failed again\n"
            "riphost: warning: between\n"
            "riphost: error: third\n");
}

TEST_F(MessageTest, QuietStillExplainsErrors) {
  {
    riphost::MessageSink quiet(out_, err_, riphost::Verbosity::Quiet);
    quiet.result("wrote %s", "a.tav");
    quiet.info("plug-in opened");
    quiet.error("Writing scanline 3 failed");
    quiet.info("No space left on device");
  }
  EXPECT_EQ(contents(out_), "");
  EXPECT_EQ(contents(err_), "riphost: error: Writing scanline 3 failed\nriphost: info: No space left on device\n");
}

}  // namespace
