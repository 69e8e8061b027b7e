// document_session.h - the pages a job takes from one document, in order.
//
// A session renders the pages a job takes from a document, one after the
// other, with as few Ghostscript runs as it can: a PostScript program or EPS
// file in one run (a run of a PostScript program reads every page before
// the one it renders), a PDF in one run per stretch of pages with the same
// size and spot colours (see page_renderer.cpp). A page with more inks than
// Ghostscript renders at once has runs of its own, one per pass. While riphost writes the
// plates of one page, Ghostscript already reads the next one.
//
// For each page: open_page (the layout: size and inks), start_plates with
// one screen per ink, the plates handed to the plug-in, close_page.
#ifndef RIPHOST_DOCUMENT_SESSION_H
#define RIPHOST_DOCUMENT_SESSION_H

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sources/document/document_facts.h"
#include "sources/document/page_plates.h"
#include "sources/document/page_renderer.h"

namespace riphost {

class DocumentSession {
 public:
  // pages: the page numbers the job takes, in the order it takes them.
  // workers: screening threads per page. stop: true once a stop signal
  // came; a Ghostscript run that does not end promptly after one is left
  // running (note_work_left_running) rather than waited for.
  DocumentSession(std::shared_ptr<const DocumentFacts> facts, std::vector<int> pages, double ppi,
                  PageBoxChoice box, int workers, std::function<bool()> stop = {});
  ~DocumentSession();
  DocumentSession(const DocumentSession&) = delete;
  DocumentSession& operator=(const DocumentSession&) = delete;

  // Renders page number as far as its layout. Returns nothing when stop()
  // said so. Throws HostError (file, page, Ghostscript's error line).
  std::optional<PageLayout> open_page(int number, const std::function<bool()>& stop);
  // Screens the page opened last, with one screen per ink of its layout and
  // the calibration of each ink (none when setups is empty). Throws
  // TileBuildStopped when a stop signal ends the building of its tiles.
  PagePlates& start_plates(const std::vector<SelectedScreen>& screens, const std::vector<ScreenerSetup>& setups = {});
  // Lets the page opened last render into sink instead (--render-only); the
  // sink gives each band back through renderer().
  void start_sink(BandSink& sink);
  PageRenderer& renderer() { return *renderer_; }
  // Ends the page: done (its separations are all written) or abandoned, in
  // which case Ghostscript's run is stopped too.
  void close_page(bool abandoned);

  const DocumentFacts& facts() const noexcept { return *facts_; }
  // Screening threads a page gets.
  static int default_workers();

 private:
  RenderRequest request_from(std::size_t first) const;
  void end_run();
  bool same_run(int a, int b) const;
  bool via_planes(int number) const;
  std::vector<std::string> named_spots(int number) const;

  std::shared_ptr<const DocumentFacts> facts_;
  std::vector<int> pages_;
  double ppi_;
  PageBoxChoice box_;
  int workers_;
  std::function<bool()> stop_;
  std::filesystem::path spools_;  // the folder of the page's nameless spool files
  std::unique_ptr<PageRenderer> renderer_;
  std::size_t next_in_run_ = 0;  // index into pages_ of the renderer's next page
  std::size_t run_end_ = 0;      // one past the renderer's last page
  std::optional<PageLayout> layout_;
  std::unique_ptr<PagePlates> plates_;
  bool sunk_ = false;  // the open page renders into a sink of the caller's
};

// The size in points a PDF page is rendered at: its media box, or its trim
// box when asked and given, turned by its rotation.
void rendered_size(const DocumentPageFacts& page, PageBoxChoice box, double& width, double& height);

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_SESSION_H
