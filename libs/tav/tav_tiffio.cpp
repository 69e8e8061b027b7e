// tav_tiffio.cpp - libtiff handles with captured messages, and the
// definition of the TAV directory tag.
#include "tav_tiffio.h"

#include <cstdarg>
#include <cstdio>

#include "tav_layout.h"

namespace tav {
namespace {

// Formats a libtiff message as "module: text".
std::string FormatMessage(const char* module, const char* fmt, va_list ap) {
  char text[1024];
  std::vsnprintf(text, sizeof text, fmt, ap);
  std::string out;
  if (module != nullptr && module[0] != '\0') {
    out = module;
    out += ": ";
  }
  out += text;
  return out;
}

// libtiff error handler: keeps the text and stops the global handler.
int OnError(TIFF*, void* user_data, const char* module, const char* fmt, va_list ap) {
  auto* messages = static_cast<TiffMessages*>(user_data);
  messages->error_seen = true;
  try {
    messages->last_error = FormatMessage(module, fmt, ap);
  } catch (...) {
    // Out of memory while formatting: the flag alone marks the failure.
  }
  return 1;
}

// libtiff warning handler: drops the warning, which would otherwise go to
// the global handler and be printed.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

char kDirectoryTagName[] = "TAVDirectory";

const TIFFFieldInfo kDirectoryField[] = {
    {kDirectoryTiffTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM,
     /*field_oktochange=*/1, /*field_passcount=*/1, kDirectoryTagName},
};

}  // namespace

// The last error with the file name dropped from its front.
std::string TiffMessages::ErrorAbout(const std::string& path) const {
  const std::string prefix = path + ": ";
  if (last_error.compare(0, prefix.size(), prefix) == 0) return last_error.substr(prefix.size());
  return last_error;
}

// Opens a TIFF file with per-handle message handlers.
TIFF* OpenTiff(const char* path, const char* mode, TiffMessages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) {
    messages.error_seen = true;
    messages.last_error = "out of memory";
    return nullptr;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &messages);
  TIFF* tif = TIFFOpenExt(path, mode, options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr && messages.last_error.empty()) messages.last_error = "cannot open the file";
  return tif;
}

// Merges the directory tag's definition into the handle.
bool DefineDirectoryTag(TIFF* tif) {
  if (TIFFMergeFieldInfo(tif, kDirectoryField, 1) != 0) return false;
  const TIFFField* field = TIFFFindField(tif, kDirectoryTiffTag, TIFF_ANY);
  return field != nullptr && TIFFFieldDataType(field) == TIFF_UNDEFINED &&
         TIFFFieldPassCount(field) && TIFFFieldReadCount(field) == TIFF_VARIABLE2;
}

// Checks how the handle reads the directory tag.
bool DirectoryTagReadable(TIFF* tif) {
  const TIFFField* field = TIFFFindField(tif, kDirectoryTiffTag, TIFF_ANY);
  if (field == nullptr) return false;
  const TIFFDataType type = TIFFFieldDataType(field);
  return (type == TIFF_UNDEFINED || type == TIFF_BYTE) && TIFFFieldPassCount(field) &&
         TIFFFieldReadCount(field) == TIFF_VARIABLE2;
}

}  // namespace tav
