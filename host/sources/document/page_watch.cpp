// page_watch.cpp - the page clock and the thread that watches it.
#include "sources/document/page_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/signals.h"
#include "sources/document/document_limits.h"
#include "sources/document/folder_on_stop.h"

namespace riphost {

PageWatch::PageWatch(double seconds, std::function<void()> expired, std::function<void()> poll)
    : seconds_(seconds), expired_action_(std::move(expired)), poll_(std::move(poll)) {
  if (seconds_ > 0.0 || poll_) thread_ = std::thread([this] { watch(); });
}

PageWatch::~PageWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void PageWatch::restart() {
  std::lock_guard<std::mutex> lock(mutex_);
  counted_ = 0.0;
  running_since_ = Clock::now();
  running_ = true;
  changed_.notify_all();
}

void PageWatch::pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!running_) return;
  counted_ = elapsed(Clock::now());
  running_ = false;
}

void PageWatch::resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) return;
  running_since_ = Clock::now();
  running_ = true;
  changed_.notify_all();
}

bool PageWatch::expired() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return expired_;
}

double PageWatch::elapsed(Clock::time_point now) const {
  return counted_ + (running_ ? std::chrono::duration<double>(now - running_since_).count() : 0.0);
}

// Sleeps until the clock could reach the limit (or the next poll), looks
// again, and calls the action once it has.
void PageWatch::watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ending_) {
    const double left = seconds_ > 0.0 ? seconds_ - elapsed(Clock::now()) : 1e9;
    if (left <= 0.0) break;
    const auto wait = std::chrono::duration<double>(std::min(left, 3600.0));
    if (poll_) {
      changed_.wait_for(lock, std::min<std::chrono::duration<double>>(wait, kPollInterval));
      lock.unlock();
      poll_();
      lock.lock();
    } else if (!running_) {
      // A standing clock cannot expire: wait for it to run again.
      changed_.wait(lock);
    } else {
      changed_.wait_for(lock, wait);
    }
  }
  if (ending_) return;
  expired_ = true;
  lock.unlock();
  if (expired_action_) expired_action_();
}

std::unique_ptr<PageWatch> check_watch(double seconds, std::function<std::string()> where) {
  auto action = [seconds, where = std::move(where)] {
    const std::string message = where() + ": Ghostscript spent more than " + seconds_text(seconds) +
                                " on the page while riphost checked the document, its time limit "
                                "(--page-time-limit)";
    std::fprintf(stderr, "riphost: error: %s\n", message.c_str());
    std::fflush(nullptr);
    remove_armed_folder();
    std::_Exit(1);
  };
  auto stopped = [] {
    if (const int sig = stop_signal(); sig != 0) {
      std::fprintf(stderr, "riphost: error: stopped by %s\n", stop_signal_name(sig));
      std::fflush(nullptr);
      remove_armed_folder();
      std::_Exit(stop_exit_status(sig));
    }
  };
  return std::make_unique<PageWatch>(seconds, std::move(action), stopped);
}

}  // namespace riphost
