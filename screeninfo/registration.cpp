// registration.cpp - drav_extension: claiming the SCR and SCRSEL hooks.
#include <cstdlib>
#include <cstring>

#include "extension.h"
#include "fileutil.h"

namespace screeninfo {

ExtensionState ext;

namespace {

// Reads the debug switches anew at every registration.
void read_debug_switches(HostCallbacks* host_table) {
  char value[132] = {};
  ext.time_debug = lognam("DRAVEXT_SCRINFO_TIMEDEBUG", value, sizeof value) != 0 ? std::atoi(value) : 0;
  ext.debug_level = 0;
  if (host_table != nullptr && host_table->get_int_option != nullptr) {
    host_table->get_int_option("T", &ext.debug_level);
    host_table->get_int_option("SCRDEBUG", &ext.debug_level);
  }
}

// The host's function of a slot. A slot that already holds the extension's
// own function (the record registered a second time) gives the function
// kept for this very record, else the one saved last; never the extension's
// own, so that it never chains to itself.
template <typename Fn>
Fn host_function(Fn in_record, Fn own, const Fn* kept_for_record, Fn saved_last) {
  if (in_record != own) return in_record;
  if (kept_for_record != nullptr) return *kept_for_record;
  return saved_last != own ? saved_last : nullptr;
}

// The entry kept for record in records, or null.
template <typename Slots, typename Record>
Slots* slots_of(std::vector<Slots>& records, const Record* record) {
  for (Slots& entry : records) {
    if (entry.record == record) return &entry;
  }
  return nullptr;
}

// Remembers the host functions of record, as the most recent entry.
template <typename Slots>
void remember(std::vector<Slots>& records, const Slots& slots) {
  std::erase_if(records, [&](const Slots& entry) { return entry.record == slots.record; });
  if (records.size() == kRememberedRecords) records.erase(records.begin());
  records.push_back(slots);
}

// Claims the SCRSEL hook: saves the record, then installs load and unload.
int claim_scrsel(ScrSelHookRecord* record) {
  if (record->version != SCRSEL_HOOK_VERSION) return -1;
  const ScrSelHookRecord previous = ext.saved_scrsel_hook;
  const ScrSelRecordSlots* kept = slots_of(ext.scrsel_records, record);
  std::memcpy(&ext.saved_scrsel_hook, record, sizeof(ScrSelHookRecord));
  ext.saved_scrsel_hook.load = host_function<ScrSelLoadFn>(record->load, ext_scrsel_load,
                                                           kept ? &kept->load : nullptr, previous.load);
  ext.saved_scrsel_hook.unload = host_function<ScrSelUnloadFn>(record->unload, ext_scrsel_unload,
                                                               kept ? &kept->unload : nullptr, previous.unload);
  remember(ext.scrsel_records,
           ScrSelRecordSlots{record, ext.saved_scrsel_hook.load, ext.saved_scrsel_hook.unload});
  ext_message(DRAV_MSG_INFO, "SCRSEL Extension identification (%s (%s))", kIdentification, kBuildDate);
  record->ident = kIdentification;
  record->load = ext_scrsel_load;
  record->unload = ext_scrsel_unload;
  if (ext.debug_level > 0) ext_message(DRAV_MSG_INFO, "Found: SCRSEL hookID = %d", record->hook_id);
  return 1;
}

// Claims the SCR hook: saves the record, then installs init and line.
int claim_scr(ScrHookRecord* record) {
  if (record->version != SCR_HOOK_VERSION) return -1;
  const ScrHookRecord previous = ext.saved_scr_hook;
  const ScrRecordSlots* kept = slots_of(ext.scr_records, record);
  std::memcpy(&ext.saved_scr_hook, record, sizeof(ScrHookRecord));
  ext.saved_scr_hook.init =
      host_function<ScrInitFn>(record->init, ext_softscr_init, kept ? &kept->init : nullptr, previous.init);
  ext.saved_scr_hook.line =
      host_function<ScrLineFn>(record->line, ext_softscr_line, kept ? &kept->line : nullptr, previous.line);
  remember(ext.scr_records, ScrRecordSlots{record, ext.saved_scr_hook.init, ext.saved_scr_hook.line});
  ext_message(DRAV_MSG_INFO, "SCR Extension identification (%s (%s))", kIdentification, kBuildDate);
  record->ident = kIdentification;
  record->init = ext_softscr_init;
  record->line = ext_softscr_line;
  record->cleared[0] = record->cleared[1] = record->cleared[2] = 0;
  if (ext.debug_level > 0) ext_message(DRAV_MSG_INFO, "Found: SCR hookID = %d", record->hook_id);
  return 1;
}

}  // namespace

// Takes the host's table and switches, then claims the hook if it is ours.
int register_hook(void* hook_record, HostCallbacks* host_table) {
  ext.ext_host = host_table;
  ext.registered = 1;
  read_debug_switches(host_table);
  if (hook_record == nullptr) return 0;
  int32_t head[2];  // hook ID and version, the start of every record
  std::memcpy(head, hook_record, sizeof head);
  const int32_t hook_id = head[0];
  if (ext.debug_level > 0) ext_message(DRAV_MSG_INFO, "drav_extension(): Search: hookID = %d", hook_id);
  if (hook_id == SCRSEL_HOOK_ID) return claim_scrsel(static_cast<ScrSelHookRecord*>(hook_record));
  if (hook_id == SCR_HOOK_ID) return claim_scr(static_cast<ScrHookRecord*>(hook_record));
  if (ext.debug_level > 0) ext_message(DRAV_MSG_INFO, "Not found: hookID = %d\n\n", hook_id);
  return 0;
}

}  // namespace screeninfo
