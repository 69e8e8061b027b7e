// host_message.h - how the screening extension reports: through the host's
// printf-style message entry, format and arguments handed over as they
// stand, the arguments checked against the fixed format by the compiler.
#ifndef SCREENINFO_HOST_MESSAGE_H
#define SCREENINFO_HOST_MESSAGE_H

#include "drav_host.h"

namespace screeninfo {

// The host's message entry (levels 1 error, 2 warning, 3 information).
using HostMessage = decltype(HostCallbacks::host_message);

// Reports through message, when there is one. Always inlined, so the
// arguments reach the host as they are (no va_list).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
extern inline __attribute__((always_inline, gnu_inline, format(printf, 3, 4))) void say(
    HostMessage message, int level, const char* format, ...) {
  if (message != nullptr) message(level, format, __builtin_va_arg_pack());
}
#pragma GCC diagnostic pop

}  // namespace screeninfo

#endif  // SCREENINFO_HOST_MESSAGE_H
