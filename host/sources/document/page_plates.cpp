// page_plates.cpp - screening a page's bands on workers, rows to riphost in order.
#include "sources/document/page_plates.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "screening/tile_preparation.h"

namespace riphost {

namespace {

// Screened rows of the first ink that may wait for riphost's thread.
constexpr std::size_t kLiveRows = 256;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

PagePlates::PagePlates(PageRenderer& renderer, const PageLayout& layout, double ppi,
                       const std::vector<SelectedScreen>& screens, const std::filesystem::path& folder, int workers,
                       const std::vector<ScreenerSetup>& setups, const TileStop& stop)
    : renderer_(renderer), layout_(layout), folder_(folder), row_bytes_(row_bytes(layout.width)) {
  const std::size_t inks = layout_.inks.size();
  for (std::size_t ink = 0; ink < inks; ++ink) {
    handles_.push_back(screens.at(ink).handle);
    spools_.push_back(ink == 0 ? nullptr : std::make_unique<SpoolWriter>(folder_, layout_.width));
  }
  live_.resize(kLiveRows);
  for (LiveRow& row : live_) row.bits.assign(row_bytes_, 0);
  // The inks' tiles are built side by side first; the screeners below then
  // find them in the tile cache.
  std::vector<TileRequest> requests;
  for (std::size_t ink = 0; ink < inks; ++ink) {
    requests.push_back(TileRequest{ppi, screens.at(ink).spec, ink < setups.size() ? setups[ink].limits : TileLimits{}});
  }
  const PreparedTiles tiles(requests, 0, stop);
  // A stopped run builds no screener: it would build the tiles left again.
  if (tiles.stopped()) throw TileBuildStopped();
  // Every worker screens rows of every ink: each has its own screeners.
  for (int w = 0; w < std::max(workers, 1); ++w) {
    auto worker = std::make_unique<Worker>();
    worker->index = static_cast<std::size_t>(w);
    for (std::size_t ink = 0; ink < inks; ++ink) {
      const ScreenerSetup setup = ink < setups.size() ? setups[ink] : ScreenerSetup{};
      worker->screeners.push_back(std::make_unique<InkScreener>(layout_.width, ppi, screens.at(ink), setup));
    }
    workers_.push_back(std::move(worker));
  }
  for (auto& worker : workers_) {
    Worker* self = worker.get();
    worker->thread = std::thread([this, self] { work(*self); });
  }
  renderer_.start_page(*this);
}

PagePlates::~PagePlates() {
  stop();
  // Closing the nameless spool files frees their space.
  reader_.reset();
  spools_.clear();
}

void PagePlates::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  for (auto& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

// The staging area of a band buffer, made the first time the buffer comes
// and used again for it (the renderer has a few buffers that go round).
PagePlates::Staging& PagePlates::staging_for(Band& band) {
  for (auto& staging : staging_) {
    if (staging->band == &band) return *staging;
  }
  auto staging = std::make_unique<Staging>();
  staging->band = &band;
  staging->bits.resize(layout_.inks.size());
  staging->solids.resize(layout_.inks.size());
  staging_.push_back(std::move(staging));
  return *staging_.back();
}

void PagePlates::band(Band& band) {
  std::lock_guard<std::mutex> lock(mutex_);
  Staging& staging = staging_for(band);
  staging.sequence = next_sequence_++;
  staging.pending = static_cast<int>(workers_.size());
  for (std::size_t ink = 0; ink < layout_.inks.size(); ++ink) {
    if (layout_.passes[ink] != band.pass) continue;
    staging.bits[ink].resize(static_cast<std::size_t>(band.rows) * row_bytes_);
    staging.solids[ink].resize(static_cast<std::size_t>(band.rows));
  }
  for (auto& worker : workers_) worker->bands.push_back(&staging);
  changed_.notify_all();
}

void PagePlates::page_end() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& worker : workers_) worker->ended = true;
  changed_.notify_all();
}

void PagePlates::failed(const std::string& message) {
  fail(message.empty() ? std::string("rendering was stopped") : message);
}

void PagePlates::fail(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (error_.empty()) error_ = message;
  stopping_ = true;
  changed_.notify_all();
}

void PagePlates::work(Worker& worker) noexcept {
  try {
    for (;;) {
      Staging* staging = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || !worker.bands.empty() || worker.ended; });
        if (stopping_) return;
        if (!worker.bands.empty()) {
          staging = worker.bands.front();
          worker.bands.pop_front();
        }
      }
      if (!staging) break;
      screen_share(worker, *staging);
      bool last = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        last = --staging->pending == 0;
      }
      if (last) hand_on(*staging);
    }
    // Every band a worker took is handed on before it takes the next one:
    // the last worker to end finds every band handed on.
    bool last = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last = ++workers_ended_ == workers_.size();
    }
    if (last) finish_spools();
  } catch (const std::exception& error) {
    fail("page " + std::to_string(layout_.number) + ": " + error.what());
  }
}

// Screens the worker's rows of a band (every n-th row), every ink.
void PagePlates::screen_share(Worker& worker, Staging& staging) {
  const Band& band = *staging.band;
  const std::size_t pixel_row = static_cast<std::size_t>(layout_.width) * kInkSlots;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t ink = 0; ink < layout_.inks.size(); ++ink) {
    if (layout_.passes[ink] != band.pass) continue;
    const std::size_t slot = static_cast<std::size_t>(layout_.slots[ink]);
    for (std::size_t r = worker.index; r < static_cast<std::size_t>(band.rows); r += workers_.size()) {
      const std::uint8_t* pixels = band.pixels.data() + r * pixel_row + slot;
      worker.screeners[ink]->screen(band.y + static_cast<int>(r), pixels, kInkSlots,
                                    staging.bits[ink].data() + r * row_bytes_, staging.solids[ink][r]);
    }
  }
  const double took = seconds_since(start);
  std::lock_guard<std::mutex> lock(mutex_);
  times_.screening += took;
}

// Hands a screened band on, bands in their order: the first ink's rows to
// riphost's thread, the others into their spools; then the band buffer goes
// back to the renderer.
void PagePlates::hand_on(Staging& staging) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || next_hand_on_ == staging.sequence; });
    if (stopping_) return;
  }
  const std::size_t rows = static_cast<std::size_t>(staging.band->rows);
  const int pass = staging.band->pass;
  if (layout_.passes[0] == pass) {
    for (std::size_t r = 0; r < rows; ++r) push_live(staging.bits[0].data() + r * row_bytes_, staging.solids[0][r]);
  }
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t ink = 1; ink < layout_.inks.size(); ++ink) {
    if (layout_.passes[ink] != pass) continue;
    for (std::size_t r = 0; r < rows; ++r) {
      spools_[ink]->add_row(staging.bits[ink].data() + r * row_bytes_, staging.solids[ink][r]);
    }
    spools_[ink]->end_band();
  }
  renderer_.release(*staging.band);
  std::lock_guard<std::mutex> lock(mutex_);
  times_.spooling += seconds_since(start);
  ++next_hand_on_;
  changed_.notify_all();
}

void PagePlates::finish_spools() {
  const auto start = std::chrono::steady_clock::now();
  for (auto& spool : spools_) {
    if (spool) spool->finish();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  times_.spooling += seconds_since(start);
  spools_done_ = true;
  changed_.notify_all();
}

void PagePlates::push_live(const std::uint8_t* bits, const RunList& solids) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return stopping_ || live_count_ < live_.size(); });
  if (stopping_) return;
  LiveRow& row = live_[(live_head_ + live_count_) % live_.size()];
  std::memcpy(row.bits.data(), bits, row_bytes_);
  row.solids.x.assign(solids.x.begin(), solids.x.end());
  row.solids.length.assign(solids.length.begin(), solids.length.end());
  ++live_count_;
  changed_.notify_all();
}

bool PagePlates::wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                      const std::function<bool()>& stop) {
  const auto start = std::chrono::steady_clock::now();
  while (!ready()) {
    changed_.wait_for(lock, std::chrono::milliseconds(20));
    if (stop && stop()) return false;
  }
  times_.waiting += seconds_since(start);
  return true;
}

void PagePlates::blank(std::uint8_t* bits, RunList& solids) const {
  std::memset(bits, 0, row_bytes_);
  solids.clear();
}

void PagePlates::next_row(std::size_t ink, std::uint8_t* bits, RunList& solids, const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (last_row_ != std::chrono::steady_clock::time_point{}) {
    times_.writing += std::chrono::duration<double>(now - last_row_).count();
  }
  struct Taken {
    std::chrono::steady_clock::time_point& when;
    ~Taken() { when = std::chrono::steady_clock::now(); }
  } taken{last_row_};
  if (ink == 0) {
    if (!wait(lock, [&] { return live_count_ > 0 || !error_.empty(); }, stop)) return blank(bits, solids);
    if (live_count_ == 0) throw HostError(error_);
    const LiveRow& row = live_[live_head_];
    std::memcpy(bits, row.bits.data(), row_bytes_);
    solids.x.assign(row.solids.x.begin(), row.solids.x.end());
    solids.length.assign(row.solids.length.begin(), row.solids.length.end());
    live_head_ = (live_head_ + 1) % live_.size();
    --live_count_;
    changed_.notify_all();
    return;
  }
  if (ink != reading_ink_ || !reader_) {
    if (!wait(lock, [&] { return spools_done_ || !error_.empty(); }, stop)) return blank(bits, solids);
    if (!error_.empty()) throw HostError(error_);
    // The spool read last is no longer needed: closing it frees its space.
    reader_.reset();
    reader_ = std::make_unique<SpoolReader>(spools_.at(ink)->take_file(), layout_.width);
    reading_ink_ = ink;
  }
  lock.unlock();
  const auto start = std::chrono::steady_clock::now();
  std::memcpy(bits, reader_->next_row(solids), row_bytes_);
  const double read = seconds_since(start);
  std::lock_guard<std::mutex> relock(mutex_);
  times_.reading += read;
}

PlateTimes PagePlates::times() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}

std::uint64_t PagePlates::spooled_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::uint64_t bytes = 0;
  for (const auto& spool : spools_) {
    if (spool) bytes += spool->bytes_written();
  }
  return bytes;
}

}  // namespace riphost
