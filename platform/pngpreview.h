// pngpreview.h - the PNG preview library: one preview image at a time.
//
// png_init starts an image, png_setNextLine adds its scanlines in order,
// png_rescale scales it, png_getSizeOfPng announces an upper bound of the PNG
// file's size, png_write writes the file, png_cleanUp releases the image.
// None of the calls carries a handle.
#ifndef PNGPREVIEW_H
#define PNGPREVIEW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PNGPREVIEW_API __attribute__((visibility("default")))

// Starts the preview of a page of height scanlines and width pixels at bps
// bits per pixel; reserved must be 0.
PNGPREVIEW_API void png_init(int height, int width, int bps, int reserved);
// Adds the next scanline, read as 32-bit words in the layout of the host's
// scanline buffer (pixel j of each byte in bit j).
PNGPREVIEW_API void png_setNextLine(const uint32_t* data);
// Rescales the image to value pixels per inch of preview.
PNGPREVIEW_API void png_rescale(int value);
// Size in bytes that the PNG file written next will stay below.
PNGPREVIEW_API int png_getSizeOfPng(void);
// Writes the PNG file path (UTF-8).
PNGPREVIEW_API void png_write(const char* path);
// Ends the current image and releases it.
PNGPREVIEW_API void png_cleanUp(void);

#ifdef __cplusplus
}
#endif

#endif  // PNGPREVIEW_H
