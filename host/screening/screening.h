// screening.h - riphost's screening hooks, offered to the plug-in.
//
// A RIP offers extensions of its screening machinery through the plug-in's
// drav_extension: riphost hands over the screen-selection hook (SCRSEL), the
// software-screening hook (SCR) and one hook of another kind that a plug-in
// may leave alone. The records live as long as the run; the plug-in writes
// its own functions into the ones it claims and calls riphost's through its
// saved copies.
//
// riphost's side: every screen of the current job is a descriptor whose
// handle is base + index * step (by default aligned, descriptor-sized steps,
// as a RIP handing out descriptor addresses would). For each separation
// riphost builds a ScreenSelection (the handles and their use counts), calls
// the SCRSEL load slot through the record after dravout_startseparations and
// the unload slot once the plug-in is done with the separation; in between
// it answers get_screen_params, get_screen_state and get_screen_name from its
// descriptors. When it screens a separation itself it calls the SCR init
// slot, keeps the run callbacks the plug-in hands to riphost's own init, and
// calls the line slot before the runs of every row. A plug-in that claims
// neither hook gets none of these calls.
#ifndef RIPHOST_SCREENING_H
#define RIPHOST_SCREENING_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "drav_host.h"
#include "common/message.h"
#include "dravout.h"
#include "screening/screen_runs.h"
#include "ticket/screen_spec.h"
#include "screening_hooks.h"

namespace riphost {

// Hook ID of a hook riphost offers that the plug-in does not know.
inline constexpr int32_t kHalftoneCacheHookId = 2;


// riphost's side of the screening extension.
class ScreeningHooks {
 public:
  ScreeningHooks();
  ~ScreeningHooks();
  ScreeningHooks(const ScreeningHooks&) = delete;
  ScreeningHooks& operator=(const ScreeningHooks&) = delete;

  // Offers every hook through the plug-in's drav_extension; reports at level
  // 3 which it claimed, and a refused version as a warning.
  void offer(drav_extension_fn extension, HostCallbacks* callbacks, MessageSink& sink);

  // True once the plug-in claimed both screening hooks.
  bool claimed() const { return scrsel_claimed_ && scr_claimed_; }
  bool selection_claimed() const { return scrsel_claimed_; }

  ScrSelHookRecord& selection_hook() { return scrsel_; }
  ScrHookRecord& screening_hook() { return scr_; }

  // Handles are base + index * step (step >= 1; the caller keeps the last
  // handle within 32 bits).
  void set_handle_layout(std::uint32_t base, std::uint32_t step) noexcept;
  // The descriptors of the current job; they must stay until unload.
  void set_screens(const std::vector<ScreenSpec>* screens) noexcept { screens_ = screens; }
  std::uint32_t handle_of(std::size_t index) const noexcept {
    return static_cast<std::uint32_t>(base_ + static_cast<std::uint32_t>(index) * step_);
  }
  // The descriptor of a handle, or null when riphost gave no such handle.
  const ScreenSpec* find(std::uint32_t handle) const noexcept;

  // Makes the selection of the given descriptors (indexes into the job's
  // screens) with their use counts and calls the SCRSEL load slot when the
  // plug-in claimed the hook. Returns the slot's status (0 when not called).
  int load(const std::vector<std::size_t>& screens, const std::vector<std::int32_t>& uses);
  // True between a load slot call and its unload.
  bool loaded() const noexcept { return loaded_; }
  // Calls the SCRSEL unload slot when a selection is loaded; its status.
  int unload();

  // Calls the SCR init slot with 1 bit per pixel when both hooks were
  // claimed; the plug-in then hands riphost's init the run callbacks, which
  // runs() gives. Returns the slot's status (0 when not called).
  int start_screening();
  // Calls the SCR line slot for row y after start_screening.
  int line(std::int32_t y);
  // The run callbacks riphost's init received last (cleared by load).
  const RunCallbacks& runs() const noexcept { return runs_; }

  // How often riphost's own slot functions were called (for tests).
  int host_loads() const noexcept { return host_loads_; }
  int host_unloads() const noexcept { return host_unloads_; }

  // The selection riphost made last.
  ScreenSelection& selection() noexcept { return selection_; }

 private:
  friend struct HostSlots;

  ScrSelHookRecord scrsel_{};
  ScrHookRecord scr_{};
  ScrHookRecord other_{};  // a hook of a kind the plug-in does not claim
  bool scrsel_claimed_ = false;
  bool scr_claimed_ = false;

  std::uint32_t base_ = kScreenHandleBase;
  std::uint32_t step_ = kScreenHandleStep;
  const std::vector<ScreenSpec>* screens_ = nullptr;
  ScreenSelection selection_{};
  std::vector<std::uint32_t> handles_;
  std::vector<std::int32_t> uses_;
  bool loaded_ = false;
  bool screening_ = false;
  RunCallbacks runs_;
  int host_loads_ = 0;
  int host_unloads_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_SCREENING_H
