// exports_test.cpp - in a process that has both libpng and the preview
// library loaded, each png_ name resolves to the library that owns it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <png.h>

#include <string>

#include "pngpreview.h"

namespace {

// File name of the object that defines symbol in the global scope.
std::string owner_of(const char* symbol) {
  void* address = ::dlsym(RTLD_DEFAULT, symbol);
  Dl_info info{};
  if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
}

TEST(PngPreviewSymbols, OursAndLibpngsStayApart) {
  // Referenced so the test links both libraries.
  EXPECT_NE(png_get_libpng_ver(nullptr), nullptr);
  png_cleanUp();
  for (const char* ours : {"png_init", "png_setNextLine", "png_rescale", "png_getSizeOfPng", "png_write",
                           "png_cleanUp", "png_lastresult", "png_lasterror"}) {
    EXPECT_NE(owner_of(ours).find("libdravpngpreview.so"), std::string::npos) << ours;
  }
  for (const char* theirs : {"png_create_write_struct", "png_write_row", "png_write_end", "png_set_IHDR"}) {
    EXPECT_NE(owner_of(theirs).find("libpng"), std::string::npos) << theirs;
  }
  // Nothing of the library's own insides is visible.
  EXPECT_EQ(::dlsym(RTLD_DEFAULT, "_ZN10pngpreview10encode_pngERKNS_12PreviewImageERSt6vectorIhSaIhEE"), nullptr);
}

}  // namespace
