// separation_planes.h - a page rendered by Ghostscript's tiffsep device.
//
// The display device of Ghostscript 10.0 in separation mode cannot render
// transparency (the page fails) nor overprint (the ink under an
// overprinting mark is lost) when it is asked for bands. Pages that need
// either are rendered by Ghostscript's own separation device instead: `gs
// -sDEVICE=tiffsep` writes one LZW-compressed 8-bit plane per ink into a
// folder `planes.XXXXXX` in the run's private work folder (private_temp.h);
// riphost opens the planes, removes the folder and its files at once (the open
// files stay readable and vanish when closed) and reads them row by row.
// Ghostscript renders the page band by band itself, so memory stays
// bounded. A big page is rendered in strips, one run each (plane_strips.h),
// so that the disk holds the files of one strip only. The child gs
// dies with riphost; what riphost, killed outright, leaves behind goes with
// its private folder (remove_abandoned_private_folders).
#ifndef RIPHOST_SEPARATION_PLANES_H
#define RIPHOST_SEPARATION_PLANES_H

#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sources/document/document_facts.h"

namespace riphost {

// What to render: rows [first_row, first_row + rows) of one page of a
// document, whose size at ppi is width x height pixels (the display run's
// layout of it). The device is given the strip's size and the page is moved
// down under it, so that every strip is the same pixels a run over the
// whole page would give those rows.
struct PlaneJob {
  std::filesystem::path document;
  DocumentKind kind = DocumentKind::Pdf;
  int page = 1;
  double ppi = 2400.0;
  bool trim_box = false;
  int width = 0;
  int height = 0;
  int first_row = 0;
  int rows = 0;
  // The spot colours named to the device, in this order (it finds those a
  // PDF page's resources name by itself).
  std::vector<std::string> spots;
  // Opens an encrypted PDF (empty: none).
  std::string password;
  // The memory and time the run may take.
  DocumentLimits limits;
};

// Removes the plane folders "riphost-planes.<host>.<pid>.*" that earlier
// versions of riphost made directly in temp and left behind when they were
// killed (their process is gone; they hold no lock, so a live one in another
// PID namespace cannot be told from a dead one); returns how many, telling
// removed (may be empty) each. riphost --clean does this.
int remove_abandoned_plane_folders(const std::filesystem::path& temp,
                                   const std::function<void(const std::filesystem::path&)>& removed = {});

// Ghostscript's arguments for the job, writing into folder. An encrypted
// PDF's password is not among them (every user of the machine may read a
// program's arguments): the PDF interpreter finds it as PDFPassword in a
// PostScript file in folder that runs before the document.
std::vector<std::string> plane_job_arguments(const PlaneJob& job, const std::filesystem::path& folder);

// Writes that file (readable by riphost's user alone) when the job has a
// password. Throws HostError when it cannot.
void write_password_file(const PlaneJob& job, const std::filesystem::path& folder);

// The ink a tiffsep file of the page is the plane of ("page(PANTONE%20185%20C).tif"
// is "PANTONE 185 C"); empty when the name is not one of a plane.
std::string ink_of_plane_file(const std::string& file_name);

class SeparationPlanes {
 public:
  // Renders the job into a new private folder in temp; stop is asked while
  // Ghostscript runs. Throws HostError with Ghostscript's error line.
  SeparationPlanes(const PlaneJob& job, const std::filesystem::path& temp, const std::function<bool()>& stop);
  ~SeparationPlanes();
  SeparationPlanes(const SeparationPlanes&) = delete;
  SeparationPlanes& operator=(const SeparationPlanes&) = delete;

  // The run was stopped: there are no planes.
  bool stopped() const noexcept { return stopped_; }
  // The bytes the run's files took on disk (planes and composite page).
  std::uint64_t disk_bytes() const noexcept { return disk_bytes_; }

  // Opens the plane of each ink of inks, which must be width x rows (an ink
  // the display device reported cut takes the plane of its whole name).
  // Throws HostError naming an ink Ghostscript wrote no plane of: its plate
  // would be empty. Removes the folder.
  void open(const std::vector<std::string>& inks, int width, int rows);
  // Row y of the strip (0 its first) of inks[ink], 0 paper to 255 full ink, into out[x * stride].
  void read_row(std::size_t ink, int y, std::uint8_t* out, std::size_t stride);

 private:
  struct Closer {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
  };
  void remove_folder() noexcept;
  std::unique_ptr<TIFF, Closer> open_plane(const std::filesystem::path& file, const std::string& ink, int width,
                                           int rows);

  std::filesystem::path folder_;
  bool stopped_ = false;
  std::uint64_t disk_bytes_ = 0;
  int width_ = 0;
  std::vector<std::unique_ptr<TIFF, Closer>> planes_;  // by ink; null: none
  std::vector<std::uint8_t> row_;
  char error_[256] = "";
};

}  // namespace riphost

#endif  // RIPHOST_SEPARATION_PLANES_H
