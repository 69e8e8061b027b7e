// host_callbacks.cpp - the C callbacks of HostCallbacks over the current session.
#include "driver/host_callbacks.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "driver/plugin_advice.h"

namespace riphost {

namespace {

HostSession* current_session = nullptr;

// Slot 0: an integer option; non-zero when found.
int get_int_option(const char* key, int* value) {
  if (!current_session || !key || !value) return 0;
  const bool found = current_session->options().get_int(key, *value);
  current_session->option_asked("integer", key, found);
  return found ? 1 : 0;
}

// Slot 1: a real option; non-zero when found.
int get_real_option(const char* key, double* value) {
  if (!current_session || !key || !value) return 0;
  const bool found = current_session->options().get_real(key, *value);
  current_session->option_asked("real", key, found);
  return found ? 1 : 0;
}

// Slot 2: a text option into a DRAV_OPTION_TEXT_SIZE buffer; non-zero when found.
int get_string_option(const char* key, char* buffer) {
  if (!current_session || !key || !buffer) return 0;
  const bool found = current_session->options().get_string(key, buffer);
  current_session->option_asked("text", key, found);
  return found ? 1 : 0;
}

// Slot 3: a finished output file.
void file_done(const char* path, int kind) {
  if (current_session) current_session->file_done(path, kind);
}

// Slot 4: a printf-style message at a DravMessageLevel.
__attribute__((format(printf, 2, 3))) int host_message(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (current_session) {
    current_session->plugin_message(level, format, args);
  } else {
    MessageSink fallback(stdout, stderr, Verbosity::Verbose);
    fallback.vmessage(level, format, args);
  }
  va_end(args);
  return 0;
}

}  // namespace

// Prints and records the file's name.
void HostSession::file_done(const char* path, int /*kind*/) noexcept {
  if (!path) {
    sink_.warning("a finished file was reported without a name");
    return;
  }
  sink_.result("wrote %s", path);
  try {
    files_.emplace_back(path);
  } catch (const std::bad_alloc&) {
    sink_.warning("out of memory while recording %s", path);
  }
}

// The advice is worked out from a copy of the arguments before they are
// printed from the original.
void HostSession::plugin_message(int level, const char* format, va_list args) noexcept {
  const bool problem = level == DRAV_MSG_ERROR || level == DRAV_MSG_WARNING;
  std::string advice;
  if (problem && advisor_) {
    va_list copy;
    va_copy(copy, args);
    try {
      advice = advisor_->advise(format, copy);
    } catch (...) {
      advice.clear();  // no advice is better than none of the message
    }
    va_end(copy);
  }
  if (problem && problems_) {
    collect(level == DRAV_MSG_WARNING && warnings_ ? *warnings_ : *problems_, format, args, advice);
    return;
  }
  sink_.plugin_message(level, format, args);
  if (!advice.empty()) sink_.follow_up(level, "%s", advice.c_str());
}

// "<place>: <text>" and the advice, which names its own place, into the list
// of problems.
void HostSession::collect(std::vector<std::string>& into, const char* format, va_list args,
                          const std::string& advice) noexcept {
  char text[kMessageBufferSize];
  if (!format || std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  try {
    // Warnings read as the run prints them, without the place.
    into.push_back(place_.empty() || &into == warnings_ ? std::string(text) : place_ + ": " + text);
    if (!advice.empty()) into.push_back(advice);
  } catch (...) {
    sink_.error("out of memory while listing the problems");
  }
}

void HostSession::set_place(std::string place) noexcept { place_ = std::move(place); }

void HostSession::option_asked(const char* kind, const char* key, bool found) noexcept {
  try {
    if (sink_.shows(Verbosity::Debug)) {
      const OptionEntry* entry = options_.find_entry(key);
      if (found) {
        sink_.trace("the plug-in asked for %s (%s): %s, from %s", key, kind, format_value(entry->value).c_str(),
                    entry->where.c_str());
      } else if (entry) {
        sink_.trace("the plug-in asked for %s (%s): not answered, %s gives %s", key, kind, entry->where.c_str(),
                    value_kind_name(entry->value));
      } else {
        sink_.trace("the plug-in asked for %s (%s): not set", key, kind);
      }
    }
    if (!noting_) return;
    for (const std::string& seen : asked_) {
      if (iequals(seen, key)) return;
    }
    asked_.emplace_back(key);
  } catch (...) {
    // Only the notes are lost.
  }
}

void HostSession::note_options(bool on) noexcept {
  noting_ = on;
  if (on) asked_.clear();
}

// Installs the session for the callbacks.
ScopedSession::ScopedSession(HostSession& session) noexcept : previous_(current_session) {
  current_session = &session;
}

// Restores the previous session.
ScopedSession::~ScopedSession() { current_session = previous_; }

// The table of the five callbacks.
HostCallbacks make_host_callbacks() noexcept {
  HostCallbacks callbacks{};
  callbacks.get_int_option = get_int_option;
  callbacks.get_real_option = get_real_option;
  callbacks.get_string_option = get_string_option;
  callbacks.file_done = file_done;
  callbacks.host_message = host_message;
  return callbacks;
}

}  // namespace riphost
