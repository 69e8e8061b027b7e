// screening.h - riphost's screening hooks, offered to the plug-in.
//
// A RIP offers extensions of its screening machinery through the plug-in's
// drav_extension: riphost hands over the screen-selection hook (SCRSEL), the
// software-screening hook (SCR) and one hook of another kind that a plug-in
// may leave alone. The records live as long as the run; the plug-in writes
// its own functions into the ones it claims and calls riphost's through its
// saved copies.
#ifndef RIPHOST_SCREENING_H
#define RIPHOST_SCREENING_H

#include <cstdint>

#include "drav_host.h"
#include "message.h"
#include "plugin_loader.h"
#include "screening_hooks.h"

namespace riphost {

// Hook ID of a hook riphost offers that the plug-in does not know.
inline constexpr int32_t kHalftoneCacheHookId = 2;

// riphost's side of the screening extension.
class ScreeningHooks {
 public:
  ScreeningHooks();
  ScreeningHooks(const ScreeningHooks&) = delete;
  ScreeningHooks& operator=(const ScreeningHooks&) = delete;

  // Offers every hook through the plug-in's drav_extension; reports at level
  // 3 which it claimed, and a refused version as a warning.
  void offer(const PluginApi& api, HostCallbacks* callbacks, MessageSink& sink);

  // True once the plug-in claimed both screening hooks.
  bool claimed() const { return scrsel_claimed_ && scr_claimed_; }

  ScrSelHookRecord& selection_hook() { return scrsel_; }
  ScrHookRecord& screening_hook() { return scr_; }

 private:
  ScrSelHookRecord scrsel_{};
  ScrHookRecord scr_{};
  ScrHookRecord other_{};  // a hook of a kind the plug-in does not claim
  bool scrsel_claimed_ = false;
  bool scr_claimed_ = false;
};

}  // namespace riphost

#endif  // RIPHOST_SCREENING_H
