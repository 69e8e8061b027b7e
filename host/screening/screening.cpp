// screening.cpp - the screening hook records riphost offers and its own
// slot functions behind them.
#include "screening/screening.h"

#include <cstdio>

namespace riphost {

namespace {

// The hooks whose init riphost's SCR slot serves: the SCR slots carry no
// selection, and one plug-in is driven at a time.
ScreeningHooks* active_hooks = nullptr;

const char* claim_text(int result) {
  switch (result) {
    case 1: return "claimed";
    case 0: return "not claimed";
    default: return "refused (version)";
  }
}

}  // namespace

// riphost's slot functions. A selection carries its ScreeningHooks in its
// first host word.
struct HostSlots {
  static ScreeningHooks* owner(ScreenSelection* selection) {
    if (selection == nullptr) return active_hooks;
    return reinterpret_cast<ScreeningHooks*>(selection->host_words[0]);
  }

  static int load(ScreenSelection* selection) {
    if (ScreeningHooks* hooks = owner(selection)) ++hooks->host_loads_;
    return 0;
  }

  static int unload(ScreenSelection* selection, intptr_t, intptr_t) {
    if (ScreeningHooks* hooks = owner(selection)) ++hooks->host_unloads_;
    return 0;
  }

  // Keeps the run callbacks the plug-in wants for the separation.
  static int init(int, intptr_t, ScrRunFn screen_run, ScrRunFn solid_run, ScrRunFn copydot_run) {
    if (active_hooks != nullptr) active_hooks->runs_ = RunCallbacks{screen_run, solid_run, copydot_run};
    return 0;
  }

  static int line(intptr_t, int32_t, intptr_t) { return 0; }

  static int get_state(ScreenSelection* selection, uint32_t handle, const char** dot, int32_t*, int32_t*,
                       int32_t* loaded, int32_t* scrtype, int32_t*) {
    ScreeningHooks* hooks = owner(selection);
    const ScreenSpec* spec = hooks != nullptr ? hooks->find(handle) : nullptr;
    if (spec == nullptr) return -1;
    if (dot != nullptr) *dot = dot_name(spec->dot);
    if (loaded != nullptr) *loaded = 1;
    if (scrtype != nullptr) *scrtype = spec->type;
    return 0;
  }

  static int get_params(ScreenSelection* selection, uint32_t handle, const char** dot, double*, double* lpi,
                        double*, double* ang, int32_t* loaded, int32_t* scrtype, void*, void*, void*, void*,
                        void*, void*, void*) {
    ScreeningHooks* hooks = owner(selection);
    const ScreenSpec* spec = hooks != nullptr ? hooks->find(handle) : nullptr;
    if (spec == nullptr) return -1;
    if (dot != nullptr) *dot = dot_name(spec->dot);
    if (lpi != nullptr) *lpi = spec->ruling;
    if (ang != nullptr) *ang = spec->angle;
    if (loaded != nullptr) *loaded = 1;
    if (scrtype != nullptr) *scrtype = spec->type;
    return 0;
  }

  // The screen's name, cut to fit and always terminated.
  static int get_name(ScreenSelection* selection, uint32_t handle, char* name) {
    if (name == nullptr) return -1;
    ScreeningHooks* hooks = owner(selection);
    const ScreenSpec* spec = hooks != nullptr ? hooks->find(handle) : nullptr;
    if (spec == nullptr) {
      name[0] = '\0';
      return -1;
    }
    const std::string& text = spec->screen_name.empty() ? spec->name : spec->screen_name;
    std::snprintf(name, SCR_SCREEN_NAME_SIZE, "%s", text.c_str());
    return 0;
  }
};

ScreeningHooks::ScreeningHooks() {
  scrsel_.hook_id = SCRSEL_HOOK_ID;
  scrsel_.version = SCRSEL_HOOK_VERSION;
  scrsel_.ident = "riphost screen selection";
  scrsel_.load = HostSlots::load;
  scrsel_.unload = HostSlots::unload;
  scrsel_.get_screen_state = HostSlots::get_state;
  scrsel_.get_screen_params = HostSlots::get_params;
  scrsel_.get_screen_name = HostSlots::get_name;
  scr_.hook_id = SCR_HOOK_ID;
  scr_.version = SCR_HOOK_VERSION;
  scr_.ident = "riphost software screening";
  scr_.init = HostSlots::init;
  scr_.line = HostSlots::line;
  other_.hook_id = kHalftoneCacheHookId;
  other_.version = 1;
  other_.ident = "riphost halftone cache";
}

ScreeningHooks::~ScreeningHooks() {
  if (active_hooks == this) active_hooks = nullptr;
}

void ScreeningHooks::offer(drav_extension_fn extension, HostCallbacks* callbacks, MessageSink& sink) {
  active_hooks = this;
  if (extension == nullptr) return;
  const int scrsel = extension(&scrsel_, callbacks);
  const int scr = extension(&scr_, callbacks);
  const int other = extension(&other_, callbacks);
  scrsel_claimed_ = scrsel == 1;
  scr_claimed_ = scr == 1;
  sink.trace("screening hooks: SCRSEL %s, SCR %s, hook %d %s", claim_text(scrsel), claim_text(scr),
            kHalftoneCacheHookId, claim_text(other));
  if (scrsel < 0 || scr < 0) sink.warning("the plug-in refused the version of a screening hook");
}

void ScreeningHooks::set_handle_layout(std::uint32_t base, std::uint32_t step) noexcept {
  base_ = base;
  step_ = step == 0 ? 1 : step;
}

const ScreenSpec* ScreeningHooks::find(std::uint32_t handle) const noexcept {
  if (screens_ == nullptr) return nullptr;
  const std::uint32_t offset = handle - base_;  // wraps below the base: no descriptor
  if (offset % step_ != 0) return nullptr;
  const std::size_t index = offset / step_;
  return index < screens_->size() ? &(*screens_)[index] : nullptr;
}

int ScreeningHooks::load(const std::vector<std::size_t>& screens, const std::vector<std::int32_t>& uses) {
  active_hooks = this;
  runs_ = RunCallbacks{};
  screening_ = false;
  handles_.clear();
  for (std::size_t index : screens) handles_.push_back(handle_of(index));
  uses_.assign(uses.begin(), uses.end());
  uses_.resize(handles_.size(), 1);
  selection_ = ScreenSelection{};
  selection_.host_words[0] = reinterpret_cast<intptr_t>(this);
  selection_.screens = handles_.data();
  selection_.screen_uses = uses_.data();
  selection_.screen_count = static_cast<int32_t>(handles_.size());
  if (!scrsel_claimed_ || scrsel_.load == nullptr) return 0;
  loaded_ = true;
  return scrsel_.load(&selection_);
}

int ScreeningHooks::unload() {
  if (!loaded_) return 0;
  loaded_ = false;
  screening_ = false;
  runs_ = RunCallbacks{};
  return scrsel_.unload != nullptr ? scrsel_.unload(&selection_, 0, 0) : 0;
}

int ScreeningHooks::start_screening() {
  runs_ = RunCallbacks{};
  if (!claimed() || !loaded_ || scr_.init == nullptr) return 0;
  active_hooks = this;
  screening_ = true;
  return scr_.init(1, 0, nullptr, nullptr, nullptr);
}

int ScreeningHooks::line(std::int32_t y) {
  if (!screening_ || scr_.line == nullptr) return 0;
  return scr_.line(0, y, 0);
}

}  // namespace riphost
