// signals.h - a clean end on SIGINT, SIGTERM and SIGHUP.
//
// The handlers only note the signal; the driver looks at stop_signal()
// between rows, separations, pages and jobs, abandons what is open, ends the
// job, closes the plug-in and returns stop_exit_status(). The handlers stay
// in place while it cleans up, so a second signal cannot cut the cleanup
// short: the run just stays stopped.
#ifndef RIPHOST_SIGNALS_H
#define RIPHOST_SIGNALS_H

#include <csignal>

namespace riphost {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (sigaction,
// SA_RESTART) and forgets any signal noted before. A signal that was ignored
// when riphost started (nohup, a background job) stays ignored. Installed
// again while installed (riphost's main holds them for the whole program, a
// run holds them for itself), the handlers stay and so does a signal noted
// meanwhile.
void install_stop_handlers() noexcept;

// Puts back the dispositions that the outermost install_stop_handlers found
// and forgets the signal noted.
void restore_stop_handlers() noexcept;

// install_stop_handlers for as long as it lives, restore_stop_handlers after.
class StopHandlers {
 public:
  StopHandlers() noexcept { install_stop_handlers(); }
  ~StopHandlers() { restore_stop_handlers(); }
  StopHandlers(const StopHandlers&) = delete;
  StopHandlers& operator=(const StopHandlers&) = delete;
};

// The first stop signal received since install_stop_handlers, or 0.
int stop_signal() noexcept;

// Exit status of a run stopped by signal sig: 128 + sig (130 SIGINT,
// 143 SIGTERM, 129 SIGHUP).
inline constexpr int stop_exit_status(int sig) noexcept { return 128 + sig; }

// The signal's name ("SIGTERM"), for messages; "signal" for another one.
const char* stop_signal_name(int sig) noexcept;

// After a stop signal, work that cannot be interrupted (Ghostscript reading
// a page) may be left running on its thread once everything it could leave
// behind is cleaned up. The program then ends with std::_Exit as soon as
// its own cleanup is done, rather than returning from main, which would
// wait for that work or tear down what it still uses.
void note_work_left_running() noexcept;
bool work_left_running() noexcept;

}  // namespace riphost

#endif  // RIPHOST_SIGNALS_H
