// pdf_references.h - the files outside a PDF that a page's content names.
//
// A PDF may keep a stream's data in another file (an external stream: /F in
// the stream's dictionary, with /FFilter and /FDecodeParms) or import a
// page of another document (a reference form: a form XObject's /Ref). A
// renderer that followed them would read files the customer never gave
// riphost; riphost reads none of them and warns about each. Private to the
// PDF structure reader (pdf_structure.cpp).
#ifndef RIPHOST_PDF_REFERENCES_H
#define RIPHOST_PDF_REFERENCES_H

#include <qpdf/QPDFObjectHandle.hh>

#include <vector>

#include "sources/document/pdf_structure.h"

namespace riphost {

// The external files named by what page draws: its content streams, its
// resources (resources: those it inherits when it has none of its own)
// and what they use in turn (forms, patterns, fonts, soft masks,
// annotation appearances), each object once. Other pages, actions and the
// page's parents are not followed. Every object looked at takes one from
// budget; the look stops when it reaches 0.
std::vector<PdfFileReference> external_references(QPDFObjectHandle page, QPDFObjectHandle resources, long& budget);

}  // namespace riphost

#endif  // RIPHOST_PDF_REFERENCES_H
