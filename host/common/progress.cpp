// progress.cpp - drawing and removing the progress line.
#include "common/progress.h"

#include <cstdint>
#include <cstdio>

namespace riphost {

// Enabled only on a terminal and for tall separations.
Progress::Progress(MessageSink& sink, bool terminal, std::string label, int rows) noexcept
    : sink_(sink), enabled_(terminal && rows > kProgressMinRows), label_(std::move(label)), rows_(rows) {}

// Removes the line.
Progress::~Progress() {
  if (enabled_) sink_.clear_status();
}

// Draws the percentage and computes the row at which it next changes.
void Progress::redraw(int done) noexcept {
  int percent = static_cast<int>(static_cast<std::int64_t>(done) * 100 / rows_);
  char line[512];
  std::snprintf(line, sizeof line, "  %s: %d%%", label_.c_str(), percent);
  sink_.status_line(line);
  next_ = static_cast<int>((static_cast<std::int64_t>(percent + 1) * rows_ + 99) / 100);
}

}  // namespace riphost
