// screen_runs.h - what a screened row is made with and reported through:
// the screens selected for a separation (with the handles the plug-in
// knows them by) and the run callbacks the plug-in handed riphost. Shared
// by the screener, the screening hooks and the row sources.
#ifndef RIPHOST_SCREEN_RUNS_H
#define RIPHOST_SCREEN_RUNS_H

#include <cstdint>

#include "screening_hooks.h"
#include "ticket/screen_spec.h"

namespace riphost {

// The run callbacks of a screened separation, as the plug-in handed them to
// riphost's SCR init (null: that kind of run is not wanted).
struct RunCallbacks {
  ScrRunFn screen = nullptr;
  ScrRunFn solid = nullptr;
  ScrRunFn copydot = nullptr;
};

// One screen of a separation's selection with the handle riphost gave it.
struct SelectedScreen {
  ScreenSpec spec;
  std::uint32_t handle = 0;
};

}  // namespace riphost

#endif  // RIPHOST_SCREEN_RUNS_H
