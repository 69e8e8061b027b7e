// failure.h - the exception through which the library's C++ parts report a
// failed operation, and the system's description of an error number.
#ifndef DRAVOUTUTIL_FAILURE_H
#define DRAVOUTUTIL_FAILURE_H

#include <stdexcept>
#include <string>
#include <string_view>

namespace dravoututil {

// A failed operation; what() is the complete, human-readable reason.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the system's description of the error number err.
std::string error_text(int err);

// Throws a Failure reading "<what>: <system description of err>".
[[noreturn]] void fail_with_errno(std::string_view what, int err);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_FAILURE_H
