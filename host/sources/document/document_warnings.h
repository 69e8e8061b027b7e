// document_warnings.h - what prepress must know about a document's pages
// before they become plates: fonts Ghostscript substitutes, and colour
// that is neither CMYK nor a spot colour.
//
// Found while the document is looked at (document_probe.h), reported as
// warnings when each page is run (the run goes on: the page comes out as
// Ghostscript renders it):
//
//   riphost: warning: doc.pdf: page 2: font Arial is not embedded; Ghostscript substitutes NimbusSans-Regular
//   riphost: warning: doc.pdf: page 2: RGB colour is converted to CMYK by Ghostscript's default conversion
//
// Fonts. A PDF runs once more through Ghostscript's PDF interpreter on the
// null device, not quietly, for its lines "Loading font NAME (or
// substitute) from FILE" (and "Loading CIDFont NAME substitute from FILE"),
// each after the "Page N" line of the page it is met on; Ghostscript loads
// a font once per run, so a later page that selects the same font gets
// the warning too. A PostScript program or EPS
// file is watched while the page count runs: each findfont (or
// selectfont) of a font the program did not define itself (with definefont
// or defineresource) is a font of Ghostscript's, a clone of the font or a
// substitute for it (the FullName of the font Ghostscript gives).
//
// Colour. Grey (DeviceGray, CalGray, one-component ICC) goes to the black
// plate as it is, CMYK, Separation and DeviceN are separated: no warning.
// RGB (DeviceRGB, CalRGB, three-component ICC, an Indexed space on one)
// and Lab are converted to CMYK by Ghostscript's default colour
// conversion. A PDF page uses them when its content sets RGB colour (rg,
// RG), selects such a colour space (cs, CS, an inline image's), or paints
// an image, a shading or a pattern in one, also in the forms and patterns
// it paints (8 levels deep); a content stream is read up to its first
// inline image, whose data cannot be read as tokens. A PDF page's fonts
// are those its content selects (Tf), there too. A PostScript page uses them when it calls
// setrgbcolor, sethsbcolor, colorimage with three components, or
// setcolorspace with such a space.
#ifndef RIPHOST_DOCUMENT_WARNINGS_H
#define RIPHOST_DOCUMENT_WARNINGS_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sources/document/document_limits.h"

#include "common/message.h"

namespace riphost {

struct FontSubstitution {
  int page = 0;
  std::string font;        // as the document names it
  std::string substitute;  // the font Ghostscript uses
  bool operator==(const FontSubstitution&) const = default;
};

struct PageColours {
  int page = 0;
  bool rgb = false;
  bool lab = false;
  bool operator==(const PageColours&) const = default;
};

struct DocumentWarnings {
  std::vector<FontSubstitution> fonts;  // one per font and page
  std::vector<PageColours> colours;     // pages with RGB or Lab colour
};

// The PostScript that watches a program's fonts and colours, in pieces for
// Ghostscript's command line (command_pieces), to run before the program;
// it prints lines postscript_warnings reads.
std::vector<std::string> postscript_watch();
DocumentWarnings postscript_warnings(std::string_view output);

// Reads the lines of a PDF's run on the null device, not quiet ("Page N",
// "Loading font ..."), and of the look at its pages' resources
// (pdf_resource_query): the fonts Ghostscript substitutes and the pages
// with RGB or Lab colour.
DocumentWarnings pdf_warnings(std::string_view font_run, std::string_view resources);

// The PostScript for Ghostscript's older PDF interpreter that prints, for
// each page of pages, the fonts and foreign colour its resources and
// content use; in pieces for the command line (command_pieces).
std::vector<std::string> pdf_resource_query(const std::vector<int>& pages);

// Runs both looks at the PDF file for pages, opened with password (empty:
// none) and bounded by limits as the document's other runs. A look that
// fails finds nothing (the document's own check reports what is wrong with
// it).
DocumentWarnings look_at_pdf(const std::filesystem::path& file, const std::vector<int>& pages,
                             const std::string& password, const DocumentLimits& limits);

// Reports the warnings of page (name: the document as the user named it).
void report_page_warnings(const DocumentWarnings& warnings, const std::string& name, int page, MessageSink& sink);

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_WARNINGS_H
