// page_from_planes.cpp - a page the separation device renders, handed on in
// bands as the display device's would be.
//
// The display run lays the page out (size, inks and their places, the
// plug-in starts the page) and ends; Ghostscript's separation device then
// renders the page into files (separation_planes.h), and their rows are put
// into the renderer's band buffers in the places of the page's inks, pass
// after pass, so that screening, spools and the plug-in's calling order do
// not know the difference.
#include <algorithm>
#include <chrono>

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
  job.width_points = request_.width_points;
  job.height_points = request_.height_points;
  // The spot colours the layout found, named so that each has its plane.
  for (const std::string& ink : page_.inks) {
    if (!is_process_ink(ink)) job.spots.push_back(ink);
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    SeparationPlanes planes(job, spool_folder(), [this] { return cancelled_.load(); });
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rendering_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (planes.stopped() || cancelled_) return false;
    planes.open(page_.inks, page_.width, page_.height);
    plane_bytes_ = planes.disk_bytes();
    if (!hand_planes(planes)) return false;
  } catch (const std::exception& error) {
    message = request_.document.name + ": page " + std::to_string(number) + ": " + error.what();
    return false;
  }
  close_page();
  return true;
}

// The planes' rows into bands, pass after pass, each ink at its place.
bool PageRenderer::hand_planes(SeparationPlanes& planes) {
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
      for (std::size_t ink = 0; ink < page_.inks.size(); ++ink) {
        if (page_.passes[ink] != static_cast<int>(pass)) continue;
        for (int row = 0; row < band->rows; ++row) {
          planes.read_row(ink, y + row, pixels + row_bytes * static_cast<std::size_t>(row) +
                                            static_cast<std::size_t>(page_.slots[ink]), kInkSlots);
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
