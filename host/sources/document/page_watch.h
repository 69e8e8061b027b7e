// page_watch.h - a watchdog over Ghostscript's time on one page.
//
// Ghostscript's library runs a document on one of riphost's threads and
// cannot be interrupted while it reads a page: a program that loops for
// ever never returns. A PageWatch measures Ghostscript's time on the page it
// is on (its clock starts again with each page and stands while riphost
// works in its callbacks) and, once that passes the limit, calls its
// expiry action on a thread of its own, once. It may also look at something
// else every few milliseconds meanwhile (a stop signal while a document is
// checked).
#ifndef RIPHOST_PAGE_WATCH_H
#define RIPHOST_PAGE_WATCH_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace riphost {

class PageWatch {
 public:
  // Never expires when seconds is 0. poll, when given, is called on the
  // watchdog's thread every kPollInterval until the watch ends or expires.
  PageWatch(double seconds, std::function<void()> expired, std::function<void()> poll = {});

  static constexpr std::chrono::milliseconds kPollInterval{20};
  // Ends the watchdog; an expiry action under way is waited for.
  ~PageWatch();
  PageWatch(const PageWatch&) = delete;
  PageWatch& operator=(const PageWatch&) = delete;

  // A new page begins: the clock starts again from 0 (and runs).
  void restart();
  // riphost's own work begins (a callback): the clock stands.
  void pause();
  // Ghostscript's work goes on.
  void resume();
  // The limit was passed and the action called.
  bool expired() const;
  double limit() const noexcept { return seconds_; }

 private:
  using Clock = std::chrono::steady_clock;
  void watch();
  double elapsed(Clock::time_point now) const;

  double seconds_;
  std::function<void()> expired_action_;
  std::function<void()> poll_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  double counted_ = 0.0;                 // seconds before running_since_
  Clock::time_point running_since_ = Clock::now();
  bool running_ = true;
  bool expired_ = false;
  bool ending_ = false;
  std::thread thread_;
};

// The watch of a run that checks a document, when nothing of the run needs
// cleaning up: past the limit, riphost reports "<where()>: Ghostscript spent
// more than ..." on standard error and ends at once with exit status 1.
// where names the document and the page Ghostscript is on. A stop signal
// meanwhile (Ghostscript cannot be interrupted) ends riphost at once too,
// with "stopped by SIG..." and 128 + its number.
std::unique_ptr<PageWatch> check_watch(double seconds, std::function<std::string()> where);

}  // namespace riphost

#endif  // RIPHOST_PAGE_WATCH_H
