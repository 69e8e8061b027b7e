// ticket_document.cpp - reading a document's pages from a job or a page.
#include "ticket/ticket_document.h"

#include "common/host_error.h"
#include "sources/document/document_probe.h"
#include "ticket/document_screens.h"
#include "ticket/ticket_options.h"
#include "ticket/ticket_paths.h"
#include "ticket/ticket_transfer.h"

namespace riphost::reading {

namespace fs = std::filesystem;

const std::vector<std::string> kDocumentJobKeys = {"document", "box", "password", "ink_screens", "ink_transfer",
                                                   "ncopies"};

bool names_document(const Json& object) { return object.is_object() && member(object, "document") != nullptr; }

namespace {

PageBoxChoice read_box(const Json& object, const std::string& where) {
  const Json* box = member(object, "box");
  if (!box) return PageBoxChoice::Media;
  const std::string text = to_text(*box, place(where, "box"));
  if (text == "media") return PageBoxChoice::Media;
  if (text == "trim") return PageBoxChoice::Trim;
  throw HostError(place(where, "box") + ": expected \"media\" or \"trim\", found \"" + text + "\"");
}

// "ink_screens": {"PANTONE 185 C": "S133", ...}, screens of the job.
void read_ink_screens(const Json& object, const std::string& where, const JobScreens& screens, DocumentSpec& spec,
                      Problems& problems) {
  const Json* inks = member(object, "ink_screens");
  if (!inks) return;
  const std::string at = place(where, "ink_screens");
  if (!problems.attempt([&] { require_object(*inks, at); })) return;
  for (const auto& [ink, value] : inks->items()) {
    problems.attempt([&] {
      const std::string name = to_text(value, place(at, ink));
      for (std::size_t i = 0; i < screens.screens->size(); ++i) {
        if ((*screens.screens)[i].name == name) {
          spec.ink_screens.push_back(DocumentInkScreen{ink, i});
          return;
        }
      }
      throw HostError(place(at, ink) + ": no screen called \"" + name + "\" in the job");
    });
  }
}

// "ink_transfer": {"Cyan": [[0, 0], [50, 40], [100, 100]], "*": ...}: each
// ink's own transfer curve, "*" for the inks not named.
void read_ink_transfer(const Json& object, const std::string& where, DocumentSpec& spec, Problems& problems) {
  const Json* inks = member(object, "ink_transfer");
  if (!inks) return;
  const std::string at = place(where, "ink_transfer");
  if (!problems.attempt([&] { require_object(*inks, at); })) return;
  for (const auto& [ink, value] : inks->items()) {
    problems.attempt([&] {
      spec.ink_transfer.push_back(DocumentInkCurve{ink, read_transfer_curve(value, place(at, ink))});
    });
  }
}

// The document and its look before the run; null when it has a problem.
std::shared_ptr<const DocumentFacts> read_facts(const Json& object, const std::string& where,
                                                const Places& places, PageList& list, Problems& problems) {
  std::shared_ptr<const DocumentFacts> facts;
  problems.attempt([&] {
    const std::string text = to_text(required(object, where, "document"), place(where, "document"));
    const fs::path file = existing_file(places, text, place(where, "document"));
    if (const Json* pages = member(object, "pages")) list = PageList::parse(to_text(*pages, place(where, "pages")));
    // "password": opens an encrypted PDF.
    const Json* password = member(object, "password");
    const std::string secret = password ? to_text(*password, place(where, "password")) : std::string();
    try {
      facts = std::make_shared<const DocumentFacts>(probe_document(file, text, list, secret, places.document_limits));
    } catch (const HostError& problem) {
      throw HostError(place(where, "document") + ": " + problem.what());
    }
  });
  return facts;
}

}  // namespace

void read_document_pages(const Json& object, const std::string& where, const Places& places, JobScreens& screens,
                         XmpFiles& xmp_files, bool page_level, std::vector<Page>& pages, Problems& problems) {
  auto spec = std::make_shared<DocumentSpec>();
  spec->where = place(where, "document");
  PageList list;
  spec->facts = read_facts(object, where, places, list, problems);
  problems.attempt([&] { spec->box = read_box(object, where); });
  choose_document_screens(*screens.screens, kDocumentRuling, *spec);
  read_ink_screens(object, where, screens, *spec, problems);
  read_ink_transfer(object, where, *spec, problems);
  Page model;
  if (const Json* ncopies = member(object, "ncopies")) {
    problems.attempt([&] { model.ncopies = to_int(*ncopies, place(where, "ncopies"), 1, 9999); });
  }
  if (page_level) {
    if (const Json* options = member(object, "options")) model.options = read_options(*options, place(where, "options"), problems);
    read_page_xmp(object, where, places, xmp_files, model, problems);
  }
  if (!spec->facts) return;
  std::vector<int> numbers;
  problems.attempt([&] { numbers = list.pages(spec->facts->page_count); });
  for (int number : numbers) {
    Page page = model;
    page.where = where + " (" + spec->facts->name + " page " + std::to_string(number) + ")";
    page.document = std::make_shared<DocumentPageRef>(DocumentPageRef{spec, number});
    pages.push_back(std::move(page));
  }
}

}  // namespace riphost::reading
