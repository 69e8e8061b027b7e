// pngpreview_api.cpp - the C edge of libdravpngpreview.so: the one preview of
// the process, the call order and the outcome of each call.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "pngpreview.h"
#include "preview_image.h"
#include "preview_png.h"

namespace {

using pngpreview::Outcome;
using pngpreview::PreviewImage;

struct Preview {
  std::unique_ptr<PreviewImage> image;
  std::vector<uint8_t> png;  // the encoded file, once encoded
  bool encoded = false;
  int result = PNGPREVIEW_OK;
  char message[sizeof(Outcome::message)] = {};
};

Preview& preview() {
  static Preview state;
  return state;
}

void succeed() {
  Preview& p = preview();
  p.result = PNGPREVIEW_OK;
  p.message[0] = '\0';
}

[[gnu::format(printf, 2, 3)]] void fail(int code, const char* format, ...) {
  Preview& p = preview();
  p.result = code;
  va_list args;
  va_start(args, format);
  std::vsnprintf(p.message, sizeof p.message, format, args);
  va_end(args);
}

void take(const Outcome& outcome) {
  Preview& p = preview();
  p.result = outcome.code;
  std::snprintf(p.message, sizeof p.message, "%s", outcome.code == 0 ? "" : outcome.message);
}

void release() {
  Preview& p = preview();
  p.image.reset();
  std::vector<uint8_t>().swap(p.png);
  p.encoded = false;
}

// Encodes the image unless that was done already. False (with the outcome
// recorded) when it cannot be.
bool ensure_encoded(const char* call) {
  Preview& p = preview();
  if (!p.image) {
    fail(PNGPREVIEW_E_NOIMAGE, "PNG preview: %s without an image (png_init missing or failed)", call);
    return false;
  }
  if (p.encoded) return true;
  p.image->Finish();
  const Outcome outcome = pngpreview::encode_png(*p.image, p.png);
  if (outcome.code != 0) {
    take(outcome);
    return false;
  }
  if (p.png.size() >= static_cast<std::size_t>(INT_MAX)) {
    std::vector<uint8_t>().swap(p.png);
    fail(PNGPREVIEW_E_ENCODE, "PNG preview: the encoded image is too large");
    return false;
  }
  p.encoded = true;
  return true;
}

}  // namespace

extern "C" {

PNGPREVIEW_API void png_init(int height, int width, int bps, int reserved) {
  release();
  if (height <= 0 || width <= 0) {
    fail(PNGPREVIEW_E_ARGUMENT, "PNG preview: page size %d x %d pixels is not positive", width, height);
    return;
  }
  if (bps != 1) {
    fail(PNGPREVIEW_E_ARGUMENT, "PNG preview: %d bits per pixel; only 1 is supported", bps);
    return;
  }
  if (reserved != 0) {
    fail(PNGPREVIEW_E_ARGUMENT, "PNG preview: reserved argument %d must be 0", reserved);
    return;
  }
  try {
    preview().image = std::make_unique<PreviewImage>(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
  } catch (const std::bad_alloc&) {
    fail(PNGPREVIEW_E_MEMORY, "PNG preview: no memory for the preview of a %d x %d page", width, height);
    return;
  }
  succeed();
}

PNGPREVIEW_API void png_setNextLine(const uint32_t* data) {
  Preview& p = preview();
  if (!p.image) {
    fail(PNGPREVIEW_E_NOIMAGE, "PNG preview: png_setNextLine without an image (png_init missing or failed)");
    return;
  }
  p.image->AddLine(reinterpret_cast<const uint8_t*>(data));
  if (data == nullptr) {
    fail(PNGPREVIEW_E_ARGUMENT, "PNG preview: null scanline, taken as empty");
    return;
  }
  succeed();
}

PNGPREVIEW_API void png_rescale(int value) {
  Preview& p = preview();
  if (!p.image) {
    fail(PNGPREVIEW_E_NOIMAGE, "PNG preview: png_rescale without an image (png_init missing or failed)");
    return;
  }
  if (p.encoded) {
    fail(PNGPREVIEW_E_STATE, "PNG preview: png_rescale after the PNG was encoded; size kept");
    return;
  }
  try {
    p.image->Rescale(value);
  } catch (const std::bad_alloc&) {
    fail(PNGPREVIEW_E_MEMORY, "PNG preview: no memory to rescale the preview to %d pixels; kept at %u x %u",
         value, p.image->Width(), p.image->Height());
    return;
  }
  succeed();
}

PNGPREVIEW_API int png_getSizeOfPng(void) {
  if (!ensure_encoded("png_getSizeOfPng")) return 0;
  succeed();
  return static_cast<int>(preview().png.size() + 1);
}

PNGPREVIEW_API void png_write(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    fail(PNGPREVIEW_E_ARGUMENT, "PNG preview: png_write without a file name");
    return;
  }
  if (!ensure_encoded("png_write")) return;
  take(pngpreview::write_file(path, preview().png));
}

PNGPREVIEW_API void png_cleanUp(void) {
  release();
  succeed();
}

PNGPREVIEW_API int png_lastresult(void) { return preview().result; }

PNGPREVIEW_API const char* png_lasterror(void) { return preview().message; }

}  // extern "C"
