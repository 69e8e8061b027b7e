// failure.cpp - system error texts for Failure messages.
#include "failure.h"

#include <system_error>

namespace dravoututil {

// Returns the system's description of the error number err.
std::string error_text(int err) { return std::generic_category().message(err); }

// Throws a Failure reading "<what>: <system description of err>".
void fail_with_errno(std::string_view what, int err) {
  std::string text(what);
  text += ": ";
  text += error_text(err);
  throw Failure(text);
}

}  // namespace dravoututil
