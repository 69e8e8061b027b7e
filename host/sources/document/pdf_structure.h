// pdf_structure.h - a PDF's structure, read before Ghostscript runs it.
//
// A customer's PDF is untrusted input. Before Ghostscript renders anything
// riphost reads the document's structure with qpdf (a library built for
// broken and hostile files: it repairs damaged cross-reference tables, reads
// object streams and encryption, and loads objects only as they are asked
// for): whether it is encrypted and opens with the password given, the page
// tree (a loop, a page reached twice, a tree deeper than kMaxPageTreeDepth
// or a /Kids entry that is no page is refused), and for the pages a job
// takes their boxes (an array of four finite numbers enclosing an area, at
// most kMaxPageSide points a side with the UserUnit), rotation, UserUnit
// and the files outside the document their content names (an external
// stream's /F, a reference form's /Ref), which are never read. Every
// problem is found here, before the plug-in is loaded, as a HostError
// naming the file and the page.
#ifndef RIPHOST_PDF_STRUCTURE_H
#define RIPHOST_PDF_STRUCTURE_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/host_error.h"
#include "sources/document/document_facts.h"
#include "sources/document/page_list.h"

namespace riphost {

// Deepest page tree riphost follows (PDF writers make trees a few levels deep).
inline constexpr int kMaxPageTreeDepth = 64;
// Largest side of a page, in points after the UserUnit: a box beyond it is
// garbage rather than a page (200 inches, the largest page PDF allows
// without a UserUnit, is 14400).
inline constexpr double kMaxPageSide = 1.0e7;
// Most objects looked at for external file references in all pages
// together; beyond that the look stops (a warning says so).
inline constexpr long kMaxObjectsLookedAt = 200000;

// A file outside the document that a page's content names.
struct PdfFileReference {
  std::string what;  // "an image", "a form", "a font", "a stream", "a reference form"
  std::string file;  // as the document names it
};

struct PdfPageStructure {
  int number = 0;  // from 1
  PageBox media;
  std::optional<PageBox> trim;  // absent when the page has none (or one that is no rectangle)
  int rotate = 0;               // 0, 90, 180 or 270
  double user_unit = 1.0;
  std::vector<PdfFileReference> external;
};

struct PdfStructure {
  bool encrypted = false;
  int page_count = 0;
  std::vector<PdfPageStructure> pages;  // the pages of the list, ascending
  // The look for external file references stopped early (kMaxObjectsLookedAt).
  bool references_incomplete = false;
};

// qpdf cannot read the file at all (not a password or page tree problem):
// the message is qpdf's.
class PdfUnreadable : public HostError {
 public:
  using HostError::HostError;
};

// Reads the structure of file (name: as the user gave it, for messages).
// password opens an encrypted document (empty: none given). Throws
// PdfUnreadable when qpdf cannot read the file, HostError for a document
// that needs another password, a broken page tree, a page beyond the
// document or a page box that is no page size.
PdfStructure read_pdf_structure(const std::filesystem::path& file, const std::string& name,
                                const std::string& password, const PageList& pages);

// The warning for an external file reference of a page.
std::string external_file_warning(const std::string& name, int page, const PdfFileReference& reference);

}  // namespace riphost

#endif  // RIPHOST_PDF_STRUCTURE_H
