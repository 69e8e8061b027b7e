// pngpreview_tag.cpp - "_KVTVIEW.PNG": the preview PNG of the separation,
// attached to its file and, on request, kept as a ".png" file of its own.
#include "pngpreview_tag.h"

#include <cstdio>
#include <cstdlib>

#include "plugin_state.h"
#include "pngpreview.h"
#include "utf8file.h"

namespace dravout {
namespace {

// A preview that cannot be made or read gives no tag and leaves nothing.
int give_up(const char* what, const char* reason) {
  report(DRAV_MSG_ERROR, "DRAVOUT: Could not %s the PNG preview (%s)", what, reason);
  remove_temporary(preview_tmp_name);
  return -1;
}

}  // namespace

int write_pngpreview_tag(TavFile* tavfile) {
  if (png_preview_resolution != -1) png_rescale(png_preview_resolution);
  const int size = png_getSizeOfPng();
  if (size <= 0) return give_up("make", png_lasterror());
  png_write(preview_tmp_name);
  if (png_lastresult() != 0) return give_up("write", png_lasterror());

  // The file is read back as the tag's source: it is what a kept ".png"
  // holds. The value is its n bytes, then n mod 4 zero bytes: read into a
  // zeroed buffer with room for them.
  const std::size_t capacity = static_cast<std::size_t>(size) + 3;
  uint8_t* value = static_cast<uint8_t*>(std::calloc(capacity, 1));
  if (value == nullptr) return give_up("read", "not enough memory");
  FILE* stream = fopen_utf8(preview_tmp_name, "rb");
  if (stream == nullptr) {
    std::free(value);
    return give_up("open", preview_tmp_name);
  }
  const std::size_t n = std::fread(value, 1, static_cast<std::size_t>(size), stream);
  const bool failed = std::ferror(stream) != 0;
  if (!failed && !std::feof(stream)) report(DRAV_MSG_ERROR, "DRAVOUT: Could not read the complete PNG preview tag");
  std::fclose(stream);
  if (failed) {
    std::free(value);
    return give_up("read", preview_tmp_name);
  }
  const int result = tav_puttag(tavfile, "_KVTVIEW.PNG", static_cast<int>(n + n % 4), value);
  std::free(value);

  if (output_png_preview != 0) {
    if (dravoututil_uniquerename(util_handle, output_file_name, DRAV_NAME_SIZE, preview_tmp_name, ".png") != 0) {
      report(DRAV_MSG_ERROR, "DRAVOUT: Could not generate unique filename (%s -> %s)", preview_tmp_name,
             output_file_name);
      preview_tmp_name[0] = '\0';  // the complete preview stays where it is
      return DRAV_ERR_CLOSE;
    }
    dravoututil_feedback(util_handle, output_file_name, 0);
    preview_tmp_name[0] = '\0';
    return result;
  }
  remove_temporary(preview_tmp_name);
  preview_tmp_name[0] = '\0';
  return result;
}

}  // namespace dravout
