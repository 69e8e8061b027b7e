// message.h - riphost's messages on standard output and standard error.
//
// Room host/common/: what every other room of riphost shares and nothing
// else: the exceptions that carry a bad input's message (host_error.h), the
// message sink (this header), 1-bit rows (bitrow.h), grey conversion
// (grey.h), stop signals (signals.h) and the progress line (progress.h). It
// calls no other room, only the C++ and C libraries.
//
//   level 1  "riphost: error: ..."        standard error
//   level 2  "riphost: warning: ..."      standard error
//   level 3  "riphost: info: ..."         standard output: riphost's own with
//                                         -v (or -vv), the plug-in's with -vv
//   other    "riphost: message(<n>): ..." standard error
//   trace    "riphost: trace: ..."        standard output, only with -vv: the
//                                         calls and answers between riphost
//                                         and the plug-in
//
// Result lines ("wrote <path>") go to standard output unless --quiet.
// A level-3 message that comes directly after a level-1 message is the
// plug-in's explanation of that error ("No space left on device ..." after
// "Writing scanline 1048 failed"): it is always shown, also with --quiet, on
// standard error next to the error it explains. For the plug-in's messages
// (plugin_message) the error must be the plug-in's own, so that its
// information after one of riphost's errors waits for -vv as any other.
//
// A message is formatted into a fixed buffer of kMessageBufferSize bytes: a
// longer text is cut, never overflows. Control characters other than tab and
// newline are shown as '?', so that a text from a file or the plug-in cannot
// drive the terminal. A progress line on standard error is cleared before
// anything else is printed.
#ifndef RIPHOST_MESSAGE_H
#define RIPHOST_MESSAGE_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace riphost {

inline constexpr std::size_t kMessageBufferSize = 8192;

// How much riphost prints besides errors and warnings.
// The order counts: each level shows what the ones before it show.
enum class Verbosity {
  Quiet,    // --quiet: no result lines, no information
  Normal,   // the default: result lines, no information
  Verbose,  // --verbose (-v): result lines and riphost's information
  Debug,    // -vv: also the plug-in's information and the trace of the calls
};

class MessageSink {
 public:
  MessageSink(std::FILE* out, std::FILE* err, Verbosity verbosity) noexcept
      : out_(out), err_(err), verbosity_(verbosity) {}
  // quiet: as Verbosity::Quiet; otherwise everything is printed (Verbose).
  MessageSink(std::FILE* out, std::FILE* err, bool quiet) noexcept
      : MessageSink(out, err, quiet ? Verbosity::Quiet : Verbosity::Verbose) {}

  // Formats and prints a message at a DravMessageLevel.
  void vmessage(int level, const char* format, va_list args) noexcept __attribute__((format(printf, 3, 0)));
  // A message of the plug-in: as vmessage, but its information (level 3)
  // is shown only with -vv, unless it explains the plug-in's own error
  // right before it.
  void plugin_message(int level, const char* format, va_list args) noexcept __attribute__((format(printf, 3, 0)));
  // riphost's own line right after a message of the plug-in, at its level:
  // the plug-in's explanation of an error may still follow it.
  void follow_up(int level, const char* format, ...) noexcept __attribute__((format(printf, 3, 4)));
  void error(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
  void warning(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
  void info(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
  // A line of the trace (-vv only).
  void trace(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
  // Whether lines of this verbosity are printed: spares building a text
  // nobody sees.
  bool shows(Verbosity level) const noexcept { return verbosity_ >= level; }

  // Prints one line of the run's results on standard output (not with --quiet).
  void result(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
  // Prints one line on standard output whatever the verbosity: the answers
  // of riphost --query.
  void answer(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

  // Shows text as the progress line on standard error, replacing the last one.
  void status_line(const char* text) noexcept;
  // Removes the progress line, if one is shown.
  void clear_status() noexcept;

 private:
  void print(std::FILE* stream, const char* prefix, const char* format, va_list args) noexcept
      __attribute__((format(printf, 4, 0)));
  void print_line(const char* format, va_list args) noexcept __attribute__((format(printf, 2, 0)));

  std::FILE* out_;
  std::FILE* err_;
  Verbosity verbosity_;
  bool after_error_ = false;   // the last message was a level-1 error
  bool plugin_error_ = false;  // ... given by the plug-in
  std::size_t status_length_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_MESSAGE_H
