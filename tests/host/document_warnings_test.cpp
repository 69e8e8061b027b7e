// Reading what Ghostscript says about a document's fonts and colours into
// warnings per page, and how they are worded.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/message.h"
#include "sources/document/document_warnings.h"

namespace riphost {
namespace {

TEST(DocumentWarnings, FontsAreNamedOnEveryPageThatSelectsThem) {
  // Ghostscript loads Arial once, on page 2; page 5 selects it again.
  const std::string run =
      "GPL Ghostscript 10.0.0 (2022-09-21)\nProcessing pages 2,5.\nPage 2\n"
      "Loading font Arial (or substitute) from /usr/share/ghostscript/10.00.0/Resource/Font/NimbusSans-Regular\n"
      "Loading CIDFont MS-Mincho substitute from /usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf\n"
      "Page 5\nLoading font (or substitute) from nowhere\n";
  const std::string look = "RIPHOST-PAGE 2\nRIPHOST-FONT 417269616c\nRIPHOST-COLOUR RGB\n"
                           "RIPHOST-PAGE 5\nRIPHOST-FONT 417269616c\nRIPHOST-FONT 4f776e\nRIPHOST-COLOUR Lab\n"
                           "RIPHOST-COLOUR RGB\nRIPHOST-COLOUR CMYK\n";
  const DocumentWarnings warnings = pdf_warnings(run, look);
  const std::vector<FontSubstitution> fonts = {{2, "Arial", "NimbusSans-Regular"},
                                               {2, "MS-Mincho", "DroidSansFallbackFull.ttf"},
                                               {5, "Arial", "NimbusSans-Regular"}};
  EXPECT_EQ(warnings.fonts, fonts);
  const std::vector<PageColours> colours = {{2, true, false}, {5, true, true}};
  EXPECT_EQ(warnings.colours, colours);
  // PostScript: the watch's lines, a font's names in hexadecimal.
  const DocumentWarnings program = postscript_warnings(
      "RIPHOST-FONT 1 466f6f 4e696d627573204d6f6e6f\nRIPHOST-COLOUR 3 RGB\nRIPHOST-FONT 1 466f6f 4e696d627573204d6f6e6f\n"
      "Hello from the program\nRIPHOST-COLOUR 0 RGB\n");
  EXPECT_EQ(program.fonts, (std::vector<FontSubstitution>{{1, "Foo", "Nimbus Mono"}}));
  EXPECT_EQ(program.colours, (std::vector<PageColours>{{3, true, false}}));
}

TEST(DocumentWarnings, EachPageGetsItsOwnLines) {
  DocumentWarnings warnings;
  warnings.fonts = {{1, "Arial %s %n", "NimbusSans-Regular"}, {2, "Times", "NimbusRoman-Regular"}};
  warnings.colours = {{1, true, true}, {2, false, true}};
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* err = open_memstream(&text, &size);
  {
    MessageSink sink(stdout, err, Verbosity::Normal);
    report_page_warnings(warnings, "doc.pdf", 1, sink);
  }
  std::fclose(err);
  EXPECT_EQ(std::string(text, size),
            "riphost: warning: doc.pdf: page 1: font Arial %s %n is not embedded; Ghostscript substitutes "
            "NimbusSans-Regular\n"
            "riphost: warning: doc.pdf: page 1: RGB and Lab colour are converted to CMYK by Ghostscript's default "
            "colour conversion\n");
  std::free(text);
}

}  // namespace
}  // namespace riphost
