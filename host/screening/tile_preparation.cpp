// tile_preparation.cpp - screens' tiles built side by side.
#include "screening/tile_preparation.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "screening/halftone_screen.h"

namespace riphost {

namespace {

// Threads at most: each tile build holds a few times its tile's memory.
constexpr unsigned kMostThreads = 4;

}  // namespace

PreparedTiles::PreparedTiles(const std::vector<TileRequest>& requests, unsigned threads, const TileStop& stop) {
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
  threads = std::min<unsigned>(threads, static_cast<unsigned>(requests.size()));
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stopped{false};
  std::mutex lock;
  auto work = [&] {
    for (std::size_t i = next++; i < requests.size() && !stopped; i = next++) {
      try {
        const HalftoneScreen screen(requests[i].ppi, requests[i].spec, requests[i].limits, stop);
        const std::lock_guard<std::mutex> guard(lock);
        tiles_.push_back(screen.tile_ptr());
      } catch (const TileBuildStopped&) {
        stopped = true;
      } catch (...) {
        // The screen made for the separation reports it.
      }
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: this one builds the rest
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  stopped_ = stopped || stop.stopped();
}

}  // namespace riphost
