// host_callbacks.h - the HostCallbacks table riphost hands to the plug-in.
//
// The callbacks are plain C functions; they reach the running session through
// one process-wide pointer, since a process drives one plug-in at a time.
// Without a session they answer "absent" and print messages to stderr.
#ifndef RIPHOST_HOST_CALLBACKS_H
#define RIPHOST_HOST_CALLBACKS_H

#include <cstdarg>
#include <string>
#include <vector>

#include "drav_host.h"
#include "common/message.h"
#include "driver/option_store.h"

namespace riphost {

class PluginAdvisor;

// What the callbacks work on while a ticket runs.
class HostSession {
 public:
  HostSession(OptionStore& options, MessageSink& sink) noexcept : options_(options), sink_(sink) {}
  OptionStore& options() noexcept { return options_; }
  MessageSink& sink() noexcept { return sink_; }

  // Reports a finished output file: "wrote <path>" on standard output.
  void file_done(const char* path, int kind) noexcept;
  // The files reported so far, in order.
  const std::vector<std::string>& files() const noexcept { return files_; }

  // A message of the plug-in (host_message): printed (its information only
  // with -vv), then the advisor's line for it at the same level. While
  // problems are collected, errors and warnings are appended to the list as
  // "<place>: <text>" (and the advice as a line of its own) instead.
  void plugin_message(int level, const char* format, va_list args) noexcept __attribute__((format(printf, 3, 0)));
  // The advisor asked after each error and warning; null: none.
  void set_advisor(PluginAdvisor* advisor) noexcept { advisor_ = advisor; }
  // Collects errors and warnings into problems from now on (null: print
  // them again); place names where the plug-in is in the ticket. With
  // warnings, the plug-in's warnings go there instead, as the run prints
  // them (without the place).
  void collect_problems(std::vector<std::string>* problems, std::vector<std::string>* warnings = nullptr) noexcept {
    problems_ = problems;
    warnings_ = warnings;
  }
  void set_place(std::string place) noexcept;

  // An option the plug-in asked for (kind: "integer", "real", "text") and
  // whether riphost had it: a trace line with -vv, and the key is noted
  // while noting is on.
  void option_asked(const char* kind, const char* key, bool found) noexcept;
  // Starts noting the keys asked (forgetting earlier ones) or stops.
  void note_options(bool on) noexcept;
  // The keys asked while noting, each once, in the order first asked.
  const std::vector<std::string>& asked() const noexcept { return asked_; }

 private:
  void collect(std::vector<std::string>& into, const char* format, va_list args, const std::string& advice) noexcept
      __attribute__((format(printf, 3, 0)));

  OptionStore& options_;
  MessageSink& sink_;
  std::vector<std::string> files_;
  PluginAdvisor* advisor_ = nullptr;
  std::vector<std::string>* problems_ = nullptr;
  std::vector<std::string>* warnings_ = nullptr;
  std::string place_;
  bool noting_ = false;
  std::vector<std::string> asked_;
};

// Makes session the one the callbacks reach for its lifetime, and restores
// the previous one at the end.
class ScopedSession {
 public:
  explicit ScopedSession(HostSession& session) noexcept;
  ~ScopedSession();
  ScopedSession(const ScopedSession&) = delete;
  ScopedSession& operator=(const ScopedSession&) = delete;

 private:
  HostSession* previous_;
};

// The callback table: get_int_option, get_real_option, get_string_option,
// file_done, host_message.
HostCallbacks make_host_callbacks() noexcept;

}  // namespace riphost

#endif  // RIPHOST_HOST_CALLBACKS_H
