// message.cpp - formatting and printing riphost's messages.
#include "common/message.h"

#include <cstring>

#include "drav_host.h"

namespace riphost {

namespace {

// Shows control characters (but tab and newline) as '?' and drops trailing
// newlines, in place.
void make_printable(char* text) noexcept {
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) text[i] = '?';
  }
}

}  // namespace

// Formats into the fixed buffer and prints prefix + text + newline.
void MessageSink::print(std::FILE* stream, const char* prefix, const char* format, va_list args) noexcept {
  char text[kMessageBufferSize];
  if (!format) format = "";
  if (std::vsnprintf(text, sizeof text, format, args) < 0) std::snprintf(text, sizeof text, "(unformattable message)");
  make_printable(text);
  clear_status();
  std::fprintf(stream, "riphost: %s%s\n", prefix, text);
  std::fflush(stream);
}

// Chooses stream and prefix by level. An information right after an error
// explains that error and is shown with it, whatever the verbosity.
void MessageSink::vmessage(int level, const char* format, va_list args) noexcept {
  bool explains_error = after_error_;
  after_error_ = level == DRAV_MSG_ERROR;
  switch (level) {
    case DRAV_MSG_ERROR:
      print(err_, "error: ", format, args);
      break;
    case DRAV_MSG_WARNING:
      print(err_, "warning: ", format, args);
      break;
    case DRAV_MSG_INFO:
      if (explains_error) {
        print(err_, "info: ", format, args);
      } else if (verbosity_ >= Verbosity::Verbose) {
        print(out_, "info: ", format, args);
      }
      break;
    default: {
      char prefix[32];
      std::snprintf(prefix, sizeof prefix, "message(%d): ", level);
      print(err_, prefix, format, args);
      break;
    }
  }
}

// The plug-in's information waits for -vv; what explains its error does not.
void MessageSink::plugin_message(int level, const char* format, va_list args) noexcept {
  const bool explains = after_error_ && plugin_error_;
  if (level == DRAV_MSG_INFO && !explains) {
    // Plain information: standard output with -vv, else nothing.
    after_error_ = false;
    if (verbosity_ < Verbosity::Debug) return;
  }
  vmessage(level, format, args);
  plugin_error_ = level == DRAV_MSG_ERROR;
}

// As vmessage, keeping whose error came last.
void MessageSink::follow_up(int level, const char* format, ...) noexcept {
  const bool plugin_error = plugin_error_;
  va_list args;
  va_start(args, format);
  vmessage(level, format, args);
  va_end(args);
  plugin_error_ = plugin_error && after_error_;
}

// Level 1.
void MessageSink::error(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vmessage(DRAV_MSG_ERROR, format, args);
  va_end(args);
  plugin_error_ = false;
}

// Level 2.
void MessageSink::warning(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vmessage(DRAV_MSG_WARNING, format, args);
  va_end(args);
  plugin_error_ = false;
}

// Level 3.
void MessageSink::info(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vmessage(DRAV_MSG_INFO, format, args);
  va_end(args);
  plugin_error_ = false;
}

// -vv only, on standard output.
void MessageSink::trace(const char* format, ...) noexcept {
  if (verbosity_ < Verbosity::Debug) return;
  va_list args;
  va_start(args, format);
  print(out_, "trace: ", format, args);
  va_end(args);
}

// A line without prefix on standard output.
void MessageSink::print_line(const char* format, va_list args) noexcept {
  after_error_ = false;
  char text[kMessageBufferSize];
  if (!format || std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  make_printable(text);
  clear_status();
  std::fprintf(out_, "%s\n", text);
  std::fflush(out_);
}

// A result line, but not with --quiet.
void MessageSink::result(const char* format, ...) noexcept {
  if (verbosity_ == Verbosity::Quiet) {
    after_error_ = false;
    return;
  }
  va_list args;
  va_start(args, format);
  print_line(format, args);
  va_end(args);
}

// An answer line, always.
void MessageSink::answer(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  print_line(format, args);
  va_end(args);
}

// Overwrites the progress line with text.
void MessageSink::status_line(const char* text) noexcept {
  char line[512];
  std::snprintf(line, sizeof line, "%s", text);
  make_printable(line);
  for (char* c = line; *c; ++c) {
    if (*c == '\n' || *c == '\t') *c = ' ';
  }
  std::size_t length = std::strlen(line);
  std::fprintf(err_, "\r%s", line);
  // Blank out what is left of a longer previous line.
  if (status_length_ > length) std::fprintf(err_, "%*s", static_cast<int>(status_length_ - length), "");
  std::fflush(err_);
  status_length_ = length;
}

// Blanks the progress line and returns to its start.
void MessageSink::clear_status() noexcept {
  if (status_length_ == 0) return;
  std::fprintf(err_, "\r%*s\r", static_cast<int>(status_length_), "");
  std::fflush(err_);
  status_length_ = 0;
}

}  // namespace riphost
