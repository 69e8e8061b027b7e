// page_renderer.h - Ghostscript rendering pages into bands, on a thread.
//
// The renderer runs one Ghostscript session over some pages of a document
// (page_renderer.cpp tells how Ghostscript is set up), on a thread of its
// own. For each page it first reports the page's layout (size in pixels at
// the job's resolution and the names of its inks, known once Ghostscript
// has read the whole page) and waits until riphost starts the page; then it
// renders the page in full-width bands of chunky pixels, 8 bytes a pixel,
// one byte per ink slot (0 paper, 255 full ink), and hands each band to the
// page's BandSink. A page with more inks than eight is rendered once per
// pass (ink_passes.h), each pass band after band from the top, and its
// BandSink hears of the page's end after the last pass. A few band buffers go round: Ghostscript waits for a free
// one, so memory stays bounded whatever the page size.
#ifndef RIPHOST_PAGE_RENDERER_H
#define RIPHOST_PAGE_RENDERER_H

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sources/document/document_facts.h"
#include "sources/document/ink_passes.h"
#include "sources/document/page_watch.h"
#include "sources/document/plane_strips.h"

namespace riphost {

struct PageLayout {
  int number = 0;  // the page's number in the document
  int width = 0;
  int height = 0;
  std::vector<std::string> inks;  // the page's inks: process first, then spot colours
  std::vector<int> passes;        // the pass that renders each ink
  std::vector<int> slots;         // the byte of each ink in a pixel of its pass
  // What each ink looks like in process inks (0 to 1 each), as the document
  // gives it for a spot colour.
  std::vector<std::array<double, 4>> cmyk;
};

// Rows [y, y + rows) of a page in one of its passes, kInkSlots bytes a
// pixel: the inks of the layout whose pass it is.
struct Band {
  std::vector<std::uint8_t> pixels;
  int y = 0;
  int rows = 0;
  int pass = 0;
  std::atomic<int> users{0};  // readers still using it
};

// Receives a page's bands, on the renderer's thread; each band goes back
// with PageRenderer::release once every reader is done with it.
class BandSink {
 public:
  virtual ~BandSink() = default;
  virtual void band(Band& band) = 0;
  // Every band of the page was handed over.
  virtual void page_end() = 0;
  // Rendering stopped for good (message says why; empty when cancelled).
  virtual void failed(const std::string& message) = 0;
};

struct RenderRequest {
  DocumentFacts document;    // file, name, kind
  std::vector<int> pages;    // ascending page numbers
  double ppi = 2400.0;
  PageBoxChoice box = PageBoxChoice::Media;
  // PDF: the size the pages are rendered at (points, after rotation).
  double width_points = 0.0;
  double height_points = 0.0;
  // The spot colours named to Ghostscript before it reads the document (own
  // spot colours, own_spots): always for a PDF, whose pages of a request
  // share them; for a PostScript program when it uses more than fit in one
  // pass. A request whose inks take several passes has one page.
  bool name_spots = false;
  std::vector<std::string> spots;
  // The page (a request of one page) needs transparency or overprint, which
  // the display device cannot render in bands: it only lays the page out,
  // and Ghostscript's separation device renders it (separation_planes.h).
  bool via_planes = false;
  // Rows of each strip the separation device renders; 0: as many as keep a
  // strip's files small (plane_strip_rows).
  int plane_strip_rows = 0;
};

class PageRenderer {
 public:
  // Starts Ghostscript on its thread.
  explicit PageRenderer(RenderRequest request);
  // Cancels what is left and waits for the thread.
  ~PageRenderer();
  PageRenderer(const PageRenderer&) = delete;
  PageRenderer& operator=(const PageRenderer&) = delete;

  // Waits for the next page's layout. Returns nothing when the run has no
  // more pages or stop() said so (checked every few milliseconds). Throws
  // HostError with the file, the page and Ghostscript's error line when it
  // failed.
  std::optional<PageLayout> next_page(const std::function<bool()>& stop);
  // Lets the page laid out last render into sink.
  void start_page(BandSink& sink);
  // A band's readers are done with it.
  void release(Band& band);
  // Stops Ghostscript at its next chance; bands no longer flow, and the
  // page's sink is not called again once a call under way has returned.
  void cancel();
  // After cancel: waits at most wait for Ghostscript's run to end; true when
  // it has. Ghostscript cannot be interrupted while it reads a page, only
  // when it asks for the next band; when it has not ended, this returns once
  // it is out of the page's sink, which it then never calls again.
  bool ended_within(std::chrono::milliseconds wait);
  // Ghostscript spent longer than the page time limit (the document's
  // limits) on a page: the page failed and the run is cancelled, and
  // Ghostscript may never come back from it.
  bool timed_out() const;
  // The process is about to end without waiting for Ghostscript (after a
  // stop or a page past its time limit): cancels the run and keeps
  // Ghostscript in the next callback it makes for good, so that it does not
  // run on through the document's other pages (making files) meanwhile.
  void hold();

  const RenderRequest& request() const noexcept { return request_; }
  // Seconds Ghostscript has spent reading and rendering so far (its
  // thread's time outside riphost's callbacks).
  double rendering_seconds() const;
  // The most bytes the separation device's files of one strip of the last
  // page it rendered took on disk (RenderRequest::via_planes); 0 when none.
  std::uint64_t plane_bytes() const noexcept { return plane_bytes_; }
  // The strips (runs of the separation device) that page took.
  int plane_strips() const noexcept { return plane_strips_; }

 private:
  friend struct RendererCallbacks;
  void run() noexcept;
  std::vector<std::string> arguments() const;
  bool render_pass(std::string& message);
  bool render_from_planes(std::string& message);
  bool hand_planes(PlaneStrips& planes);
  void close_page();
  void hand_band(Band& band);
  bool check_pass();
  int rectangle(void** memory, int* ox, int* oy, int* raster, int* plane_raster, int* x, int* y, int* w, int* h);
  int next_rectangle(void** memory, int* ox, int* oy, int* raster, int* plane_raster, int* x, int* y, int* w,
                     int* h);
  bool open_page();
  Band* free_band();
  void end(const std::string& message);
  void time_out();
  void wait_if_held();
  std::string limit_problem(const std::string& said) const;
  template <typename Call>
  void to_sink(BandSink* sink, Call call);

  RenderRequest request_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> cancelled_{false};
  // Set by the Ghostscript thread.
  int width_ = 0;
  int height_ = 0;
  int laid_out_width_ = 0;  // the size of the page being rendered
  int laid_out_height_ = 0;
  std::vector<std::string> names_ = std::vector<std::string>(kInkSlots);
  std::vector<std::array<double, 4>> cmyk_ = std::vector<std::array<double, 4>>(kInkSlots);
  // What each ink Ghostscript named looks like in process inks, by name.
  std::vector<std::pair<std::string, std::array<double, 4>>> equivalents_;
  InkPlan plan_;
  std::size_t pass_ = 0;       // being rendered
  bool pass_done_ = false;     // the page's rows of pass_ were all rendered
  bool pass_checked_ = false;  // pass_'s inks are those asked for
  std::string problem_;        // why a pass was refused
  std::optional<PageLayout> laid_out_;  // waiting for start_page
  PageLayout page_;                     // of the page being rendered
  bool laid_out_only_ = false;          // the display run ended once the page was laid out
  BandSink* sink_ = nullptr;            // of the page being rendered
  bool started_ = false;                // start_page was called for laid_out_
  std::size_t page_index_ = 0;          // into request_.pages
  bool page_open_ = false;
  int next_row_ = 0;
  int band_rows_ = 0;
  Band* outstanding_ = nullptr;  // asked for, being rendered
  std::vector<std::unique_ptr<Band>> bands_;
  std::vector<Band*> free_;
  bool finished_ = false;
  bool in_sink_ = false;  // Ghostscript's thread is in a call to the page's sink
  std::string error_;
  std::chrono::steady_clock::time_point left_callback_;  // Ghostscript's thread only
  double rendering_ = 0.0;
  std::atomic<std::uint64_t> plane_bytes_{0};
  std::atomic<int> plane_strips_{0};
  bool timed_out_ = false;
  bool held_ = false;
  // Ghostscript's time on the page it reads; made before the thread and
  // gone before the state its action touches.
  std::unique_ptr<PageWatch> watch_;
  std::thread thread_;
};

}  // namespace riphost

#endif  // RIPHOST_PAGE_RENDERER_H
