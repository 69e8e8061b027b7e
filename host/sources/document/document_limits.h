// document_limits.h - how much memory and time Ghostscript may spend on a
// document.
//
// Every document is untrusted input: a PostScript program of a few bytes can
// allocate without end or loop for ever. Every Ghostscript run for a
// document (the check, the display device's renderer, the gs program of the
// separation device) is therefore bounded:
//
//   memory  Ghostscript's allocator is limited (its -K option) in the
//           library and the program alike, and the program's whole address
//           space besides (RLIMIT_AS, with room for its code). A document
//           that needs more fails with a VMerror, reported as beyond the
//           limit. Default: half of the machine's physical memory.
//   time    Ghostscript's own time on one page (reading and rendering it;
//           riphost's screening and writing do not count) may not pass the
//           page time limit. Ghostscript's library cannot be interrupted
//           while it reads a page, so a page past the limit fails, riphost
//           cleans up and ends (exit status 1) without waiting for it.
//           Default: none, as the length of a real page has no bound
//           riphost could know (see docs/documents.md, "Limits").
#ifndef RIPHOST_DOCUMENT_LIMITS_H
#define RIPHOST_DOCUMENT_LIMITS_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/host_error.h"

namespace riphost {

// A document that went past a limit while it was checked: its run fails
// (exit status 1) rather than being refused as a bad document.
class DocumentLimitError : public HostError {
 public:
  using HostError::HostError;
};

struct DocumentLimits {
  std::uint64_t memory_bytes = 0;  // 0: no limit
  double page_seconds = 0.0;       // 0: no limit
};

// Half of the machine's physical memory (at least 256 MiB).
std::uint64_t default_memory_limit();

// The limits of a run: the defaults where the texts are empty. memory is a
// size ("1500M", "2G", "2.5GiB", "800000K", bytes without a unit), seconds a
// positive number. Throws HostError naming the option on a bad value.
DocumentLimits document_limits(std::string_view memory, std::string_view seconds);

// Ghostscript's option that bounds its allocator to bytes: "-K<kilobytes>".
std::string memory_option(std::uint64_t bytes);

// "2 GiB", "1.5 GiB", "640 MiB", for messages.
std::string memory_text(std::uint64_t bytes);
// "60 s", "2.5 s".
std::string seconds_text(double seconds);

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_LIMITS_H
