// page_plates.cpp - screening a page's bands on workers, rows to riphost in order.
#include "sources/document/page_plates.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "common/bitrow.h"
#include "common/host_error.h"

namespace riphost {

namespace {

// Screened rows of the first ink that may wait for riphost's thread.
constexpr std::size_t kLiveRows = 256;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

PagePlates::PagePlates(PageRenderer& renderer, const PageLayout& layout, double ppi,
                       const std::vector<SelectedScreen>& screens, const std::filesystem::path& folder, int workers)
    : renderer_(renderer), layout_(layout), folder_(folder), row_bytes_(row_bytes(layout.width)) {
  const std::size_t inks = layout_.inks.size();
  for (std::size_t ink = 0; ink < inks; ++ink) {
    screeners_.push_back(std::make_unique<InkScreener>(layout_.width, ppi, screens.at(ink)));
    handles_.push_back(screens.at(ink).handle);
    spools_.push_back(ink == 0 ? nullptr : std::make_unique<SpoolWriter>(spool_file(ink), layout_.width));
  }
  live_.resize(kLiveRows);
  for (LiveRow& row : live_) row.bits.assign(row_bytes_, 0);
  const std::size_t count = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), 1,
                                                    std::max<std::size_t>(inks, 1));
  for (std::size_t w = 0; w < count; ++w) workers_.push_back(std::make_unique<Worker>());
  for (std::size_t ink = 0; ink < inks; ++ink) workers_[ink % count]->inks.push_back(ink);
  for (auto& worker : workers_) {
    Worker* self = worker.get();
    worker->thread = std::thread([this, self] { work(*self); });
  }
  renderer_.start_page(*this);
}

PagePlates::~PagePlates() {
  stop();
  reader_.reset();
  spools_.clear();
  std::error_code ignored;
  for (std::size_t ink = 1; ink < layout_.inks.size(); ++ink) std::filesystem::remove(spool_file(ink), ignored);
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

std::filesystem::path PagePlates::spool_file(std::size_t ink) const {
  return folder_ / ("page" + std::to_string(layout_.number) + "-ink" + std::to_string(ink) + ".spool");
}

void PagePlates::band(Band& band) {
  std::lock_guard<std::mutex> lock(mutex_);
  band.users = static_cast<int>(workers_.size());
  for (auto& worker : workers_) worker->bands.push_back(&band);
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
      Band* band = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || !worker.bands.empty() || worker.ended; });
        if (stopping_) return;
        if (!worker.bands.empty()) {
          band = worker.bands.front();
          worker.bands.pop_front();
        }
      }
      if (!band) break;
      screen_band(worker, *band);
      if (--band->users == 0) renderer_.release(*band);
    }
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t ink : worker.inks) {
      if (spools_[ink]) spools_[ink]->finish();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    times_.spooling += seconds_since(start);
    worker.done = true;
    changed_.notify_all();
  } catch (const std::exception& error) {
    fail(layout_.inks.empty() ? error.what() : std::string("page ") + std::to_string(layout_.number) + ": " + error.what());
  }
}

// Screens the worker's inks of a band; the first ink's rows go to riphost,
// the others into their spools.
void PagePlates::screen_band(Worker& worker, Band& band) {
  static thread_local std::vector<std::uint8_t> bits;
  static thread_local RunList solids;
  bits.resize(row_bytes_);
  const std::size_t pixel_row = static_cast<std::size_t>(layout_.width) * kInkSlots;
  double screening = 0.0;
  double spooling = 0.0;
  for (std::size_t ink : worker.inks) {
    const std::size_t slot = static_cast<std::size_t>(layout_.slots[ink]);
    for (int r = 0; r < band.rows; ++r) {
      const auto start = std::chrono::steady_clock::now();
      const std::uint8_t* pixels = band.pixels.data() + static_cast<std::size_t>(r) * pixel_row + slot;
      screeners_[ink]->screen(band.y + r, pixels, kInkSlots, bits.data(), solids);
      screening += seconds_since(start);
      if (ink == 0) {
        push_live(bits.data(), solids);
      } else {
        const auto spool_start = std::chrono::steady_clock::now();
        spools_[ink]->add_row(bits.data(), solids);
        spooling += seconds_since(spool_start);
      }
    }
    if (spools_[ink]) {
      const auto spool_start = std::chrono::steady_clock::now();
      spools_[ink]->end_band();
      spooling += seconds_since(spool_start);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  times_.screening += screening;
  times_.spooling += spooling;
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
    Worker& owner = *workers_[ink % workers_.size()];
    if (!wait(lock, [&] { return owner.done || !error_.empty(); }, stop)) return blank(bits, solids);
    if (!error_.empty()) throw HostError(error_);
    // The spool read last is no longer needed.
    std::error_code ignored;
    if (reader_) std::filesystem::remove(spool_file(reading_ink_), ignored);
    reader_ = std::make_unique<SpoolReader>(spool_file(ink), layout_.width);
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
