// screening.cpp - the screening hook records riphost offers.
#include "screening.h"

namespace riphost {
namespace {

// riphost's own slot functions: it keeps no state of its own for a
// selection or a screening run, so each only answers that all is well.
int host_load(ScreenSelection*) { return 0; }
int host_unload(ScreenSelection*, intptr_t, intptr_t) { return 0; }
int host_init(int, intptr_t, ScrRunFn, ScrRunFn, ScrRunFn) { return 0; }
int host_line(intptr_t, int32_t, intptr_t) { return 0; }

const char* claim_text(int result) {
  switch (result) {
    case 1: return "claimed";
    case 0: return "not claimed";
    default: return "refused (version)";
  }
}

}  // namespace

ScreeningHooks::ScreeningHooks() {
  scrsel_.hook_id = SCRSEL_HOOK_ID;
  scrsel_.version = SCRSEL_HOOK_VERSION;
  scrsel_.ident = "riphost screen selection";
  scrsel_.load = host_load;
  scrsel_.unload = host_unload;
  scr_.hook_id = SCR_HOOK_ID;
  scr_.version = SCR_HOOK_VERSION;
  scr_.ident = "riphost software screening";
  scr_.init = host_init;
  scr_.line = host_line;
  other_.hook_id = kHalftoneCacheHookId;
  other_.version = 1;
  other_.ident = "riphost halftone cache";
}

void ScreeningHooks::offer(const PluginApi& api, HostCallbacks* callbacks, MessageSink& sink) {
  if (api.extension == nullptr) return;
  const int scrsel = api.extension(&scrsel_, callbacks);
  const int scr = api.extension(&scr_, callbacks);
  const int other = api.extension(&other_, callbacks);
  scrsel_claimed_ = scrsel == 1;
  scr_claimed_ = scr == 1;
  sink.info("screening hooks: SCRSEL %s, SCR %s, hook %d %s", claim_text(scrsel), claim_text(scr),
            kHalftoneCacheHookId, claim_text(other));
  if (scrsel < 0 || scr < 0) sink.warning("the plug-in refused the version of a screening hook");
}

}  // namespace riphost
