// separation_planes.cpp - tiffsep into a private folder, read back by rows.
#include "sources/document/separation_planes.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/host_error.h"
#include "sources/document/device_guard.h"
#include "sources/document/ghostscript_program.h"
#include "sources/document/ghostscript_session.h"
#include "sources/document/ink_passes.h"
#include "sources/document/private_temp.h"

namespace riphost {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPlaneBase = "page";
// The PostScript that gives the PDF interpreter an encrypted PDF's password.
constexpr const char* kPasswordFile = "password.ps";

std::string number_text(double value) {
  char text[64];
  // The shortest text that reads back as the same number.
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

__attribute__((format(printf, 4, 0))) int keep_tiff_error(TIFF*, void* user_data, const char* module,
                                                          const char* format, va_list args) {
  char message[200];
  std::vsnprintf(message, sizeof message, format, args);
  std::snprintf(static_cast<char*>(user_data), 256, "%s%s%s", module ? module : "", module ? ": " : "", message);
  return 1;
}

int ignore_tiff_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// The first megabyte of Ghostscript's log (its standard output and error).
std::string log_head(const fs::path& log) {
  std::string text(1u << 20, '\0');
  std::FILE* in = std::fopen(log.c_str(), "rb");
  if (!in) return {};
  text.resize(std::fread(text.data(), 1, text.size(), in));
  std::fclose(in);
  return text;
}

std::string folder_prefix() {
  char host[64] = "host";
  gethostname(host, sizeof host - 1);
  host[sizeof host - 1] = '\0';
  return "riphost-planes." + std::string(host) + ".";
}

// A new folder for one run of the separation device, in the run's private
// work folder (private_temp.h), which nothing else shares.
fs::path make_private_folder(const fs::path& temp) {
  std::string name = (temp / "planes.XXXXXX").string();
  if (!mkdtemp(name.data())) throw HostError(temp_failure(temp, errno));
  return name;
}

}  // namespace

int remove_abandoned_plane_folders(const fs::path& temp, const std::function<void(const fs::path&)>& removed_one) {
  const std::string prefix = folder_prefix();
  int removed = 0;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(temp, error)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    long pid = 0;
    const char* digits = name.c_str() + prefix.size();
    const auto [end, problem] = std::from_chars(digits, name.c_str() + name.size(), pid);
    if (problem != std::errc() || *end != '.' || pid <= 0) continue;
    // Only a process that is gone leaves its folder behind.
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    if (!entry.is_directory(ignored) || entry.is_symlink(ignored)) continue;
    if (fs::remove_all(entry.path(), ignored) == 0 || ignored) continue;
    ++removed;
    if (removed_one) removed_one(entry.path());
  }
  return removed;
}

std::vector<std::string> plane_job_arguments(const PlaneJob& job, const fs::path& folder) {
  std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-q", "-sDEVICE=tiffsep",
                                   "-sCompression=lzw", "-r" + number_text(job.ppi),
                                   "-sPageList=" + std::to_string(job.page),
                                   "-sOutputFile=" + (folder / (std::string(kPlaneBase) + ".tif")).string()};
  // Ghostscript's allocator refuses what goes beyond the limit (a VMerror).
  if (job.limits.memory_bytes > 0) args.push_back(memory_option(job.limits.memory_bytes));
  // The device is the strip, whatever size the document asks for; the
  // page's rows below the strip are moved out under its bottom edge (the
  // Install procedure runs whenever the page device is set up, also for
  // each page of a PDF). The move is whole pixels, so the strip's pixels are
  // those of the whole page.
  args.push_back("-dFIXEDMEDIA");
  args.push_back("-g" + std::to_string(job.width) + "x" + std::to_string(job.rows));
  if (job.kind == DocumentKind::Pdf && job.trim_box) {
    args.push_back("-dUseTrimBox");
  } else if (job.kind == DocumentKind::Eps) {
    args.push_back("-dEPSCrop");
  }
  // Room for every spot colour riphost takes (the device converts those
  // beyond its own default of ten to process inks), their names, and for a
  // PostScript program the guard that keeps it off those settings.
  args.push_back("-dMaxSpots=" + std::to_string(kMaxSpotColours));
  const int below = job.height - job.first_row - job.rows;
  std::vector<std::string> setup = {"<< /Install {0 " + number_text(-below * 72.0 / job.ppi) +
                                    " translate} >> setpagedevice"};
  if (!job.spots.empty()) {
    setup.push_back("<< /SeparationColorNames [");
    for (const std::string& spot : job.spots) setup.push_back(hex_string(spot));
    setup.push_back("] >> setpagedevice");
  }
  if (job.kind != DocumentKind::Pdf) {
    const std::vector<std::string> guard = page_device_guard();
    setup.insert(setup.end(), guard.begin(), guard.end());
  }
  args.push_back("-c");
  for (std::string& piece : command_pieces(setup)) args.push_back(std::move(piece));
  args.push_back("-f");
  if (!job.password.empty()) args.push_back((folder / kPasswordFile).string());
  args.push_back(job.document.string());
  return args;
}

void write_password_file(const PlaneJob& job, const fs::path& folder) {
  if (job.password.empty()) return;
  const fs::path file = folder / kPasswordFile;
  const std::string text = "/PDFPassword " + hex_string(job.password) + " def\n";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written) throw HostError("cannot write " + file.string() + ": " + std::strerror(errno));
}

std::string ink_of_plane_file(const std::string& file_name) {
  const std::string head = std::string(kPlaneBase) + "(";
  const std::string tail = ").tif";
  if (file_name.size() <= head.size() + tail.size() || file_name.compare(0, head.size(), head) != 0 ||
      file_name.compare(file_name.size() - tail.size(), tail.size(), tail) != 0) {
    return {};
  }
  const std::string coded = file_name.substr(head.size(), file_name.size() - head.size() - tail.size());
  std::string ink;
  for (std::size_t i = 0; i < coded.size(); ++i) {
    unsigned value = 0;
    if (coded[i] == '%' && i + 2 < coded.size() &&
        std::from_chars(coded.data() + i + 1, coded.data() + i + 3, value, 16).ptr == coded.data() + i + 3) {
      ink += static_cast<char>(value);
      i += 2;
    } else {
      ink += coded[i];
    }
  }
  return ink;
}

SeparationPlanes::SeparationPlanes(const PlaneJob& job, const fs::path& temp, const std::function<bool()>& stop) {
  const fs::path program = ghostscript_program();
  if (program.empty()) {
    throw HostError("Ghostscript's gs program is not there (Debian's ghostscript package; RIPHOST_GS names "
                    "another); pages with transparency or overprint need it");
  }
  folder_ = make_private_folder(temp);
  try {
    const fs::path log = folder_ / "gs.log";
    write_password_file(job, folder_);
    const ProgramEnd end = run_program(program, plane_job_arguments(job, folder_), log, stop, job.limits);
    stopped_ = end == ProgramEnd::Stopped;
    if (end == ProgramEnd::TimedOut) {
      throw HostError("Ghostscript's separation device spent more than " + seconds_text(job.limits.page_seconds) +
                      " on the page, its time limit (--page-time-limit); the page is abandoned");
    }
    if (end == ProgramEnd::Failed) {
      // A program that reached the device's settings past the guard.
      if (const auto key = changed_device_key(log_head(log))) throw HostError(changed_inks_problem(*key));
      const std::string said = ghostscript_error_in(log);
      const bool memory = said.find("VMerror") != std::string::npos;
      throw HostError((memory ? "Ghostscript's separation device needs more memory for it than the memory limit of " +
                                    memory_text(job.limits.memory_bytes) + " (--memory-limit)"
                              : std::string("Ghostscript's separation device could not render it")) +
                      (said.empty() ? std::string() : ": Ghostscript says: " + said));
    }
  } catch (...) {
    remove_folder();
    throw;
  }
}

SeparationPlanes::~SeparationPlanes() { remove_folder(); }

void SeparationPlanes::remove_folder() noexcept {
  if (folder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
  folder_.clear();
}

// Every ink of the page has its plane, or the page fails: an ink read as
// paper would be delivered as an empty plate.
void SeparationPlanes::open(const std::vector<std::string>& inks, int width, int rows) {
  planes_.clear();
  planes_.resize(inks.size());
  std::vector<std::string> written;  // the ink of each plane file
  std::vector<fs::path> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    // Every file counts: the composite page tiffsep writes too.
    std::error_code unsized;
    const std::uintmax_t size = entry.file_size(unsized);
    if (!unsized) disk_bytes_ += size;
    std::string ink = ink_of_plane_file(entry.path().filename().string());
    if (ink.empty()) continue;
    written.push_back(std::move(ink));
    files.push_back(entry.path());
  }
  if (error) throw HostError("cannot list " + folder_.string() + ": " + error.message());
  for (std::size_t i = 0; i < inks.size(); ++i) {
    // tiffsep names a plane file with the ink's whole name; the display
    // device that laid the page out may have reported it cut.
    const auto at = std::find(written.begin(), written.end(), whole_ink_name(inks[i], written));
    if (at == written.end()) {
      throw HostError("Ghostscript's separation device wrote no plane of the ink " + inks[i] +
                      " (the program sends its output elsewhere, or the device does not know the ink); its plate "
                      "would be empty, so the page is refused");
    }
    planes_[i] = open_plane(files[static_cast<std::size_t>(at - written.begin())], inks[i], width, rows);
  }
  // The open planes stay readable; nothing of the run keeps a name.
  remove_folder();
  width_ = width;
  row_.resize(static_cast<std::size_t>(width));
}

// One plane file of tiffsep, which must be an 8-bit grey strip of width x rows.
std::unique_ptr<TIFF, SeparationPlanes::Closer> SeparationPlanes::open_plane(const fs::path& file,
                                                                             const std::string& ink, int width,
                                                                             int rows) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) throw HostError("cannot start libtiff");
  TIFFOpenOptionsSetErrorHandlerExtR(options, keep_tiff_error, error_);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignore_tiff_warning, nullptr);
  std::unique_ptr<TIFF, Closer> tif(TIFFOpenExt(file.c_str(), "rm", options));
  TIFFOpenOptionsFree(options);
  std::uint32_t w = 0, h = 0;
  std::uint16_t bits = 0, samples = 1;
  if (!tif) throw HostError("cannot read Ghostscript's plane of " + ink + ": " + error_);
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  if (w != static_cast<std::uint32_t>(width) || h != static_cast<std::uint32_t>(rows) || bits != 8 || samples != 1 ||
      TIFFIsTiled(tif.get())) {
    throw HostError("Ghostscript's plane of " + ink + " is " + std::to_string(w) + " x " + std::to_string(h) +
                    " pixels, not the strip's " + std::to_string(width) + " x " + std::to_string(rows));
  }
  return tif;
}

void SeparationPlanes::read_row(std::size_t ink, int y, std::uint8_t* out, std::size_t stride) {
  TIFF* tif = ink < planes_.size() ? planes_[ink].get() : nullptr;
  if (!tif) throw HostError("no plane of Ghostscript's is open for ink " + std::to_string(ink + 1) + " of the page");
  if (TIFFReadScanline(tif, row_.data(), static_cast<std::uint32_t>(y), 0) < 0) {
    throw HostError(std::string("cannot read Ghostscript's plane: ") + error_);
  }
  // tiffsep's planes are min-is-black: 0 is full ink.
  for (int x = 0; x < width_; ++x) {
    out[static_cast<std::size_t>(x) * stride] = static_cast<std::uint8_t>(255 - row_[static_cast<std::size_t>(x)]);
  }
}

}  // namespace riphost
