// ticket_document.h - jobs and pages that take their pages from a document:
// "document", "pages" (a page list), "box", "password" (of an encrypted
// PDF), "ink_screens" and the document's copies and options. Private to
// host/ticket.
#ifndef RIPHOST_TICKET_DOCUMENT_H
#define RIPHOST_TICKET_DOCUMENT_H

#include <filesystem>
#include <string>
#include <vector>

#include "ticket/ticket.h"
#include "ticket/ticket_inks.h"
#include "ticket/ticket_paths.h"
#include "ticket/ticket_screens.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// Whether a job or page object names a document.
bool names_document(const Json& object);

// Keys a job that names a document may have beside the job's own.
extern const std::vector<std::string> kDocumentJobKeys;

// The pages of a job or page object that names a document: one page per
// page of the list, each a DocumentPageRef, with the object's "ncopies",
// "options" and "xmp" (a page object's). The document is looked at now
// (docs/documents.md): a document Ghostscript cannot read or a page beyond
// it is a problem of the ticket.
void read_document_pages(const Json& object, const std::string& where, const Places& places,
                         JobScreens& screens, XmpFiles& xmp_files, bool page_level, std::vector<Page>& pages,
                         Problems& problems);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_DOCUMENT_H
