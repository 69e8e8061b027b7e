// host_error.h - the exceptions through which riphost reports a bad input.
//
// A HostError carries a complete, human-readable message (for a ticket error
// it starts with the place in the ticket, e.g. "jobs[0].ppi: ..."). A
// TicketError carries every problem found in a ticket, each in that form.
#ifndef RIPHOST_HOST_ERROR_H
#define RIPHOST_HOST_ERROR_H

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace riphost {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

// What a ticket check found; what() is the problems, one a line.
class TicketError : public HostError {
 public:
  explicit TicketError(std::vector<std::string> problems)
      : HostError(join(problems)), problems_(std::move(problems)) {}
  const std::vector<std::string>& problems() const noexcept { return problems_; }

 private:
  static std::string join(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + problem;
    return text;
  }

  std::vector<std::string> problems_;
};

}  // namespace riphost

#endif  // RIPHOST_HOST_ERROR_H
