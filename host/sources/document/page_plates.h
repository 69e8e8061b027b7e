// page_plates.h - the screened plates of one page, one separation at a time.
//
// Ghostscript renders all inks of a band together; the plug-in takes one
// separation after the other. PagePlates receives the page's bands on the
// renderer's thread and screens them on worker threads, one per core, so
// that rendering, screening and writing overlap. The workers share every
// band: each screens its share of the band's rows (every n-th row) of every
// ink, into the band's staging area, so the work stays even whatever inks a
// page uses. The worker that finishes a band last hands it on, bands in
// their order: the first ink's rows go to riphost's thread through a short
// queue and are written by the plug-in while the page is still being
// rendered; the other inks' rows go to their spool files (plate_spool.h)
// and wait there until the page is done and their separation comes. A page
// rendered in several passes (ink_passes.h) sends the bands of each pass in
// turn: a band carries the inks of its pass, the later passes' inks all go
// to their spools.
//
// riphost's thread calls next_row for ink 0, row after row, then for ink 1,
// and so on. Memory: the renderer's few bands, the screened rows of as many
// bands (staging), and 256 screened rows of the first ink.
#ifndef RIPHOST_PAGE_PLATES_H
#define RIPHOST_PAGE_PLATES_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "screening/tile_stop.h"
#include "sources/document/ink_screening.h"
#include "sources/document/page_renderer.h"
#include "sources/document/plate_spool.h"

namespace riphost {

// Where the time of a page went (seconds, summed over the workers for
// screening and spooling), for riphost -v and the benchmark.
struct PlateTimes {
  double screening = 0.0;
  double spooling = 0.0;
  double reading = 0.0;  // spooled rows read back on riphost's thread
  double waiting = 0.0;  // riphost's thread waiting for screened rows
  double writing = 0.0;  // riphost's thread between rows: the plug-in's calls
};

class PagePlates final : public BandSink {
 public:
  // screens: one per ink of layout, in its order; setups: the calibration
  // of each ink in the same order (the device's gamma, the ink's curve),
  // none when empty. Nameless spool files are made in folder. workers: screening threads
  // (at least 1). The inks' tiles are built first; once stop says so their
  // builds end and the constructor throws TileBuildStopped.
  PagePlates(PageRenderer& renderer, const PageLayout& layout, double ppi, const std::vector<SelectedScreen>& screens,
             const std::filesystem::path& folder, int workers, const std::vector<ScreenerSetup>& setups = {},
             const TileStop& stop = {});
  // Stops the workers and deletes the spool files.
  ~PagePlates() override;
  // Stops the workers and waits for them: they touch no band afterwards,
  // so the renderer, which owns the bands, may go.
  void stop();
  PagePlates(const PagePlates&) = delete;
  PagePlates& operator=(const PagePlates&) = delete;

  // BandSink, on the renderer's thread.
  void band(Band& band) override;
  void page_end() override;
  void failed(const std::string& message) override;

  // The next screened row of ink (inks in order, rows in order): its bits
  // into bits (row_bytes(width)), its solid runs into solids. Waits as
  // needed; when stop() says so it gives a blank row at once (the caller
  // abandons the separation). Throws HostError when rendering, screening or
  // spooling failed.
  void next_row(std::size_t ink, std::uint8_t* bits, RunList& solids, const std::function<bool()>& stop);

  const PageLayout& layout() const noexcept { return layout_; }
  std::uint32_t handle(std::size_t ink) const noexcept { return handles_[ink]; }
  PlateTimes times() const;
  // Bytes the spools of this page took on disk.
  std::uint64_t spooled_bytes() const;

 private:
  struct LiveRow {
    std::vector<std::uint8_t> bits;
    RunList solids;
  };
  // The screened rows of one band, every ink, until the band is handed on.
  struct Staging {
    Band* band = nullptr;
    std::uint64_t sequence = 0;  // the band's place in the page
    int pending = 0;             // workers still screening it
    std::vector<std::vector<std::uint8_t>> bits;  // [ink]: rows x row bytes
    std::vector<std::vector<RunList>> solids;     // [ink][row]
  };
  struct Worker {
    std::size_t index = 0;
    std::vector<std::unique_ptr<InkScreener>> screeners;  // one per ink
    std::deque<Staging*> bands;
    bool ended = false;  // page_end seen
    std::thread thread;
  };

  void work(Worker& worker) noexcept;
  void screen_share(Worker& worker, Staging& staging);
  void hand_on(Staging& staging);
  void finish_spools();
  Staging& staging_for(Band& band);
  void push_live(const std::uint8_t* bits, const RunList& solids);
  bool wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
            const std::function<bool()>& stop);
  void fail(const std::string& message);
  void blank(std::uint8_t* bits, RunList& solids) const;

  PageRenderer& renderer_;
  PageLayout layout_;
  std::filesystem::path folder_;
  std::size_t row_bytes_;
  std::vector<std::uint32_t> handles_;
  std::vector<std::unique_ptr<SpoolWriter>> spools_;  // null for ink 0
  std::vector<std::unique_ptr<Worker>> workers_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Staging>> staging_;  // one per band buffer seen
  std::uint64_t next_sequence_ = 0;                // of the next band received
  std::uint64_t next_hand_on_ = 0;                 // of the next band handed on
  std::size_t workers_ended_ = 0;
  bool spools_done_ = false;
  std::string error_;
  // The first ink's screened rows, a ring.
  std::vector<LiveRow> live_;
  std::size_t live_head_ = 0;
  std::size_t live_count_ = 0;
  // Reading back.
  std::size_t reading_ink_ = 0;
  std::unique_ptr<SpoolReader> reader_;
  PlateTimes times_;
  std::chrono::steady_clock::time_point last_row_{};  // when riphost took the last row
};

}  // namespace riphost

#endif  // RIPHOST_PAGE_PLATES_H
