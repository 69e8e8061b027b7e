// document_pages.cpp - running the pages of documents.
#include "driver/document_pages.h"

#include <optional>

#include "common/host_error.h"
#include "driver/driver.h"
#include "screening/tile_stop.h"
#include "sources/document/document_page.h"
#include "sources/document/document_warnings.h"

namespace riphost {

DocumentSession& DocumentPages::session(const DocumentPageRef& page) {
  if (session_ && spec_ == page.spec.get()) return *session_;
  session_.reset();
  std::vector<int> numbers;
  for (const Page& each : job_.pages) {
    if (each.document && each.document->spec == page.spec) numbers.push_back(each.document->number);
  }
  spec_ = page.spec.get();
  session_ = std::make_unique<DocumentSession>(page.spec->facts, numbers, job_.ppi, page.spec->box,
                                               DocumentSession::default_workers(), stop_);
  return *session_;
}

namespace {

// Where the page's time went, for riphost -v.
void describe_page(MessageSink& sink, DocumentSession& session, const PagePlates& plates) {
  const PlateTimes times = plates.times();
  const PageLayout& layout = plates.layout();
  sink.info("%s page %d: %d x %d pixels, %zu inks; rendering %.2f s (so far), screening %.2f s, spooling %.2f s, "
            "reading spools %.2f s, writing %.2f s, waiting %.2f s, %.1f MB spooled",
            session.facts().name.c_str(), layout.number, layout.width, layout.height, layout.inks.size(),
            session.renderer().rendering_seconds(), times.screening, times.spooling, times.reading, times.writing,
            times.waiting, static_cast<double>(plates.spooled_bytes()) / 1e6);
  const std::uint64_t planes = session.renderer().plane_bytes();
  if (planes > 0) {
    sink.info("%s page %d: rendered by Ghostscript's separation device (transparency or overprint) in %d "
              "strips, %.1f MB of planes on disk at most while it was read",
              session.facts().name.c_str(), layout.number, session.renderer().plane_strips(),
              static_cast<double>(planes) / 1e6);
  }
}

}  // namespace

// A page of a document: rendered as far as its inks are known, then run as
// a page with one separation per ink, whose rows come from its plates.
bool Driver::run_document_page(const Job& job, const Page& page, std::size_t page_number) {
  if (!documents_) documents_ = std::make_unique<DocumentPages>(job, &Driver::stopped);
  DocumentSession& session = documents_->session(*page.document);
  const DocumentFacts& facts = *page.document->spec->facts;
  report_page_warnings(facts.warnings, facts.name, page.document->number, sink_);
  // What the look at the page found to warn about (files it refers to).
  if (const DocumentPageFacts* own = facts.page(page.document->number)) {
    for (const std::string& warning : own->warnings) sink_.warning("%s", warning.c_str());
  }
  std::optional<PageLayout> layout;
  try {
    if (terminal_) {
      const std::string reading = "  " + job.name + "/" + std::to_string(page_number) + ": reading the page";
      sink_.status_line(reading.c_str());
    }
    layout = session.open_page(page.document->number, &Driver::stopped);
    if (terminal_) sink_.clear_status();
    if (!layout) {
      session.close_page(true);
      return false;
    }
    const std::vector<std::size_t> screens = ink_screens(*page.document->spec, *layout);
    std::vector<SelectedScreen> selected;
    for (std::size_t index : screens) selected.push_back({job.screens.at(index), screening_.handle_of(index)});
    plates_ = &session.start_plates(selected, ink_setups(*page.document->spec, *layout, gamma_));
    const Page plate = plate_page(page, *layout, screens, job.screens);
    const bool done = run_page(job, plate, page_number);
    // After a failure the line would read as the plug-in's explanation.
    if (done) describe_page(sink_, session, *plates_);
    plates_ = nullptr;
    session.close_page(!done);
    return done;
  } catch (const TileBuildStopped&) {
    // A stop signal came while the page's tiles were built: the run ends.
    plates_ = nullptr;
    session.close_page(true);
    return false;
  } catch (const HostError& error) {
    plates_ = nullptr;
    session.close_page(true);
    sink_.error("%s", error.what());
    failed_ = true;
    return false;
  }
}

}  // namespace riphost
