// page_from_planes.cpp - a page the separation device renders, handed on in
// bands as the display device's would be.
//
// The display run lays the page out (size, inks and their places, the
// plug-in starts the page) and ends; Ghostscript's separation device then
// renders the page into files, strip after strip (plane_strips.h), and
// their rows are put
// into the renderer's band buffers in the places of the page's inks, pass
// after pass, so that screening, spools and the plug-in's calling order do
// not know the difference.
#include <algorithm>

#include "sources/document/page_renderer.h"
#include "sources/document/spool_file.h"

namespace riphost {

bool PageRenderer::render_from_planes(std::string& message) {
  const int number = request_.pages[std::min(page_index_, request_.pages.size() - 1)];
  PlaneJob job;
  job.document = request_.document.file;
  job.kind = request_.document.kind;
  job.page = number;
  job.ppi = request_.ppi;
  job.trim_box = request_.box == PageBoxChoice::Trim;
  job.width = page_.width;
  job.height = page_.height;
  job.password = request_.document.password;
  job.limits = request_.document.limits;
  // The spot colours the layout found, named so that each has its plane,
  // by their whole names (the display device cuts long ones; a PDF page's
  // whole names are known). A name that may be cut and cannot be completed
  // (a PostScript program's, which only the display device reported) is
  // left for the device to find on the page: named as cut, it would be
  // another ink, with an empty plane.
  const std::vector<std::string> known =
      request_.document.kind == DocumentKind::Pdf ? request_.spots : std::vector<std::string>{};
  for (const std::string& ink : page_.inks) {
    if (is_process_ink(ink)) continue;
    const std::string whole = whole_ink_name(ink, known);
    if (ink.size() != kReportedInkNameBytes || std::find(known.begin(), known.end(), whole) != known.end()) {
      job.spots.push_back(whole);
    }
  }
  const int strip_rows = request_.plane_strip_rows > 0 ? request_.plane_strip_rows
                                                       : plane_strip_rows(page_.width, page_.height);
  try {
    PlaneStrips planes(job, page_.inks, spool_folder(), [this] { return cancelled_.load(); }, strip_rows);
    const bool handed = hand_planes(planes);
    planes.close();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rendering_ += planes.seconds();
    }
    plane_bytes_ = planes.peak_disk_bytes();
    plane_strips_ = planes.runs();
    if (!handed || cancelled_) return false;
  } catch (const std::exception& error) {
    message = request_.document.name + ": page " + std::to_string(number) + ": " + error.what();
    return false;
  }
  close_page();
  return true;
}

// The planes' rows into bands, pass after pass, each ink at its place.
bool PageRenderer::hand_planes(PlaneStrips& planes) {
  const std::size_t row_bytes = static_cast<std::size_t>(page_.width) * kInkSlots;
  for (std::size_t pass = 0; pass < plan_.passes.size(); ++pass) {
    for (int y = 0; y < page_.height;) {
      Band* band = free_band();
      if (!band) return false;
      band->y = y;
      band->pass = static_cast<int>(pass);
      band->rows = std::min(band_rows_, page_.height - y);
      std::uint8_t* pixels = band->pixels.data();
      std::fill(pixels, pixels + row_bytes * static_cast<std::size_t>(band->rows), std::uint8_t{0});
      // Row after row, every ink of a row before the next, so that the rows
      // asked for go down the page and each strip is rendered once a pass.
      for (int row = 0; row < band->rows; ++row) {
        for (std::size_t ink = 0; ink < page_.inks.size(); ++ink) {
          if (page_.passes[ink] != static_cast<int>(pass)) continue;
          if (!planes.read_row(ink, y + row, pixels + row_bytes * static_cast<std::size_t>(row) +
                                                 static_cast<std::size_t>(page_.slots[ink]), kInkSlots)) {
            release(*band);
            return false;
          }
        }
      }
      y += band->rows;
      hand_band(*band);
      if (cancelled_) return false;
    }
  }
  return true;
}

}  // namespace riphost
