// host_error.h - the exception through which riphost reports a bad input.
//
// A HostError carries a complete, human-readable message (for a ticket error
// it starts with the place in the ticket, e.g. "jobs[0].ppi: ...").
#ifndef RIPHOST_HOST_ERROR_H
#define RIPHOST_HOST_ERROR_H

#include <stdexcept>
#include <string>

namespace riphost {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace riphost

#endif  // RIPHOST_HOST_ERROR_H
