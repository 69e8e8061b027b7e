// pngpreview_tag.cpp - "_KVTVIEW.PNG": the preview PNG of the separation,
// attached to its file and, on request, kept as a ".png" file of its own.
#include "pngpreview_tag.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "pngpreview.h"
#include "tag_vocabulary.h"
#include "utf8file.h"

namespace dravout {
namespace {

// The system's text for the error number err.
std::string system_reason(int err) { return std::error_code(err, std::generic_category()).message(); }

// A preview that cannot be made or read gives no tag and leaves nothing. It
// is reported here, once; the positive result tells the caller so.
int give_up(HostMessage message, const PreviewFile& preview, const char* what, const char* reason, int status) {
  drav_message(message, DRAV_MSG_ERROR, "DRAVOUT: Could not %s the PNG preview (%s)", what, reason);
  preview.discard(preview.tmp_name);
  preview.tmp_name[0] = '\0';
  preview.failed = true;
  return status;
}

// Reads the PNG file back into a zeroed buffer with room for the n mod 4
// padding bytes; n receives the bytes read. Null after a report.
uint8_t* read_back(HostMessage message, const PreviewFile& preview, int size, std::size_t* n, int* status) {
  // The file is read back as the tag's source: it is what a kept ".png"
  // holds.
  const std::size_t capacity = static_cast<std::size_t>(size) + 3;
  uint8_t* value = static_cast<uint8_t*>(std::calloc(capacity, 1));
  if (value == nullptr) {
    *status = give_up(message, preview, "read", "not enough memory", DRAV_ERR_MEMORY);
    return nullptr;
  }
  FILE* stream = fopen_utf8(preview.tmp_name, "rb");
  if (stream == nullptr) {
    const std::string reason = system_reason(errno);
    std::free(value);
    *status = give_up(message, preview, "open", reason.c_str(), DRAV_ERR_OTHER);
    return nullptr;
  }
  *n = std::fread(value, 1, static_cast<std::size_t>(size), stream);
  const int read_error = std::ferror(stream) != 0 ? (errno != 0 ? errno : EIO) : 0;
  if (read_error == 0 && !std::feof(stream)) {
    drav_message(message, DRAV_MSG_ERROR, "DRAVOUT: Could not read the complete PNG preview tag");
  }
  std::fclose(stream);
  if (read_error != 0) {
    std::free(value);
    *status = give_up(message, preview, "read", system_reason(read_error).c_str(), DRAV_ERR_OTHER);
    return nullptr;
  }
  return value;
}

}  // namespace

int write_pngpreview_tag(const TagOutput& out, const PreviewFile& preview, int32_t resolution) {
  if (resolution != -1) png_rescale(resolution);
  const int size = png_getSizeOfPng();
  if (size <= 0) return give_up(out.message, preview, "make", png_lasterror(), DRAV_ERR_OTHER);
  png_write(preview.tmp_name);
  if (png_lastresult() != 0) return give_up(out.message, preview, "write", png_lasterror(), DRAV_ERR_OTHER);

  // The value is the file's n bytes, then n mod 4 zero bytes.
  std::size_t n = 0;
  int status = 0;
  errno = 0;
  uint8_t* value = read_back(out.message, preview, size, &n, &status);
  if (value == nullptr) return status;
  const int result = out.sink.put(tagvocab::kPreviewTag, static_cast<int>(n + n % 4), value);
  std::free(value);

  // A kept preview waits for its raster file's final name.
  if (!preview.keep) {
    preview.discard(preview.tmp_name);
    preview.tmp_name[0] = '\0';
  }
  return result;
}

int deliver_preview_file(HostMessage message, const PreviewFile& preview, DravOutUtil* util,
                         const char* raster_name) {
  if (!preview.keep) return DRAV_OK;
  if (preview.tmp_name[0] == '\0') return preview.failed ? DRAV_ERR_CLOSE : DRAV_OK;
  char png_name[DRAV_NAME_SIZE] = {};
  if (dravoututil_uniquerename(util, png_name, DRAV_NAME_SIZE, preview.tmp_name, ".png") != 0) {
    drav_message(message, DRAV_MSG_ERROR, "DRAVOUT: Could not generate unique filename (%s -> %s)", preview.tmp_name,
               png_name);
    preview.discard(preview.tmp_name);
    preview.tmp_name[0] = '\0';
    preview.failed = true;
    drav_message(message, DRAV_MSG_INFO, "The PNG preview of %s is not kept as a file of its own", raster_name);
    return DRAV_ERR_CLOSE;
  }
  preview.tmp_name[0] = '\0';
  dravoututil_feedback(util, png_name, 0);
  return DRAV_OK;
}

}  // namespace dravout
