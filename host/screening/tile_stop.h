// tile_stop.h - letting a threshold tile's build end early.
//
// Building the tile of a fine screen at an odd angle takes up to seconds;
// a run that is stopped must not wait for it. A build is handed a TileStop
// (the run's stop question) and polls it as it goes; once the question says
// yes, the build throws TileBuildStopped and nothing of it is kept. Polling
// counts work and asks the question only every kTileStopWork units (about
// a pixel or a site each), so the builders' inner loops stay cheap.
#ifndef RIPHOST_TILE_STOP_H
#define RIPHOST_TILE_STOP_H

#include <cstdint>
#include <exception>
#include <functional>

namespace riphost {

// A tile build that ended because the run was stopped.
class TileBuildStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "the tile's build was stopped"; }
};

// Units of work between two looks at the stop question.
inline constexpr std::uint64_t kTileStopWork = std::uint64_t{1} << 16;

class TileStop {
 public:
  // Never stops.
  TileStop() = default;
  // Stops once stopped() returns true; a TileStop is used by one thread at a
  // time, stopped() may be asked from several at once.
  explicit TileStop(std::function<bool()> stopped) : stopped_(std::move(stopped)) {}

  // Counts work units of work; every kTileStopWork units asks the question
  // and throws TileBuildStopped when it says yes.
  void poll(std::uint64_t work = 1) {
    if (!stopped_) return;
    done_ += work;
    if (done_ < kTileStopWork) return;
    done_ = 0;
    check();
  }
  // Asks the question now; throws TileBuildStopped when it says yes.
  void check() const {
    if (stopped()) throw TileBuildStopped();
  }
  bool stopped() const { return stopped_ && stopped_(); }
  const std::function<bool()>& question() const noexcept { return stopped_; }

 private:
  std::function<bool()> stopped_;
  std::uint64_t done_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_TILE_STOP_H
