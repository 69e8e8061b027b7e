// image_source.cpp - the row sources of separations: images and patterns.
//
// An image sits at the top-left corner of the page: rows and pixels beyond
// the page are dropped, and the page outside the image is blank.
#include <algorithm>
#include <cstring>

#include "common/bitrow.h"
#include "sources/contone_source.h"
#include "common/host_error.h"
#include "sources/image_reader.h"
#include "sources/patterns.h"
#include "sources/row_source.h"

namespace riphost {

namespace {

class ImageSource final : public RowSource {
 public:
  ImageSource(std::unique_ptr<ImageReader> reader, std::string name, int width)
      : reader_(std::move(reader)), name_(std::move(name)), bytes_(row_bytes(width)),
        pixels_(std::min(width, reader_->width())), rows_(reader_->height()) {}

  // The next image row, clipped to the page, or a blank row below the image.
  void next_row(std::uint8_t* row) override {
    std::memset(row, 0, bytes_);
    if (y_ < rows_) {
      try {
        reader_->read_row(row, pixels_);
      } catch (const HostError& error) {
        throw HostError(name_ + ": " + error.what());
      }
      clear_tail(row, pixels_, bytes_);
    }
    ++y_;
  }

 private:
  std::unique_ptr<ImageReader> reader_;
  std::string name_;
  std::size_t bytes_;
  int pixels_;
  int rows_;
  int y_ = 0;
};

}  // namespace

// Opens the image or makes the pattern of a separation.
std::unique_ptr<RowSource> make_row_source(const ContentSource& content, int width, int height, double ppi,
                                           const std::vector<SelectedScreen>& screens, double gamma) {
  if (content.kind == ContentSource::Kind::Pattern) return make_pattern(content, width, height);
  if (content.kind == ContentSource::Kind::Contone) return make_contone(content, width, height, ppi, screens, gamma);
  std::unique_ptr<ImageReader> reader;
  try {
    reader = open_image(content.image, content.threshold);
  } catch (const HostError& error) {
    throw HostError(content.image_text + ": " + error.what());
  }
  return std::make_unique<ImageSource>(std::move(reader), content.image_text, width);
}

}  // namespace riphost
