// host_callbacks.h - the HostCallbacks table riphost hands to the plug-in.
//
// The callbacks are plain C functions; they reach the running session through
// one process-wide pointer, since a process drives one plug-in at a time.
// Without a session they answer "absent" and print messages to stderr.
#ifndef RIPHOST_HOST_CALLBACKS_H
#define RIPHOST_HOST_CALLBACKS_H

#include <string>
#include <vector>

#include "drav_host.h"
#include "common/message.h"
#include "driver/option_store.h"

namespace riphost {

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

 private:
  OptionStore& options_;
  MessageSink& sink_;
  std::vector<std::string> files_;
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
