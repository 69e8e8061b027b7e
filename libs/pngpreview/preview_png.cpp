// preview_png.cpp - libpng encoding into memory and the file write.
#include "preview_png.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "pngpreview.h"

namespace pngpreview {
namespace {

[[gnu::format(printf, 3, 4)]] void set_outcome(Outcome& outcome, int code, const char* format, ...) {
  outcome.code = code;
  va_list args;
  va_start(args, format);
  std::vsnprintf(outcome.message, sizeof outcome.message, format, args);
  va_end(args);
}

// strerror_r in either of its two forms (GNU returns the text, POSIX fills
// the buffer).
[[maybe_unused]] const char* error_text(char* result, char*) { return result; }
[[maybe_unused]] const char* error_text(int, char* buffer) { return buffer; }

const char* describe_errno(int err, char* buffer, std::size_t size) {
  buffer[0] = '\0';
  return error_text(strerror_r(err, buffer, size), buffer);
}

struct EncodeContext {
  std::vector<uint8_t>* out = nullptr;
  char message[256] = {};
};

// libpng reports errors here; control goes back to the setjmp in
// write_image.
[[noreturn]] void on_error(png_structp png, png_const_charp text) {
  auto* context = static_cast<EncodeContext*>(png_get_error_ptr(png));
  if (context != nullptr) std::snprintf(context->message, sizeof context->message, "%s", text);
  png_longjmp(png, 1);
}

// Warnings are of no use to the caller; a library prints nothing.
void on_warning(png_structp, png_const_charp) {}

void on_write(png_structp png, png_bytep data, size_t length) {
  auto* context = static_cast<EncodeContext*>(png_get_io_ptr(png));
  bool stored = true;
  try {
    context->out->insert(context->out->end(), data, data + length);
  } catch (...) {
    stored = false;
  }
  // png_error leaves by longjmp, so it must not run inside the handler.
  if (!stored) png_error(png, "out of memory");
}

void on_flush(png_structp) {}

// Everything between setjmp and the libpng calls is trivially destructible,
// so a longjmp out of libpng skips no destructor.
bool write_image(png_structp png, png_infop info, const PreviewImage& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, image.Width(), image.Height(), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Fastest Deflate: half the time of the default level for a file a tenth
  // larger, which suits a preview made for every separation.
  png_set_compression_level(png, Z_BEST_SPEED);
  png_write_info(png, info);
  for (uint32_t y = 0; y < image.Height(); ++y) png_write_row(png, image.Row(y));
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

Outcome encode_png(const PreviewImage& image, std::vector<uint8_t>& out) {
  Outcome outcome;
  out.clear();
  EncodeContext context;
  context.out = &out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, on_error, on_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    set_outcome(outcome, PNGPREVIEW_E_MEMORY, "PNG preview: no memory for the PNG encoder");
    return outcome;
  }
  png_set_write_fn(png, &context, on_write, on_flush);
  const bool written = write_image(png, info, image);
  png_destroy_write_struct(&png, &info);
  if (!written) {
    const bool memory = std::strcmp(context.message, "out of memory") == 0;
    set_outcome(outcome, memory ? PNGPREVIEW_E_MEMORY : PNGPREVIEW_E_ENCODE,
                "PNG preview: cannot encode the %u x %u image: %s", image.Width(), image.Height(),
                context.message);
    out.clear();
  }
  return outcome;
}

Outcome write_file(const char* path, const std::vector<uint8_t>& bytes) {
  Outcome outcome;
  char reason[256];
  // O_NONBLOCK: a pipe without a reader fails at once instead of hanging
  // (it is refused below anyway).
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) {
    const int err = errno;
    set_outcome(outcome, PNGPREVIEW_E_WRITE, "PNG preview: cannot create %s: %s", path,
                describe_errno(err, reason, sizeof reason));
    return outcome;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    set_outcome(outcome, PNGPREVIEW_E_WRITE, "PNG preview: %s is not a regular file", path);
    return outcome;
  }
  const uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) {
      err = ENOSPC;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // close reports delayed write errors (network file systems, quotas).
  if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err != 0) {
    ::unlink(path);
    set_outcome(outcome, PNGPREVIEW_E_WRITE, "PNG preview: cannot write %s: %s", path,
                describe_errno(err, reason, sizeof reason));
  }
  return outcome;
}

}  // namespace pngpreview
