// document_pages.h - the documents of the job being run.
//
// A job's pages may be pages of documents (ticket/document_spec.h). The
// driver asks for the session of a page's document; the session renders the
// job's pages of that document in the job's order. One session lives at a
// time (Ghostscript runs one instance in riphost's process): a page of
// another document ends the session before.
#ifndef RIPHOST_DOCUMENT_PAGES_H
#define RIPHOST_DOCUMENT_PAGES_H

#include <functional>
#include <memory>

#include "sources/document/document_session.h"
#include "ticket/ticket.h"

namespace riphost {

class DocumentPages {
 public:
  // stop: true once a stop signal came (see DocumentSession).
  DocumentPages(const Job& job, std::function<bool()> stop) : job_(job), stop_(std::move(stop)) {}

  // The session of the page's document.
  DocumentSession& session(const DocumentPageRef& page);

 private:
  const Job& job_;
  std::function<bool()> stop_;
  const DocumentSpec* spec_ = nullptr;
  std::unique_ptr<DocumentSession> session_;
};

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_PAGES_H
