// row_source.h - a separation's content, produced one scanline at a time.
//
// Sources stream: they keep at most a few rows of their own, whatever the
// page height, and allocate nothing per row.
#ifndef RIPHOST_ROW_SOURCE_H
#define RIPHOST_ROW_SOURCE_H

#include <cstdint>
#include <memory>

#include "content_source.h"

namespace riphost {

class RowSource {
 public:
  virtual ~RowSource() = default;
  // Renders the next row (rows come in order from 0) into row, which holds
  // row_bytes(width) bytes: every pixel is written and the padding cleared.
  // Throws HostError when the content cannot be read.
  virtual void next_row(std::uint8_t* row) = 0;
};

// Makes the source of a separation for a page of width x height pixels.
// Throws HostError when it cannot be opened.
std::unique_ptr<RowSource> make_row_source(const ContentSource& content, int width, int height);

}  // namespace riphost

#endif  // RIPHOST_ROW_SOURCE_H
