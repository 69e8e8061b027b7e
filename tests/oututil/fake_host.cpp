// fake_host.cpp - the fake host's callbacks.
#include "fake_host.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

FakeHost* current = nullptr;

// Case-insensitive lookup of key in the current host's options.
const std::string* find_option(const char* key) {
  for (const auto& [name, value] : current->options) {
    if (strcasecmp(name.c_str(), key) == 0) return &value;
  }
  return nullptr;
}

int get_int_option(const char*, int*) { return 0; }
int get_real_option(const char*, double*) { return 0; }

int get_string_option(const char* key, char* buffer) {
  const std::string* value = find_option(key);
  if (value == nullptr) return 0;
  // The host's side of the contract: at most DRAV_OPTION_TEXT_SIZE bytes.
  std::snprintf(buffer, DRAV_OPTION_TEXT_SIZE, "%s", value->c_str());
  return 1;
}

void file_done(const char* path, int kind) { current->files.push_back({path, kind}); }

int host_message(int level, const char* format, ...) {
  char text[4096];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  current->messages.push_back({level, format, text});
  return 0;
}

}  // namespace

FakeHost::FakeHost()
    : callbacks_{get_int_option, get_real_option, get_string_option, file_done, host_message} {
  if (current != nullptr) throw std::logic_error("one FakeHost at a time");
  current = this;
}

FakeHost::~FakeHost() { current = nullptr; }

int FakeHost::count_at(int level) const {
  int count = 0;
  for (const RecordedMessage& message : messages) count += message.level == level ? 1 : 0;
  return count;
}
