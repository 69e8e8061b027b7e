// registration.h - drav_extension: the SCR and SCRSEL hooks claimed, the
// host's own functions of their slots kept, the debug switches read.
//
// Owns the registration state: the host's table of the latest call, whether
// any call came, the debug switches, and the saved hook records through
// which every installed function chains to the host's. The other parts of
// the extension read it through registration() and never change it.
#ifndef SCREENINFO_REGISTRATION_H
#define SCREENINFO_REGISTRATION_H

#include <cstddef>
#include <vector>

#include "drav_host.h"
#include "host_message.h"
#include "screening_hooks.h"

namespace screeninfo {

// The extension's identification and build date, as the host is told.
inline constexpr const char* kIdentification = "SCRINFO  10.1.00";
inline constexpr const char* kBuildDate = "Nov 29 2011";

// The host's own functions of the slots of one hook record the extension
// wrote into, kept per record: a record registered again (its slots then
// hold the extension's functions) chains to its own host's functions, not
// to those of another record registered in between.
struct ScrRecordSlots {
  const ScrHookRecord* record;
  ScrInitFn init;
  ScrLineFn line;
};
struct ScrSelRecordSlots {
  const ScrSelHookRecord* record;
  ScrSelLoadFn load;
  ScrSelUnloadFn unload;
};

// Records whose host functions are remembered; the oldest is forgotten
// first (a host offers one record of each hook, or a few).
inline constexpr std::size_t kRememberedRecords = 16;

struct Registration {
  HostCallbacks* ext_host = nullptr;  // the table of the latest drav_extension call
  int registered = 0;                 // 1 from the first call on
  int time_debug = 0;                 // DRAVEXT_SCRINFO_TIMEDEBUG
  int debug_level = 0;                // host options "T", then "SCRDEBUG"
  ScrHookRecord saved_scr_hook{};     // as handed in, with the host's own slot functions
  ScrSelHookRecord saved_scrsel_hook{};
  std::vector<ScrRecordSlots> scr_records;        // most recent last
  std::vector<ScrSelRecordSlots> scrsel_records;  // most recent last
};

// The registration as it stands; zero before the first drav_extension.
const Registration& registration();

// Back to the state at load (no call came).
void reset_registration();

// drav_extension: takes the host's table and switches, then claims the hook
// if it is ours. 1 claimed, 0 not ours, -1 ours in an unsupported version.
int register_hook(void* hook_record, HostCallbacks* host_table);

// The message entry of the registered host; null before registration.
HostMessage ext_host_message();

// Reports through the registered host's message entry.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
extern inline __attribute__((always_inline, gnu_inline, format(printf, 2, 3))) void ext_message(
    int level, const char* format, ...) {
  const HostMessage message = ext_host_message();
  if (message != nullptr) message(level, format, __builtin_va_arg_pack());
}
#pragma GCC diagnostic pop

}  // namespace screeninfo

#endif  // SCREENINFO_REGISTRATION_H
