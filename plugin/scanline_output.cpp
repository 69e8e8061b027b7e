// scanline_output.cpp - one scanline at a time into the raster file.
#include "expand.h"
#include "plugin_state.h"
#include "pngpreview.h"
#include "stages.h"

namespace dravout {

// Hands the host the plug-in's scanline buffer for the next scanline.
int new_scan(ScanlineBuffer** buffer) {
  if (buffer != nullptr) *buffer = &scanline;
  return DRAV_OK;
}

// Writes the scanline as the next row, widened to 8 bits for FW88B.
int put_scan(ScanlineBuffer* buffer) {
  if (output_page == 0) return DRAV_OK;
  if (state.tavfile == nullptr) {
    report(DRAV_MSG_ERROR, "Writing scanline %d failed", state.row);
    report(DRAV_MSG_INFO, "%s", "No output file is open for this separation");
    return DRAV_ERR_WRITE;
  }
  if (buffer == nullptr || buffer->data == nullptr) {
    report(DRAV_MSG_ERROR, "Writing scanline %d failed", state.row);
    report(DRAV_MSG_INFO, "%s", "The host handed over no scanline");
    return DRAV_ERR_WRITE;
  }
  if (state.bps == state.out_bps) {
    if (tav_putrow(state.tavfile, state.row, buffer->data) < 0) {
      report(DRAV_MSG_ERROR, "Writing scanline %d failed", state.row);
      report(DRAV_MSG_INFO, "%s", tav_lasterror());
      discard_separation_file();
      return DRAV_ERR_WRITE;
    }
  } else {
    expand_scanline(buffer->data, static_cast<std::size_t>(scanline_bytes), expanded.data);
    if (tav_putrow(state.tavfile, state.row, expanded.data) < 0) {
      report(DRAV_MSG_ERROR, "Writing expanded scanline %d failed", state.row);
      report(DRAV_MSG_INFO, "%s", tav_lasterror());
      discard_separation_file();
      return DRAV_ERR_WRITE;
    }
  }
  if (state.reverse != 0 || state.mirror != 0) buffer->flag = 1;
  ++state.row;
  // The preview sees the row as the host rendered it, never the expanded or
  // mirrored one. The buffer is padded to whole 32-bit words.
  if (add_png_preview != 0) png_setNextLine(reinterpret_cast<const uint32_t*>(buffer->data));
  return DRAV_OK;
}

// Ends a page; the separations have done all the work. A separation the host
// left open is incomplete and is deleted.
int end_page() {
  abandon_open_separation();
  return DRAV_OK;
}

}  // namespace dravout
