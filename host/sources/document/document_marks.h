// document_marks.h - does a document draw what the display device cannot?
//
// Ghostscript's display device, as riphost drives it, renders neither
// transparency nor overprint (separation_planes.h); pages that use either
// are rendered by Ghostscript's separation device instead. Ghostscript
// tells for each PDF page whether it uses transparency (document_probe.h);
// overprint it does not tell, and a PostScript program tells nothing before
// it runs. So the document's bytes are looked at: a PDF that sets overprint
// in a graphics state (`/OP true`, `/op true`), a PostScript program that
// names an overprint or transparency operator (or sets /PageSpotColors,
// which leaves the display device's plates empty). A PDF's compressed object
// streams are inflated and looked at too (one that cannot be read counts as
// overprint). A match in a comment or a string only costs time.
#ifndef RIPHOST_DOCUMENT_MARKS_H
#define RIPHOST_DOCUMENT_MARKS_H

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "sources/document/document_facts.h"

namespace riphost {

// Whether the text names what needs the separation device (text: a piece
// of a document of kind).
bool names_overprint_or_transparency(std::string_view text, DocumentKind kind) noexcept;

// The same for a whole file, read in pieces; false when it cannot be read.
bool document_needs_separation_device(const std::filesystem::path& file, DocumentKind kind);

// Whether page number of a looked-at document goes to the separation
// device: the document's bytes say so, or Ghostscript found transparency
// on the page.
bool page_needs_separation_device(const DocumentFacts& facts, int number) noexcept;

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_MARKS_H
