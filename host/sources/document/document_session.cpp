// document_session.cpp - one Ghostscript run per stretch of pages.
#include "sources/document/document_session.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/host_error.h"
#include "common/signals.h"
#include "sources/document/document_marks.h"
#include "sources/document/ghostscript_session.h"
#include "sources/document/spool_file.h"

namespace riphost {

void rendered_size(const DocumentPageFacts& page, PageBoxChoice box, double& width, double& height) {
  const PageBox& chosen = box == PageBoxChoice::Trim && page.trim ? *page.trim : page.media;
  width = chosen.width() * page.user_unit;
  height = chosen.height() * page.user_unit;
  if (page.rotate == 90 || page.rotate == 270) std::swap(width, height);
}

namespace {

// How long a stopped run waits for Ghostscript to end before it leaves it.
constexpr std::chrono::milliseconds kStopGrace{300};
// The most pixels a side of a document page may have.
constexpr int kMostPagePixels = 1 << 24;

}  // namespace

DocumentSession::DocumentSession(std::shared_ptr<const DocumentFacts> facts, std::vector<int> pages, double ppi,
                                 PageBoxChoice box, int workers, std::function<bool()> stop)
    : facts_(std::move(facts)), pages_(std::move(pages)), ppi_(ppi), box_(box), workers_(workers),
      stop_(std::move(stop)) {}

DocumentSession::~DocumentSession() { end_run(); }

// The workers stop touching bands, Ghostscript stops (it may still hand
// bands to the plates until then), then the plates go. After a stop signal
// or a page past its time limit, a Ghostscript that is still reading a page
// is left running with the renderer and plates it uses: their spools are
// nameless and vanish with the process, which ends without waiting for it.
void DocumentSession::end_run() {
  if (plates_) plates_->stop();
  if (renderer_) renderer_->cancel();
  const bool leaving = renderer_ && ((stop_ && stop_()) || renderer_->timed_out());
  if (leaving) renderer_->hold();
  if (leaving && !renderer_->ended_within(kStopGrace)) {
    note_work_left_running();
    GhostscriptSession::abandon();
    static_cast<void>(renderer_.release());
    static_cast<void>(plates_.release());
    return;
  }
  renderer_.reset();
  plates_.reset();
}

int DocumentSession::default_workers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

// The spot colours a run names to Ghostscript for page number: a PDF
// page's own; a PostScript program's when they take more than one pass.
std::vector<std::string> DocumentSession::named_spots(int number) const {
  if (facts_->kind != DocumentKind::Pdf) {
    return plan_inks(facts_->spots).passes.size() > 1 ? facts_->spots : std::vector<std::string>{};
  }
  const DocumentPageFacts* page = facts_->page(number);
  return page ? own_spots(page->spots) : std::vector<std::string>{};
}

// Whether page number needs Ghostscript's separation device: transparency
// or overprint, which the display device does not render in bands.
bool DocumentSession::via_planes(int number) const { return page_needs_separation_device(*facts_, number); }

// Whether two pages can share a run: one pass over each (a run renders each
// of its pages once per pass), and for a PDF the same size and spot colours.
bool DocumentSession::same_run(int a, int b) const {
  if (via_planes(a) || via_planes(b)) return false;
  const std::vector<std::string> spots = named_spots(a);
  if (plan_inks(spots).passes.size() > 1) return false;
  if (facts_->kind != DocumentKind::Pdf) return true;
  const DocumentPageFacts* first = facts_->page(a);
  const DocumentPageFacts* second = facts_->page(b);
  if (!first || !second) return false;
  double w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  rendered_size(*first, box_, w1, h1);
  rendered_size(*second, box_, w2, h2);
  return w1 == w2 && h1 == h2 && spots == named_spots(b);
}

// The run that starts with pages_[first] and takes the pages after it that
// may share it.
RenderRequest DocumentSession::request_from(std::size_t first) const {
  RenderRequest request;
  request.document = *facts_;
  request.document.pages.clear();
  request.ppi = ppi_;
  request.box = box_;
  std::size_t end = first + 1;
  while (end < pages_.size() && pages_[end] > pages_[end - 1] && same_run(pages_[first], pages_[end])) ++end;
  request.pages.assign(pages_.begin() + static_cast<std::ptrdiff_t>(first),
                       pages_.begin() + static_cast<std::ptrdiff_t>(end));
  if (facts_->kind == DocumentKind::Pdf) {
    const DocumentPageFacts* page = facts_->page(pages_[first]);
    if (!page) throw HostError(facts_->name + ": page " + std::to_string(pages_[first]) + " was not looked at");
    rendered_size(*page, box_, request.width_points, request.height_points);
    // Ghostscript's rasters and riphost's rows count pixels in int.
    const double most = static_cast<double>(kMostPagePixels) * 72.0 / ppi_;
    if (!(request.width_points <= most && request.height_points <= most)) {
      throw HostError(facts_->name + ": page " + std::to_string(pages_[first]) + " is too large to render at " +
                      std::to_string(static_cast<long long>(ppi_)) + " ppi (more than " +
                      std::to_string(kMostPagePixels) + " pixels a side)");
    }
  }
  request.spots = named_spots(pages_[first]);
  request.name_spots = facts_->kind == DocumentKind::Pdf || !request.spots.empty();
  request.via_planes = via_planes(pages_[first]);
  return request;
}

std::optional<PageLayout> DocumentSession::open_page(int number, const std::function<bool()>& stop) {
  if (spools_.empty()) spools_ = spool_folder();
  if (!renderer_ || next_in_run_ >= run_end_ || pages_[next_in_run_] != number) {
    const auto at = std::find(pages_.begin(), pages_.end(), number);
    if (at == pages_.end()) throw HostError(facts_->name + ": page " + std::to_string(number) + " is not in the job");
    end_run();
    const std::size_t first = static_cast<std::size_t>(at - pages_.begin());
    RenderRequest request = request_from(first);
    next_in_run_ = first;
    run_end_ = first + request.pages.size();
    renderer_ = std::make_unique<PageRenderer>(std::move(request));
  }
  layout_ = renderer_->next_page(stop);
  if (!layout_) {
    if (stop && stop()) return std::nullopt;
    throw HostError(facts_->name + ": page " + std::to_string(number) + ": Ghostscript rendered no such page");
  }
  if (layout_->number != number) {
    throw HostError(facts_->name + ": Ghostscript rendered page " + std::to_string(layout_->number) +
                    " where page " + std::to_string(number) + " was expected");
  }
  // A PDF page is started at the size it renders at: a page whose size
  // still changed would render empty in this mode of Ghostscript's.
  const RenderRequest& request = renderer_->request();
  if (facts_->kind == DocumentKind::Pdf &&
      (layout_->width != static_cast<int>(request.width_points * ppi_ / 72.0 + 0.5) ||
       layout_->height != static_cast<int>(request.height_points * ppi_ / 72.0 + 0.5))) {
    throw HostError(facts_->name + ": page " + std::to_string(number) + " is " + std::to_string(layout_->width) +
                    " x " + std::to_string(layout_->height) + " pixels, not the size of its box; riphost cannot "
                    "render a page whose size changes while it is rendered");
  }
  if (layout_->width <= 0 || layout_->height <= 0) {
    throw HostError(facts_->name + ": page " + std::to_string(number) + " has no area at this resolution");
  }
  ++next_in_run_;
  return layout_;
}

PagePlates& DocumentSession::start_plates(const std::vector<SelectedScreen>& screens,
                                          const std::vector<ScreenerSetup>& setups) {
  if (!layout_ || !renderer_) throw HostError("no document page is open");
  plates_ = std::make_unique<PagePlates>(*renderer_, *layout_, ppi_, screens, spools_, workers_, setups,
                                         TileStop(stop_));
  return *plates_;
}

void DocumentSession::start_sink(BandSink& sink) {
  if (!layout_ || !renderer_) throw HostError("no document page is open");
  renderer_->start_page(sink);
  sunk_ = true;
}

void DocumentSession::close_page(bool abandoned) {
  // A page laid out but never started keeps Ghostscript waiting: its run ends.
  if (abandoned || (!plates_ && !sunk_)) end_run();
  plates_.reset();
  sunk_ = false;
  layout_.reset();
}

}  // namespace riphost
