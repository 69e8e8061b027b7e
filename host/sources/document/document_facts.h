// document_facts.h - what riphost learns about a document before it runs it.
//
// A look at the document before any plug-in call (document_probe.h) gives
// its kind, its number of pages and, for a PDF, the boxes and spot colours
// of the pages a job takes. Rendering (page_renderer.h) fills in the rest:
// the size in pixels and the inks of each page.
#ifndef RIPHOST_DOCUMENT_FACTS_H
#define RIPHOST_DOCUMENT_FACTS_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sources/document/document_warnings.h"
#include "sources/document/document_limits.h"

namespace riphost {

enum class DocumentKind { Pdf, PostScript, Eps };

// "PDF", "PostScript", "EPS".
const char* document_kind_name(DocumentKind kind) noexcept;

// A rectangle in points (1/72 inch) of the document's user space.
struct PageBox {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double width() const noexcept { return x1 > x0 ? x1 - x0 : x0 - x1; }
  double height() const noexcept { return y1 > y0 ? y1 - y0 : y0 - y1; }
};

// Which box of a PDF page gives the size of the plate.
enum class PageBoxChoice { Media, Trim };

struct DocumentPageFacts {
  int number = 0;  // from 1
  PageBox media;
  std::optional<PageBox> trim;
  int rotate = 0;  // 0, 90, 180 or 270
  // Points per unit of the page's boxes (a PDF page's UserUnit; 1 unless
  // the page says otherwise): the page's true size is its box times this.
  double user_unit = 1.0;
  // The spot colours the page uses, as the document names them.
  std::vector<std::string> spots;
  // Ghostscript finds transparency on the page (PDF).
  bool transparency = false;
  // The page's own XMP packet (PDF page Metadata); empty when none.
  std::string xmp;
  // What the run should warn about when it takes the page, each a whole
  // message naming the document and the page (a file outside the document
  // the page refers to, which is not read).
  std::vector<std::string> warnings;
};

struct DocumentFacts {
  std::filesystem::path file;  // absolute
  std::string name;            // as the user gave it, for messages
  DocumentKind kind = DocumentKind::Pdf;
  int page_count = 0;
  // PDF: the pages looked at (those a job takes), in ascending order.
  std::vector<DocumentPageFacts> pages;
  // The document's XMP packet (the PDF catalog's Metadata); empty when none.
  std::string xmp;
  // PostScript and EPS: the spot colours the program uses, on any page, in
  // the order it first uses them.
  std::vector<std::string> spots;
  // The password that opens an encrypted PDF (given by the user; empty:
  // none). Every Ghostscript run of the document is given it; it is never
  // printed.
  std::string password;
  // The document sets overprint (a PDF) or names an overprint or
  // transparency operator (PostScript) somewhere (document_marks.h).
  bool overprint_or_transparency = false;
  // Fonts Ghostscript substitutes and pages with RGB or Lab colour, for the
  // warnings of each page (document_warnings.h).
  DocumentWarnings warnings;
  // The memory and time every Ghostscript run for the document may take
  // (those it was looked at with).
  DocumentLimits limits;

  // The facts of page number (PDF), or null.
  const DocumentPageFacts* page(int number) const noexcept;
};

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_FACTS_H
