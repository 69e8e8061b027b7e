// page_renderer.cpp - the display device's callbacks and Ghostscript's thread.
//
// Ghostscript is set up so that the display device renders right (see
// docs/documents.md): separation mode, chunky pixels of eight 8-bit inks,
// the page buffer refused so that it asks for rectangles (bands). A PDF is
// started at its pages' own size, because a page size change in this mode
// renders the page empty, and with its spot colours named and the order of
// eight inks fixed, because otherwise the device packs fewer inks into a
// pixel than its colour encoding assumes. Unused places of the eight are
// filled with names of ours, which never become plates. A page with more
// inks than eight is read and rendered once per pass, each pass with its
// own eight inks (ink_passes.h).
#include "sources/document/page_renderer.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include "common/host_error.h"
#include "sources/document/device_guard.h"
#include "sources/document/ghostscript_session.h"

namespace riphost {

namespace {

// A band buffer holds about this many bytes; a few go round.
constexpr std::size_t kBandBytes = 8u << 20;
constexpr int kBandBuffers = 4;

// A number as Ghostscript reads it, in the "C" locale.
std::string number_text(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
  return std::string(text, result.ptr);
}

// "1-3,7" for the pages 1, 2, 3, 7.
std::string page_list_text(const std::vector<int>& pages) {
  std::string text;
  for (std::size_t i = 0; i < pages.size();) {
    std::size_t j = i;
    while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
    text += (text.empty() ? "" : ",") + std::to_string(pages[i]);
    if (j > i) text += "-" + std::to_string(pages[j]);
    i = j + 1;
  }
  return text;
}

// The page device settings that name the spot colours and fix the eight
// inks of a pass. More names than eight need room for them first: the
// device takes at most as many names as it has colorants. Room alone would
// make the device's pixel as wide as all colorants (8 bytes each, too wide
// for its bands at high resolutions) until the order is set: the page's
// spot colours held at four keeps it at eight inks meanwhile.
//
// The names go to the device itself (putdeviceprops), not into the page
// device dictionary: Ghostscript 10.0 hands that dictionary to the device
// again whenever the page device is set up (the PDF interpreter does so at
// every page), and its separation device then adds the names once more
// each time, without looking for them among its own. Past 64 colorants
// (the 16th page of a run with four names) it writes beyond its table of
// names and crashes a few pages later.
std::vector<std::string> separation_setup(const InkPlan& plan, const InkPass& pass) {
  std::vector<std::string> setup;
  if (plan.wide) {
    setup.push_back("<< /MaxSeparations " + std::to_string(kMaxSpotColours + 4) + " /PageSpotColors " +
                    std::to_string(kInkSlots - 4) + " >> setpagedevice");
  }
  setup.push_back("mark /SeparationColorNames [");
  for (const std::string& name : pass.names) setup.push_back(hex_string(name));
  setup.push_back("] currentdevice putdeviceprops pop << /SeparationOrder [");
  for (const std::string& name : pass.order) setup.push_back(hex_string(name));
  setup.push_back("] >> setpagedevice");
  return setup;
}

}  // namespace

// The display device's callbacks: handle is the renderer.
struct RendererCallbacks {
  static PageRenderer& of(void* handle) { return *static_cast<PageRenderer*>(handle); }
  static int nothing(void*, void*) { return 0; }
  static int presize(void* handle, void*, int width, int height, int, unsigned int) {
    PageRenderer& renderer = of(handle);
    renderer.wait_if_held();
    renderer.width_ = width;
    renderer.height_ = height;
    return renderer.cancelled_ ? -1 : 0;
  }
  static int size(void*, void*, int, int, int, unsigned int, unsigned char*) { return 0; }
  static int page(void*, void*, int, int) { return 0; }
  // Refusing the page buffer makes the device ask for rectangles.
  static void* memalloc(void*, void*, std::size_t) { return nullptr; }
  static int memfree(void*, void*, void*) { return 0; }
  static int separation(void* handle, void*, int component, const char* name, unsigned short c, unsigned short m,
                        unsigned short y, unsigned short k) {
    PageRenderer& renderer = of(handle);
    if (component < 0 || !name) return 0;
    const std::array<double, 4> cmyk = {c / 65535.0, m / 65535.0, y / 65535.0, k / 65535.0};
    // With more colorants than eight, the places past the eighth are not
    // rendered and may carry another colorant's number; a name and its
    // process equivalent always belong together.
    auto& known = renderer.equivalents_;
    const auto at = std::find_if(known.begin(), known.end(), [&](const auto& entry) { return entry.first == name; });
    if (at == known.end()) known.emplace_back(name, cmyk);
    else at->second = cmyk;
    if (component >= kInkSlots) return 0;
    renderer.names_[static_cast<std::size_t>(component)] = name;
    renderer.cmyk_[static_cast<std::size_t>(component)] = cmyk;
    return 0;
  }
  static int band_height(void*, void*, int) { return 0; }
  static int rectangle(void* handle, void*, void** memory, int* ox, int* oy, int* raster, int* plane_raster, int* x,
                       int* y, int* w, int* h) {
    of(handle).wait_if_held();
    return of(handle).rectangle(memory, ox, oy, raster, plane_raster, x, y, w, h);
  }
  static int poll(void* handle) { return of(handle).cancelled_ ? -1 : 0; }
};

PageRenderer::PageRenderer(RenderRequest request)
    : request_(std::move(request)),
      plan_(plan_inks(request_.name_spots ? request_.spots : std::vector<std::string>{})) {
  if (plan_.passes.size() > 1 && request_.pages.size() != 1) {
    throw HostError(request_.document.name + ": pages rendered in several passes are rendered one at a time");
  }
  watch_ = std::make_unique<PageWatch>(request_.document.limits.page_seconds, [this] { time_out(); });
  thread_ = std::thread([this] { run(); });
}

PageRenderer::~PageRenderer() {
  cancel();
  if (thread_.joinable()) thread_.join();
}

void PageRenderer::cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}

void PageRenderer::hold() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = true;
  cancelled_ = true;
  changed_.notify_all();
}

// Never returns once the run is held: the process ends meanwhile.
void PageRenderer::wait_if_held() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!held_) return;
  changed_.wait(lock, [] { return false; });
}

bool PageRenderer::timed_out() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timed_out_;
}

// The page time limit passed while Ghostscript was on a page (on the
// watchdog's thread): the page fails as a page Ghostscript could not render,
// and the run is cancelled; Ghostscript, still reading, is not waited for.
void PageRenderer::time_out() {
  BandSink* sink = nullptr;
  std::string message;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_ || cancelled_) return;
    const int number = request_.pages[std::min(page_index_, request_.pages.size() - 1)];
    message = request_.document.name + ": page " + std::to_string(number) + ": Ghostscript spent more than " +
              seconds_text(request_.document.limits.page_seconds) +
              " on the page, its time limit (--page-time-limit); the page is abandoned";
    error_ = message;
    timed_out_ = true;
    if (page_open_) sink = sink_;
    changed_.notify_all();
  }
  to_sink(sink, [&](BandSink& to) { to.failed(message); });
  cancel();
}

bool PageRenderer::ended_within(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (changed_.wait_for(lock, wait, [&] { return finished_; })) return true;
  changed_.wait(lock, [&] { return finished_ || !in_sink_; });
  return finished_;
}

// Calls the page's sink unless the run was cancelled, so that a cancelled
// run never touches a sink that may be gone.
template <typename Call>
void PageRenderer::to_sink(BandSink* sink, Call call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_ || !sink) return;
    in_sink_ = true;
  }
  call(*sink);
  std::lock_guard<std::mutex> lock(mutex_);
  in_sink_ = false;
  changed_.notify_all();
}

std::vector<std::string> PageRenderer::arguments() const {
  const unsigned format = display_format(DISPLAY_COLORS_SEPARATION, DISPLAY_ALPHA_NONE, DISPLAY_DEPTH_8,
                                         DISPLAY_BIGENDIAN, DISPLAY_TOPFIRST, DISPLAY_CHUNKY);
  std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-q", "-sDEVICE=display",
                                   "-dDisplayFormat=" + std::to_string(format), "-r" + number_text(request_.ppi),
                                   "-sPageList=" + page_list_text(request_.pages)};
  if (!request_.document.password.empty()) args.push_back("-sPDFPassword=" + request_.document.password);
  const std::string file = request_.document.file.string();
  if (request_.document.kind == DocumentKind::Pdf) {
    args.push_back("-dDEVICEWIDTHPOINTS=" + number_text(request_.width_points));
    args.push_back("-dDEVICEHEIGHTPOINTS=" + number_text(request_.height_points));
    if (request_.box == PageBoxChoice::Trim) args.push_back("-dUseTrimBox");
  } else if (request_.document.kind == DocumentKind::Eps) {
    args.push_back("-dEPSCrop");
  }
  // A page the separation device renders is only laid out here, and a page
  // group this device cannot render may stop it before that.
  if (request_.via_planes) args.push_back("-dNOTRANSPARENCY");
  // A PostScript program is kept off the inks set up for it; a PDF page's
  // own settings come from the PDF interpreter, which riphost's setup
  // already accounts for.
  std::vector<std::string> setup;
  if (request_.name_spots) setup = separation_setup(plan_, plan_.passes[pass_]);
  if (request_.document.kind != DocumentKind::Pdf) {
    const std::vector<std::string> guard = page_device_guard();
    setup.insert(setup.end(), guard.begin(), guard.end());
  }
  if (!setup.empty()) {
    args.push_back("-c");
    for (std::string& piece : command_pieces(setup)) args.push_back(std::move(piece));
    args.push_back("-f");
  }
  args.push_back(file);
  return args;
}

void PageRenderer::run() noexcept {
  std::string message;
  try {
    left_callback_ = std::chrono::steady_clock::now();
    for (pass_ = 0; pass_ < plan_.passes.size() && !cancelled_; ++pass_) {
      watch_->restart();
      if (!render_pass(message) || request_.via_planes) break;
    }
  } catch (const std::exception& error) {
    message = request_.document.name + ": " + error.what();
  }
  end(cancelled_ ? std::string() : message);
}

// One Ghostscript run over the request's pages with the inks of pass_.
bool PageRenderer::render_pass(std::string& message) {
  display_callback callback{};
  callback.size = sizeof callback;
  callback.version_major = DISPLAY_VERSION_MAJOR;
  callback.version_minor = DISPLAY_VERSION_MINOR;
  callback.display_open = RendererCallbacks::nothing;
  callback.display_preclose = RendererCallbacks::nothing;
  callback.display_close = RendererCallbacks::nothing;
  callback.display_presize = RendererCallbacks::presize;
  callback.display_size = RendererCallbacks::size;
  callback.display_sync = RendererCallbacks::nothing;
  callback.display_page = RendererCallbacks::page;
  callback.display_memalloc = RendererCallbacks::memalloc;
  callback.display_memfree = RendererCallbacks::memfree;
  callback.display_separation = RendererCallbacks::separation;
  callback.display_adjust_band_height = RendererCallbacks::band_height;
  callback.display_rectangle_request = RendererCallbacks::rectangle;
  std::string said;
  {
    GhostscriptSession gs(request_.document.limits.memory_bytes);
    gs.set_display(&callback, this);
    gs.set_poll(RendererCallbacks::poll, this);
    gs.permit_reading(request_.document.file.string());
    pass_done_ = false;
    pass_checked_ = pass_ == 0;
    laid_out_only_ = false;
    const bool last = pass_ + 1 == plan_.passes.size();
    if (gs.run(arguments()) && (last ? !page_open_ : pass_done_)) return true;
    said = gs.error_line();
    if (const auto key = changed_device_key(gs.output())) problem_ = changed_inks_problem(*key);
  }
  // The separation device's runs keep their own time (one per strip).
  watch_->pause();
  if (laid_out_only_ && !cancelled_) return render_from_planes(message);
  const std::size_t index = std::min(page_index_, request_.pages.size() - 1);
  const std::string limit = limit_problem(said);
  message = request_.document.name + ": page " + std::to_string(request_.pages[index]) +
            (limit.empty() ? ": Ghostscript could not render it" : ": " + limit) +
            (problem_.empty() ? std::string() : ": " + problem_) +
            (said.empty() ? std::string() : ": Ghostscript says: " + said);
  return false;
}

// What a run that failed for want of memory was refused; empty for
// another failure.
std::string PageRenderer::limit_problem(const std::string& said) const {
  if (said.find("VMerror") == std::string::npos) return {};
  return "Ghostscript needs more memory for it than the memory limit of " +
         memory_text(request_.document.limits.memory_bytes) + " (--memory-limit)";
}

// Ends the run: a page still open learns that no more bands come.
void PageRenderer::end(const std::string& message) {
  BandSink* sink = nullptr;
  watch_->pause();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    if (!timed_out_) error_ = message;
    if (page_open_) sink = sink_;
    page_open_ = false;
    changed_.notify_all();
  }
  to_sink(sink, [&](BandSink& to) { to.failed(message); });
}

// The first rectangle of a page: its layout goes to riphost, which starts it.
bool PageRenderer::open_page() {
  std::unique_lock<std::mutex> lock(mutex_);
  PageLayout layout;
  layout.number = page_index_ < request_.pages.size() ? request_.pages[page_index_] : 0;
  layout.width = laid_out_width_ = width_;
  layout.height = laid_out_height_ = height_;
  for (int slot = 0; slot < kInkSlots; ++slot) {
    const std::string& name = names_[static_cast<std::size_t>(slot)];
    if (name.empty() || is_filler_ink(name)) continue;
    layout.inks.push_back(name);
    layout.passes.push_back(0);
    layout.slots.push_back(slot);
    layout.cmyk.push_back(cmyk_[static_cast<std::size_t>(slot)]);
  }
  // The inks of the later passes, as they are asked for.
  for (std::size_t pass = 1; pass < plan_.passes.size(); ++pass) {
    const InkPass& inks = plan_.passes[pass];
    for (std::size_t i = 0; i < inks.inks.size(); ++i) {
      const std::string& name = inks.inks[i];
      const auto known = std::find_if(equivalents_.begin(), equivalents_.end(),
                                      [&](const auto& entry) { return entry.first == name; });
      layout.inks.push_back(name);
      layout.passes.push_back(static_cast<int>(pass));
      layout.slots.push_back(inks.first_slot + static_cast<int>(i));
      layout.cmyk.push_back(known == equivalents_.end() ? std::array<double, 4>{} : known->second);
    }
  }
  page_ = layout;
  laid_out_ = std::move(layout);
  started_ = false;
  changed_.notify_all();
  changed_.wait(lock, [&] { return started_ || cancelled_; });
  if (cancelled_) return false;
  page_open_ = true;
  next_row_ = 0;
  return true;
}

void PageRenderer::start_page(BandSink& sink) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!laid_out_) return;
  // The last page's readers give their bands back before it ends; wait for
  // the last of them before the buffers change size.
  changed_.wait(lock, [&] { return free_.size() == bands_.size() || cancelled_; });
  const std::size_t row = static_cast<std::size_t>(laid_out_->width) * kInkSlots;
  band_rows_ = static_cast<int>(std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(row, 1), 16, 256));
  if (bands_.empty()) {
    for (int i = 0; i < kBandBuffers; ++i) bands_.push_back(std::make_unique<Band>());
    for (auto& band : bands_) free_.push_back(band.get());
  }
  // Every buffer is free between pages: the last page's readers are done.
  for (auto& band : bands_) band->pixels.resize(row * static_cast<std::size_t>(band_rows_));
  sink_ = &sink;
  started_ = true;
  laid_out_.reset();
  changed_.notify_all();
}

Band* PageRenderer::free_band() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !free_.empty() || cancelled_; });
  if (cancelled_) return nullptr;
  Band* band = free_.back();
  free_.pop_back();
  return band;
}

void PageRenderer::release(Band& band) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(&band);
  changed_.notify_all();
}

int PageRenderer::rectangle(void** memory, int* ox, int* oy, int* raster, int* plane_raster, int* x, int* y, int* w,
                            int* h) {
  // riphost's time in the callback (waiting for a band buffer, for the
  // page to be started) is not Ghostscript's.
  watch_->pause();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rendering_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - left_callback_).count();
  }
  const int code = next_rectangle(memory, ox, oy, raster, plane_raster, x, y, w, h);
  left_callback_ = std::chrono::steady_clock::now();
  watch_->resume();
  return code;
}

double PageRenderer::rendering_seconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rendering_;
}

int PageRenderer::next_rectangle(void** memory, int* ox, int* oy, int* raster, int* plane_raster, int* x, int* y,
                                 int* w, int* h) {
  if (outstanding_) {
    Band* done = outstanding_;
    outstanding_ = nullptr;
    to_sink(sink_, [&](BandSink& to) { to.band(*done); });
  }
  *memory = nullptr;
  *w = *h = 1;  // a rectangle without memory ends the run
  if (!page_open_ && !open_page()) return 0;
  if (request_.via_planes) {
    // Laid out and started: the rest comes from the separation device.
    laid_out_only_ = true;
    return 0;
  }
  if (!pass_checked_ && !check_pass()) return 0;
  if (next_row_ >= height_ && pass_ + 1 < plan_.passes.size()) {
    // The next pass renders the page again from its top.
    pass_done_ = true;
    next_row_ = 0;
    *w = *h = 0;
    return 0;
  }
  if (next_row_ >= height_) {
    close_page();
    *w = *h = 0;
    return 0;
  }
  Band* band = free_band();
  if (!band) return 0;
  band->y = next_row_;
  band->pass = static_cast<int>(pass_);
  band->rows = std::min(band_rows_, height_ - next_row_);
  next_row_ += band->rows;
  outstanding_ = band;
  *memory = band->pixels.data();
  *ox = 0;
  *oy = band->y;
  *raster = width_ * kInkSlots;
  *plane_raster = 0;
  *x = 0;
  *y = band->y;
  *w = width_;
  *h = band->rows;
  return 0;
}

void PageRenderer::hand_band(Band& band) {
  to_sink(sink_, [&](BandSink& to) { to.band(band); });
}

// Every band of the page was handed over: its sink hears so.
void PageRenderer::close_page() {
  BandSink* sink = sink_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    page_open_ = false;
    sink_ = nullptr;
    ++page_index_;
  }
  to_sink(sink, [](BandSink& to) { to.page_end(); });
  // Ghostscript goes on with the next page.
  watch_->restart();
}

// A later pass of a page: the page has its size still, and Ghostscript
// renders the inks asked for in their places.
bool PageRenderer::check_pass() {
  const InkPass& pass = plan_.passes[pass_];
  if (width_ != laid_out_width_ || height_ != laid_out_height_) {
    problem_ = "its size changed between two passes over it";
    return false;
  }
  for (std::size_t i = 0; i < pass.inks.size(); ++i) {
    if (names_[static_cast<std::size_t>(pass.first_slot) + i] != pass.inks[i]) {
      problem_ = "the ink \"" + pass.inks[i] + "\" was not rendered where it was asked for";
      return false;
    }
  }
  pass_checked_ = true;
  return true;
}

std::optional<PageLayout> PageRenderer::next_page(const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (laid_out_ && !started_) return laid_out_;
    if (!error_.empty()) throw HostError(error_);
    if (finished_ || cancelled_) return std::nullopt;
    changed_.wait_for(lock, std::chrono::milliseconds(20));
    if (stop && stop()) return std::nullopt;
  }
}

}  // namespace riphost
