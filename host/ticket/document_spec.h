// document_spec.h - a document a job takes its pages from, as the ticket (or
// the command line) describes it.
//
// A page of such a job has no separations of its own: riphost renders the
// document page and makes one separation per ink. The ticket tells which
// document, which box gives the page size, and which screen and transfer
// curve each ink takes (by ink name; process inks and spot colours have
// defaults).
#ifndef RIPHOST_DOCUMENT_SPEC_H
#define RIPHOST_DOCUMENT_SPEC_H

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sources/document/document_facts.h"
#include "ticket/screen_spec.h"

namespace riphost {

// An ink named in the ticket and the job screen it takes.
struct DocumentInkScreen {
  std::string ink;  // compared without regard to case
  std::size_t screen = 0;
};

// An ink named in the ticket and its own transfer curve; the ink "*"
// stands for every ink the ticket does not name.
struct DocumentInkCurve {
  std::string ink;  // compared without regard to case
  TransferCurve curve;
};
inline constexpr const char* kAnyInk = "*";

struct DocumentSpec {
  std::string where;  // "jobs[0].document"
  std::shared_ptr<const DocumentFacts> facts;
  PageBoxChoice box = PageBoxChoice::Media;
  std::vector<DocumentInkScreen> ink_screens;
  // The screens of inks the ticket does not name: Cyan, Magenta, Yellow,
  // Black, and every spot colour (indexes into the job's screens).
  std::array<std::size_t, 4> process_screens{};
  std::size_t spot_screen = 0;

  std::vector<DocumentInkCurve> ink_transfer;

  // The job screen of an ink.
  std::size_t screen_of(const std::string& ink) const;
  // The transfer curve of an ink: the one named for it, else the one of
  // "*", else none (empty).
  TransferCurve transfer_of(const std::string& ink) const;
};

// A page of a job that is a page of a document.
struct DocumentPageRef {
  std::shared_ptr<const DocumentSpec> spec;
  int number = 0;  // the page's number in the document
};

// The process inks in plate order, as Ghostscript names them.
inline constexpr std::array<const char*, 4> kProcessInks = {"Cyan", "Magenta", "Yellow", "Black"};

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_SPEC_H
