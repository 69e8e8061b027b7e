// plane_strips.h - a page of the separation device, rendered strip by strip.
//
// Ghostscript's separation device writes classic TIFF files, which cannot
// pass 4 GB, and a composite page of 4 bytes a pixel besides the planes of
// the inks: a whole big page would not fit in its files, and would take
// disk growing with the page. The page is therefore rendered in horizontal
// strips, one run of Ghostscript each over the page (which reads the page
// again each time), each strip small enough that its uncompressed composite
// stays under kPlaneStripBytes. Rows are asked for in order from the top;
// the files of a strip are gone before the next strip is rendered, so the
// disk holds one strip's compressed files at most. A page read again from
// its top (a page rendered in several passes) renders its strips again,
// unless it is a single strip.
#ifndef RIPHOST_PLANE_STRIPS_H
#define RIPHOST_PLANE_STRIPS_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sources/document/separation_planes.h"

namespace riphost {

// The most a strip's composite page may take, uncompressed.
constexpr std::uint64_t kPlaneStripBytes = std::uint64_t{1} << 30;

// The rows of a strip of a page of width x height pixels: as few strips as
// keep the composite (4 bytes a pixel) within limit, all of about the same
// height.
int plane_strip_rows(int width, int height, std::uint64_t limit = kPlaneStripBytes);

class PlaneStrips {
 public:
  // job tells the page and its size in pixels (its strip is set here);
  // inks are those read, in the order read_row knows them; stop is asked
  // while Ghostscript runs.
  PlaneStrips(PlaneJob job, std::vector<std::string> inks, std::filesystem::path temp, std::function<bool()> stop,
              int strip_rows);

  // Row y of the page of inks[ink], as SeparationPlanes::read_row; renders
  // the strip holding it first when need be. False when the run was
  // stopped. Throws HostError when Ghostscript or its files fail.
  bool read_row(std::size_t ink, int y, std::uint8_t* out, std::size_t stride);
  // Ends the last strip: its files go.
  void close() noexcept { strip_.reset(); }

  // The most bytes one strip's files took on disk.
  std::uint64_t peak_disk_bytes() const noexcept { return peak_disk_bytes_; }
  // Ghostscript runs so far, and the seconds they took.
  int runs() const noexcept { return runs_; }
  double seconds() const noexcept { return seconds_; }

 private:
  bool render_strip(int first_row);

  PlaneJob job_;
  std::vector<std::string> inks_;
  std::filesystem::path temp_;
  std::function<bool()> stop_;
  int strip_rows_;
  std::unique_ptr<SeparationPlanes> strip_;  // the strip rendered last
  std::uint64_t peak_disk_bytes_ = 0;
  int runs_ = 0;
  double seconds_ = 0.0;
};

}  // namespace riphost

#endif  // RIPHOST_PLANE_STRIPS_H
