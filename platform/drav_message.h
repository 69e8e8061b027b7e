// drav_message.h - reporting through the host's printf-style message entry.
//
// drav_message hands the format and the arguments to the host as they
// stand (always inlined, so no va_list is formed) and lets the compiler
// check every call's arguments against its fixed format. Texts the caller
// did not write go in as "%s" arguments, never as the format.
#ifndef DRAV_MESSAGE_H
#define DRAV_MESSAGE_H

#include "drav_host.h"

// The host's message entry (levels 1 error, 2 warning, 3 information).
using DravHostMessage = decltype(HostCallbacks::host_message);

// Reports through message, when there is one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
extern inline __attribute__((always_inline, gnu_inline, format(printf, 3, 4))) void drav_message(
    DravHostMessage message, int level, const char* format, ...) {
  if (message != nullptr) message(level, format, __builtin_va_arg_pack());
}
#pragma GCC diagnostic pop

#endif  // DRAV_MESSAGE_H
