// host_callbacks.cpp - the C callbacks of HostCallbacks over the current session.
#include "driver/host_callbacks.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace riphost {

namespace {

HostSession* current_session = nullptr;

// Slot 0: an integer option; non-zero when found.
int get_int_option(const char* key, int* value) {
  if (!current_session || !key || !value) return 0;
  return current_session->options().get_int(key, *value) ? 1 : 0;
}

// Slot 1: a real option; non-zero when found.
int get_real_option(const char* key, double* value) {
  if (!current_session || !key || !value) return 0;
  return current_session->options().get_real(key, *value) ? 1 : 0;
}

// Slot 2: a text option into a DRAV_OPTION_TEXT_SIZE buffer; non-zero when found.
int get_string_option(const char* key, char* buffer) {
  if (!current_session || !key || !buffer) return 0;
  return current_session->options().get_string(key, buffer) ? 1 : 0;
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
    current_session->sink().vmessage(level, format, args);
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
