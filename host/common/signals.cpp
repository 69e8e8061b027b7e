// signals.cpp - stop handlers that only note the signal.
#include "common/signals.h"

#include <signal.h>

#include <atomic>

namespace riphost {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

// The first stop signal received; 0 while none. Written by the handler only
// while it is 0, so a second signal keeps the first one's exit status.
volatile std::sig_atomic_t noted_signal = 0;

// Set once a thread was left running after a stop signal.
std::atomic<bool> left_running{false};

// The dispositions found by install_stop_handlers, and whether they were read.
struct sigaction saved_actions[kStopSignalCount];
bool saved[kStopSignalCount] = {};
// Installations not yet restored (on the main thread only).
int installed = 0;

// Async-signal-safe: one store to a sig_atomic_t, nothing else.
extern "C" void note_stop(int sig) {
  if (noted_signal == 0) noted_signal = sig;
}

}  // namespace

void install_stop_handlers() noexcept {
  if (installed++ > 0) return;
  noted_signal = 0;
  struct sigaction action {};
  action.sa_handler = note_stop;
  sigemptyset(&action.sa_mask);
  // While one stop signal is handled the others wait, so the first one wins.
  for (int sig : kStopSignals) sigaddset(&action.sa_mask, sig);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kStopSignalCount; ++i) {
    saved[i] = false;
    struct sigaction old {};
    if (sigaction(kStopSignals[i], nullptr, &old) != 0) continue;
    saved_actions[i] = old;
    saved[i] = true;
    if (old.sa_handler == SIG_IGN) continue;
    sigaction(kStopSignals[i], &action, nullptr);
  }
}

void restore_stop_handlers() noexcept {
  if (installed == 0 || --installed > 0) return;
  // Outside the handlers' time no stop is pending.
  noted_signal = 0;
  for (int i = 0; i < kStopSignalCount; ++i) {
    if (saved[i]) sigaction(kStopSignals[i], &saved_actions[i], nullptr);
    saved[i] = false;
  }
}

int stop_signal() noexcept { return noted_signal; }

void note_work_left_running() noexcept { left_running = true; }

bool work_left_running() noexcept { return left_running; }

const char* stop_signal_name(int sig) noexcept {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal";
  }
}

}  // namespace riphost
