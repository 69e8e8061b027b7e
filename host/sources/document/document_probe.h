// document_probe.h - a first look at a document, before any plug-in call.
//
// riphost checks a document as it checks a ticket: before it loads the
// plug-in it makes sure Ghostscript can read the document, that the pages a
// job asks for exist, and (PDF) that each page's spot colours fit. Problems
// found here stop the run with exit status 2 and nothing written.
//
//   PDF         Its structure is read first (pdf_structure.h: encryption,
//               page tree, the boxes, rotation and UserUnit of the pages the
//               job takes, files outside it); then Ghostscript's PDF
//               interpreter answers a query: the number of pages, and for
//               the pages the job takes the spot colours their resources
//               use and whether they have transparency.
//   PostScript  The program runs once at a low resolution, nothing kept:
//               its pages are counted, the spot colours it uses are
//               gathered, and a PostScript error is found with the page it
//               happened on.
//   EPS         As PostScript; an EPS file is one page, cropped to its
//               bounding box.
#ifndef RIPHOST_DOCUMENT_PROBE_H
#define RIPHOST_DOCUMENT_PROBE_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sources/document/document_facts.h"
#include "sources/document/page_list.h"

namespace riphost {

// The kind of a document told by its first bytes (up to 8192): a PDF holds
// "%PDF-" in the first 1024; PostScript starts with "%!" ("%!PS-Adobe-3.0 EPSF-3.0":
// EPS) or another comment, after any Ctrl-D, blanks and PJL job header; a
// DOS EPS file starts with its binary header. Nothing for anything else
// (a ticket).
std::optional<DocumentKind> document_kind(std::string_view head);

// The kind of a document file, told by its first bytes. Throws HostError (the
// file's name first) when it cannot be read or is none of the three.
DocumentKind sniff_document(const std::filesystem::path& file, const std::string& name);

// Looks at the document: kind, number of pages, and for a PDF the facts of
// the pages of the list. Throws HostError naming the file (and the page when
// the trouble lies in one) with Ghostscript's own error line: a document
// Ghostscript cannot read, a PostScript error, a page beyond the document,
// a page (a PostScript program) with more spot colours than kMaxSpotColours
// (ink_passes.h).
// password opens an encrypted PDF (never printed); a PDF that needs one
// and gets none or a wrong one is refused, saying so. Its structure is
// checked first (pdf_structure.h): a broken page tree or a page box that
// is no page size is refused; a file outside the document that a page
// refers to becomes a warning of the page. limits bound every Ghostscript
// run for the document (kept in the facts); a run past the memory limit
// throws DocumentLimitError, one past the time limit ends riphost
// (page_watch.h).
DocumentFacts probe_document(const std::filesystem::path& file, const std::string& name, const PageList& pages,
                             const std::string& password = {}, const DocumentLimits& limits = {});

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_PROBE_H
