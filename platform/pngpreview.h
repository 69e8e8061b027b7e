// pngpreview.h - the PNG preview library (libdravpngpreview.so): a small
// 8-bit grey PNG picture of one separation, built while its scanlines pass.
//
// One preview exists at a time; none of the calls carries a handle. The
// library keeps a reduced grid of the page, never the page itself: one byte
// per grid cell, at most 16 MiB for any page (10.8 MB for 130000 x 200000
// pixels), plus at most as much again for a moment while png_rescale works.
//
// Order of calls for one separation:
//
//   png_init(height, width, 1, 0)        once
//   png_setNextLine(row)                 once per scanline, top row first
//   png_rescale(value)                   optional, before png_getSizeOfPng
//   n = png_getSizeOfPng()               encodes the PNG in memory
//   png_write(path)                      writes those bytes to path
//   png_cleanUp()                        always, also after a failure
//
// Every call is safe in any order and any number of times: a call that has
// nothing to work on does nothing and reports it through png_lastresult (lines
// before png_init or after png_cleanUp, more lines than the height, png_write
// without an image, png_cleanUp twice). A png_init while an image exists
// releases it and starts over.
//
// The picture: each preview pixel's grey is the share of set (ink) pixels in
// the part of the page it covers, ink dark on white paper: 255 when none is
// set, 0 when all are, rounded to the nearest level. Rows come out as the
// host rendered them (top row first, left pixel first): the page reads right
// even when the raster file beside it is stored mirrored.
//
// The grid: the page is cut into square cells of f x f page pixels, with
// f = ceil(max(width, height) / 4096), so the grid's longer side has at most
// 4096 cells: ceil(width / f) x ceil(height / f) cells. Cells in the last
// column and row may be narrower or lower; their grey is the share of the page
// pixels they actually cover. Without png_rescale the PNG is this grid.
//
// Failures: the calls return nothing (the plug-in's calling contract), so
// each records its outcome, read with png_lastresult and png_lasterror right
// after the call. A png_write that fails leaves nothing behind: the file is
// removed again (or never created), so the caller sees no file at path, or at
// worst (the removal failing too) a file shorter than png_getSizeOfPng
// announced, which it must treat as cut.
//
// The library is not thread-safe: calls come from one thread at a time.
#ifndef PNGPREVIEW_H
#define PNGPREVIEW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PNGPREVIEW_API __attribute__((visibility("default")))

// Results of png_lastresult.
enum PngPreviewResult {
  PNGPREVIEW_OK = 0,
  PNGPREVIEW_E_ARGUMENT = -1,  // refused argument (size, bits per pixel, null pointer)
  PNGPREVIEW_E_NOIMAGE = -2,   // no image: png_init missing, failed or cleaned up
  PNGPREVIEW_E_STATE = -3,     // out of order: png_rescale after the PNG was encoded
  PNGPREVIEW_E_MEMORY = -4,    // memory exhausted
  PNGPREVIEW_E_ENCODE = -5,    // libpng could not encode the image
  PNGPREVIEW_E_WRITE = -6      // the file could not be created or written
};

// Starts the preview of a page of height scanlines of width pixels. bps is
// the bits per pixel of the scanlines and must be 1; reserved must be 0. A
// previous image is released first. Refused (no image afterwards) when height
// or width is not positive, bps is not 1, reserved is not 0 or the grid cannot
// be allocated.
PNGPREVIEW_API void png_init(int height, int width, int bps, int reserved);

// Adds the next scanline of the page. data holds one host scanline of
// ceil(width / 32) 32-bit words: 1-bit pixels packed into bytes, pixel x in
// bit (x % 8) of byte x / 8 (least significant bit first), the words in the
// machine's byte order; bits past width are ignored and data is only read.
// Lines past the page height, and lines after png_rescale or
// png_getSizeOfPng, are ignored (result 0). A null data counts as an empty
// line and is reported as an argument failure. Allocates nothing.
PNGPREVIEW_API void png_setNextLine(const uint32_t* data);

// Resamples the preview so that its longer side is value pixels, keeping the
// page's aspect ratio (the shorter side rounded to the nearest pixel, at least
// 1). Each new pixel is the area average of the grid cells it covers, each
// weighted by the area it covers of it, so its grey stays the share of set
// pixels (a cell cut by a pixel's edge counts as evenly inked). Lines not yet
// received count as white; no line is taken afterwards. Never enlarges: a
// value at or above the current longer side, or a value of 0 or below, leaves
// the image as it is (result 0).
// The plug-in calls it only when its option is not -1 (-1: the grid itself).
// Refused after png_getSizeOfPng or png_write (the announced size stands).
PNGPREVIEW_API void png_rescale(int value);

// Encodes the PNG in memory (on the first call; later calls and png_write use
// the same bytes) and returns a number strictly larger than the size of the
// file png_write writes (the encoded size + 1), so a reader that takes at most
// that many bytes and sees that many or more knows the file was cut. Returns 0
// when no image exists or encoding failed. Lines not yet received count as
// white; no line is taken afterwards.
PNGPREVIEW_API int png_getSizeOfPng(void);

// Writes the PNG (encoding it first when png_getSizeOfPng was not called) to
// path, a file name in the process's encoding (UTF-8). Creates the file or
// truncates an existing regular file (mode 0666 less the umask); does not
// sync it to disk. On failure path is removed again (nothing usable is left),
// and png_lastresult is negative. When there is no image, encoding fails or
// path is null or empty, path is not touched. A path that names something
// other than a regular file (a folder, a device, a pipe) is refused and left
// as it is.
PNGPREVIEW_API void png_write(const char* path);

// Releases the image, if any. Always safe, also twice or before png_init.
PNGPREVIEW_API void png_cleanUp(void);

// The outcome of the latest call above: PNGPREVIEW_OK (0) or a negative
// PngPreviewResult.
PNGPREVIEW_API int png_lastresult(void);

// Text describing the latest call's failure, or "" after a success. Valid
// until the next call of this library. Pass it on as a "%s" argument: it may
// quote a file name.
PNGPREVIEW_API const char* png_lasterror(void);

#ifdef __cplusplus
}
#endif

#endif  // PNGPREVIEW_H
