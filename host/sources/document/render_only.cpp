// render_only.cpp - writing a page's contone planes as grey TIFF files.
#include "sources/document/render_only.h"

#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/host_error.h"
#include "common/progress.h"
#include "common/signals.h"
#include "sources/document/document_session.h"

namespace riphost {

namespace fs = std::filesystem;

namespace {

// Bytes of a name outside A-Z a-z 0-9 . _ - become "_".
std::string plain(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-';
    out += keep ? static_cast<char>(c) : '_';
  }
  return out;
}

std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "host";
  std::string text(name);
  return plain(text.substr(0, std::min<std::size_t>(text.find('.'), 64)));
}

// One TIFF file per ink of a page, written band by band on the renderer's
// thread.
class ContoneFiles final : public BandSink {
 public:
  ContoneFiles(const fs::path& folder, const std::string& stem, const PageLayout& layout, PageRenderer& renderer);
  ~ContoneFiles() override;

  void band(Band& band) override;
  void page_end() override;
  void failed(const std::string& message) override;

  // Waits for the end of the page; false when stop() said so first.
  bool wait(const std::function<bool()>& stop, Progress& progress);
  // Closes the files and gives them their final names; the error when a
  // file could not be written.
  std::string finish(MessageSink& sink);

 private:
  struct File {
    fs::path temporary;
    fs::path final_stem;
    TIFF* tiff = nullptr;
  };
  void open(File& file, const std::string& ink);

  const PageLayout layout_;
  PageRenderer& renderer_;
  std::vector<File> files_;
  std::vector<std::uint8_t> row_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  std::string error_;
  int rows_done_ = 0;
};

ContoneFiles::ContoneFiles(const fs::path& folder, const std::string& stem, const PageLayout& layout,
                           PageRenderer& renderer)
    : layout_(layout), renderer_(renderer), row_(static_cast<std::size_t>(layout.width)) {
  static int counter = 0;
  for (const std::string& ink : layout_.inks) {
    const std::string name = plain(stem + "-p" + std::to_string(layout_.number) + "-" + ink);
    File file;
    file.final_stem = folder / name;
    file.temporary = folder / ("." + name + "." + host_name() + "." + std::to_string(getpid()) + "." +
                               std::to_string(++counter) + ".tmp");
    files_.push_back(file);
    open(files_.back(), ink);
  }
}

ContoneFiles::~ContoneFiles() {
  std::error_code ignored;
  for (File& file : files_) {
    if (file.tiff) TIFFClose(file.tiff);
    fs::remove(file.temporary, ignored);
  }
}

void ContoneFiles::open(File& file, const std::string& ink) {
  file.tiff = TIFFOpen(file.temporary.c_str(), "wx");
  if (!file.tiff) throw HostError("cannot create " + file.temporary.string() + ": " + std::strerror(errno));
  TIFFSetField(file.tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(layout_.width));
  TIFFSetField(file.tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(layout_.height));
  TIFFSetField(file.tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(file.tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(file.tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(file.tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(file.tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(file.tiff, TIFFTAG_ZIPQUALITY, 1);
  TIFFSetField(file.tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(file.tiff, 0));
  TIFFSetField(file.tiff, TIFFTAG_PAGENAME, ink.c_str());
  TIFFSetField(file.tiff, TIFFTAG_SOFTWARE, "riphost --render-only");
}

void ContoneFiles::band(Band& band) {
  bool writing = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writing = error_.empty();
  }
  std::string problem;
  for (std::size_t ink = 0; writing && problem.empty() && ink < files_.size(); ++ink) {
    if (layout_.passes[ink] != band.pass) continue;
    const std::size_t slot = static_cast<std::size_t>(layout_.slots[ink]);
    for (int r = 0; r < band.rows; ++r) {
      const std::uint8_t* pixels =
          band.pixels.data() + static_cast<std::size_t>(r) * layout_.width * kInkSlots + slot;
      for (int x = 0; x < layout_.width; ++x) row_[static_cast<std::size_t>(x)] = pixels[x * kInkSlots];
      if (TIFFWriteScanline(files_[ink].tiff, row_.data(), static_cast<std::uint32_t>(band.y + r), 0) != 1) {
        problem = "cannot write " + files_[ink].temporary.string();
        break;
      }
    }
  }
  renderer_.release(band);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!problem.empty() && error_.empty()) error_ = problem;
  rows_done_ = band.pass * layout_.height + band.y + band.rows;
  changed_.notify_all();
}

void ContoneFiles::page_end() {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void ContoneFiles::failed(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (error_.empty()) error_ = message.empty() ? std::string("rendering was stopped") : message;
  ended_ = true;
  changed_.notify_all();
}

bool ContoneFiles::wait(const std::function<bool()>& stop, Progress& progress) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ended_) {
    changed_.wait_for(lock, std::chrono::milliseconds(20));
    progress.update(rows_done_);
    if (stop()) return false;
  }
  return true;
}

std::string ContoneFiles::finish(MessageSink& sink) {
  if (!error_.empty()) return error_;
  for (File& file : files_) {
    const int closed = TIFFFlush(file.tiff);
    TIFFClose(file.tiff);
    file.tiff = nullptr;
    if (closed != 1) return "cannot write " + file.temporary.string();
    for (int n = 1;; ++n) {
      const fs::path name = file.final_stem.string() + (n == 1 ? "" : "-" + std::to_string(n)) + ".tif";
      if (link(file.temporary.c_str(), name.c_str()) == 0) {
        unlink(file.temporary.c_str());
        sink.result("wrote %s", name.c_str());
        break;
      }
      if (errno != EEXIST || n > 99999) return "cannot name " + name.string() + ": " + std::strerror(errno);
    }
  }
  return {};
}

}  // namespace

int render_only(const DocumentFacts& facts, const std::vector<int>& pages, double ppi, PageBoxChoice box,
                const fs::path& folder, MessageSink& sink, bool terminal) {
  StopHandlers handlers;
  const std::function<bool()> stop = [] { return stop_signal() != 0; };
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    sink.error("cannot make %s: %s", folder.c_str(), error.message().c_str());
    return 1;
  }
  DocumentSession session(std::make_shared<const DocumentFacts>(facts), pages, ppi, box, 1, stop);
  const std::string stem = facts.file.stem().string();
  for (int number : pages) {
    try {
      const std::optional<PageLayout> layout = session.open_page(number, stop);
      if (!layout) break;
      ContoneFiles files(folder, stem, *layout, session.renderer());
      session.start_sink(files);
      const int passes = layout->passes.empty() ? 1 : layout->passes.back() + 1;
      Progress progress(sink, terminal, stem + "/" + std::to_string(number), layout->height * passes);
      if (!files.wait(stop, progress)) {
        session.close_page(true);
        break;
      }
      const std::string problem = files.finish(sink);
      session.close_page(!problem.empty());
      if (!problem.empty()) throw HostError(problem);
    } catch (const HostError& problem) {
      sink.error("%s", problem.what());
      return 1;
    }
  }
  if (const int sig = stop_signal(); sig != 0) {
    sink.error("stopped by %s", stop_signal_name(sig));
    return stop_exit_status(sig);
  }
  return 0;
}

}  // namespace riphost
