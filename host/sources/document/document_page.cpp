// document_page.cpp - separations, XMP packet and row sources of a document page.
#include "sources/document/document_page.h"

#include <algorithm>
#include <cmath>

#include "common/bitrow.h"
#include "sources/document/plate_xmp.h"

namespace riphost {

namespace {

bool is_process(const std::string& ink) {
  return std::find_if(kProcessInks.begin(), kProcessInks.end(), [&](const char* name) { return ink == name; }) !=
         kProcessInks.end();
}

class PlateSource final : public RowSource {
 public:
  PlateSource(PagePlates& plates, std::size_t ink, std::function<bool()> stop)
      : plates_(plates), ink_(ink), stop_(std::move(stop)), width_(plates.layout().width) {}

  bool screened() const noexcept override { return true; }
  void set_runs(const RunCallbacks& runs) noexcept override { runs_ = runs; }

  void next_row(std::uint8_t* row) override {
    plates_.next_row(ink_, row, solids_, stop_);
    report_runs(row, width_, solids_, plates_.handle(ink_), runs_);
  }

 private:
  PagePlates& plates_;
  std::size_t ink_;
  std::function<bool()> stop_;
  int width_;
  RunList solids_;
  RunCallbacks runs_;
};

// The packet the plates' description joins: the ticket's for the page, else
// the document page's own, else the document's.
std::string own_packet(const Page& page) {
  if (page.xmp) return *page.xmp;
  if (!page.document || !page.document->spec || !page.document->spec->facts) return {};
  const DocumentFacts& facts = *page.document->spec->facts;
  const DocumentPageFacts* facts_page = facts.page(page.document->number);
  return facts_page && !facts_page->xmp.empty() ? facts_page->xmp : facts.xmp;
}

}  // namespace

std::vector<std::size_t> ink_screens(const DocumentSpec& spec, const PageLayout& layout) {
  std::vector<std::size_t> screens;
  for (const std::string& ink : layout.inks) screens.push_back(spec.screen_of(ink));
  return screens;
}

std::vector<ScreenerSetup> ink_setups(const DocumentSpec& spec, const PageLayout& layout, double gamma) {
  std::vector<ScreenerSetup> setups;
  for (const std::string& ink : layout.inks) {
    ScreenerSetup setup;
    setup.gamma = gamma;
    setup.ink_transfer = spec.transfer_of(ink);
    setup.limits.page_extent = std::hypot(static_cast<double>(layout.width), static_cast<double>(layout.height));
    setups.push_back(std::move(setup));
  }
  return setups;
}

Page plate_page(const Page& page, const PageLayout& layout, const std::vector<std::size_t>& screens,
                const std::vector<ScreenSpec>& job_screens) {
  Page plate = page;
  plate.document.reset();
  plate.width = layout.width;
  plate.height = layout.height;
  plate.separations.clear();
  std::vector<PlateInk> inks;
  for (std::size_t i = 0; i < layout.inks.size(); ++i) {
    const std::string& ink = layout.inks[i];
    const bool process = is_process(ink);
    Separation separation;
    separation.where = page.where + " (" + ink + ")";
    separation.name = ink;
    separation.screens = {screens.at(i)};
    separation.uses = {1};
    separation.inks = {InkName{ink, process ? kProcessGroup : ""}};
    // The separation asks for its own screen, as the page's packet lists it.
    const ScreenSpec& screen = job_screens.at(screens.at(i));
    separation.requested_screens = {RequestedScreen{screen.ruling, screen.angle}};
    plate.separations.push_back(std::move(separation));
    inks.push_back(PlateInk{ink, process, screen.ruling, screen.angle, layout.cmyk.at(i)});
  }
  plate.xmp = std::make_shared<const std::string>(plate_xmp(inks, own_packet(page)));
  return plate;
}

std::unique_ptr<RowSource> make_plate_source(PagePlates& plates, std::size_t ink, std::function<bool()> stop) {
  return std::make_unique<PlateSource>(plates, ink, std::move(stop));
}

}  // namespace riphost
