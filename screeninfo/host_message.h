// host_message.h - how the screening extension reports: drav_message through
// the host's message entry it was handed.
#ifndef SCREENINFO_HOST_MESSAGE_H
#define SCREENINFO_HOST_MESSAGE_H

#include "drav_message.h"

namespace screeninfo {

using HostMessage = DravHostMessage;

}  // namespace screeninfo

#endif  // SCREENINFO_HOST_MESSAGE_H
