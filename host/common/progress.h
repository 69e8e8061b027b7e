// progress.h - the progress line of a long separation on a terminal.
//
// "\r  <job>/<page>/<separation>: 42%" on standard error, redrawn when the
// percentage changes and removed at the end. Shown only when standard error
// is a terminal and the separation has more than kProgressMinRows rows.
#ifndef RIPHOST_PROGRESS_H
#define RIPHOST_PROGRESS_H

#include <string>

#include "common/message.h"

namespace riphost {

inline constexpr int kProgressMinRows = 2000;

class Progress {
 public:
  Progress(MessageSink& sink, bool terminal, std::string label, int rows) noexcept;
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Notes that rows [0, done) are sent; redraws when the percentage changed.
  void update(int done) noexcept {
    if (enabled_ && done >= next_) redraw(done);
  }

 private:
  void redraw(int done) noexcept;

  MessageSink& sink_;
  bool enabled_;
  std::string label_;
  int rows_;
  int next_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_PROGRESS_H
