// document_probe.cpp - asking Ghostscript about a document before running it.
#include "sources/document/document_probe.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>

#include "common/host_error.h"
#include "sources/document/device_guard.h"
#include "sources/document/document_marks.h"
#include "sources/document/document_warnings.h"
#include "sources/document/ghostscript_program.h"
#include "sources/document/ghostscript_session.h"
#include "sources/document/ink_passes.h"
#include "sources/document/pdf_structure.h"
#include "sources/document/page_watch.h"

namespace riphost {

namespace fs = std::filesystem;

const char* document_kind_name(DocumentKind kind) noexcept {
  switch (kind) {
    case DocumentKind::Pdf: return "PDF";
    case DocumentKind::PostScript: return "PostScript";
    case DocumentKind::Eps: return "EPS";
  }
  return "document";
}

const DocumentPageFacts* DocumentFacts::page(int number) const noexcept {
  for (const DocumentPageFacts& facts : pages) {
    if (facts.number == number) return &facts;
  }
  return nullptr;
}

namespace {

// The PostScript that prints the facts of the pages of ranges (pairs of first
// and last page, 0 for "to the end") of the PDF named RipDocument, one line a
// fact; names of spot colours in hexadecimal.
std::string pdf_query(const PageList& pages) {
  std::string ranges = "[";
  for (const auto& [first, last] : pages.ranges()) {
    ranges += "[" + std::to_string(first) + " " + std::to_string(last) + "]";
  }
  ranges += "]";
  return "/riphex {{16#100 add 16 3 string cvrs 1 2 getinterval print} forall} bind def "
         "/ripbox {2 copy known {(RIPHOST-BOX ) print dup =only get {( ) print =only} forall (\\n) print}"
         " {pop pop} ifelse} bind def "
         "/ripwanted {/ripn exch def //false " + ranges +
         " {aload pop dup 0 eq {pop 16#7fffffff} if ripn ge exch ripn le and or} forall} bind def "
         "RipDocument (r) file runpdfbegin "
         "(RIPHOST-COUNT ) print pdfpagecount = "
         "1 1 pdfpagecount {dup ripwanted {"
         " dup (RIPHOST-PAGE ) print = PDFFile exch 1 sub .PDFPageInfoExt"
         " dup /MediaBox ripbox dup /TrimBox ripbox"
         " dup /Rotate known {(RIPHOST-ROTATE ) print dup /Rotate get =} if"
         " dup /UserUnit known {(RIPHOST-UNIT ) print dup /UserUnit get =} if"
         " dup /UsesTransparency known {dup /UsesTransparency get {(RIPHOST-TRANSPARENT\\n) print} if} if"
         " dup /Spots known {dup /Spots get {(RIPHOST-SPOT ) print dup length string cvs riphex (\\n) print}"
         " forall} if pop} {pop} ifelse} for "
         "runpdfend";
}

double number(std::string_view text) {
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Reads a "RIPHOST-BOX MediaBox x0 y0 x1 y1" line into the page's facts.
void read_box(std::istringstream& words, DocumentPageFacts& page) {
  std::string key;
  std::array<std::string, 4> values;
  words >> key >> values[0] >> values[1] >> values[2] >> values[3];
  const PageBox box{number(values[0]), number(values[1]), number(values[2]), number(values[3])};
  if (key == "MediaBox") page.media = box;
  if (key == "TrimBox") page.trim = box;
}

// Reads the query's answer into facts.
void read_answer(const std::string& output, DocumentFacts& facts) {
  facts.page_count = -1;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag;
    words >> tag;
    if (tag == "RIPHOST-COUNT") {
      std::string count;
      words >> count;
      facts.page_count = static_cast<int>(number(count));
    } else if (tag == "RIPHOST-PAGE") {
      std::string page;
      words >> page;
      facts.pages.push_back(DocumentPageFacts{});
      facts.pages.back().number = static_cast<int>(number(page));
    } else if (facts.pages.empty()) {
      continue;
    } else if (tag == "RIPHOST-BOX") {
      read_box(words, facts.pages.back());
    } else if (tag == "RIPHOST-ROTATE") {
      std::string rotate;
      words >> rotate;
      facts.pages.back().rotate = ((static_cast<int>(number(rotate)) % 360) + 360) % 360;
    } else if (tag == "RIPHOST-UNIT") {
      std::string unit;
      words >> unit;
      facts.pages.back().user_unit = number(unit);
    } else if (tag == "RIPHOST-TRANSPARENT") {
      facts.pages.back().transparency = true;
    } else if (tag == "RIPHOST-SPOT") {
      std::string hex;
      words >> hex;
      facts.pages.back().spots.push_back(from_hex(hex));
    }
  }
}

void add_password(const DocumentFacts& facts, std::vector<std::string>& args);

// The message for a document Ghostscript could not read.
std::string unreadable(const DocumentFacts& facts, const GhostscriptSession& gs, const std::string& what) {
  const std::string line = gs.error_line();
  if (line.find("VMerror") != std::string::npos) {
    throw DocumentLimitError(facts.name + ": Ghostscript needs more memory for it than the memory limit of " +
                             memory_text(facts.limits.memory_bytes) + " (--memory-limit): Ghostscript says: " + line);
  }
  return facts.name + ": " + what + (line.empty() ? "" : ": Ghostscript says: " + line);
}

// The XMP packets of the document and of the given pages, through
// Ghostscript's older PDF interpreter, which can read metadata streams (the
// newer one cannot yet). A document whose packets cannot be read simply has
// none: riphost then writes the page's packet alone.
void read_pdf_xmp(DocumentFacts& facts, const std::vector<int>& numbers) {
  std::string pages = "[";
  for (int number : numbers) pages += " " + std::to_string(number);
  pages += "]";
  const std::string query =
      "/ripxmp {(RIPHOST-XMP ) print =only (\n) print //false resolvestream"
      " {dup 65535 string readstring exch print not {exit} if} loop pop (\nRIPHOST-XMP-END\n) print} bind def "
      "RipDocument (r) file runpdfbegin "
      "Trailer /Root oget /Metadata knownoget {0 ripxmp} if " +
      pages + " {dup pdfgetpage /Metadata knownoget {exch ripxmp} {pop} ifelse} forall runpdfend";
  try {
    GhostscriptSession gs(facts.limits.memory_bytes);
    const auto watch = check_watch(facts.limits.page_seconds, [&] { return facts.name; });
    gs.permit_reading(facts.file.string());
    std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNODISPLAY", "-q", "-dNEWPDF=false"};
    add_password(facts, args);
    args.insert(args.end(), {"-sRipDocument=" + facts.file.string(), "-c", query});
    if (!gs.run(args)) return;
    const std::string& out = gs.output();
    std::size_t at = 0;
    while ((at = out.find("RIPHOST-XMP ", at)) != std::string::npos) {
      const std::size_t line_end = out.find('\n', at);
      const std::size_t end = out.find("\nRIPHOST-XMP-END\n", line_end);
      if (line_end == std::string::npos || end == std::string::npos) break;
      const int page = static_cast<int>(number(std::string_view(out).substr(at + 12, line_end - at - 12)));
      std::string packet = out.substr(line_end + 1, end - line_end - 1);
      if (page == 0) facts.xmp = std::move(packet);
      for (DocumentPageFacts& facts_page : facts.pages) {
        if (page != 0 && facts_page.number == page) facts_page.xmp = packet;
      }
      at = end;
    }
  } catch (const HostError&) {
    // No packets: as for a document without metadata.
  }
}

// The page facts the structure reader checked take the place of
// Ghostscript's answer: boxes, rotation, UserUnit; its external file
// references become the page's warnings.
void take_structure(const PdfStructure& structure, DocumentFacts& facts) {
  if (structure.page_count != facts.page_count) {
    throw HostError(facts.name + ": the page tree is broken: it holds " + std::to_string(structure.page_count) +
                    " pages, Ghostscript counts " + std::to_string(facts.page_count));
  }
  for (const PdfPageStructure& checked : structure.pages) {
    auto page = std::find_if(facts.pages.begin(), facts.pages.end(),
                             [&](const DocumentPageFacts& each) { return each.number == checked.number; });
    if (page == facts.pages.end()) {
      throw HostError(facts.name + ": page " + std::to_string(checked.number) + " cannot be read by Ghostscript");
    }
    page->media = checked.media;
    page->trim = checked.trim;
    page->rotate = checked.rotate;
    page->user_unit = checked.user_unit;
    for (const PdfFileReference& reference : checked.external) {
      page->warnings.push_back(external_file_warning(facts.name, checked.number, reference));
    }
  }
  if (structure.references_incomplete && !facts.pages.empty()) {
    facts.pages.front().warnings.push_back(facts.name + ": the document holds too many objects to look for files "
                                           "outside it in all of them; such files are not read");
  }
}

// The argument that opens an encrypted PDF; none without a password.
void add_password(const DocumentFacts& facts, std::vector<std::string>& args) {
  if (!facts.password.empty()) args.push_back("-sPDFPassword=" + facts.password);
}

// The structure (qpdf) first: a password it needs or a broken page tree is
// told plainly; a file it cannot read at all is Ghostscript's to judge
// first, and refused when Ghostscript reads it (its pages are unchecked).
void probe_pdf(DocumentFacts& facts, const PageList& pages) {
  std::optional<PdfStructure> structure;
  std::string structure_problem;
  try {
    structure = read_pdf_structure(facts.file, facts.name, facts.password, pages);
  } catch (const PdfUnreadable& problem) {
    structure_problem = problem.what();
  }
  GhostscriptSession gs(facts.limits.memory_bytes);
  const auto watch = check_watch(facts.limits.page_seconds, [&] { return facts.name; });
  gs.permit_reading(facts.file.string());
  std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNODISPLAY", "-q"};
  add_password(facts, args);
  args.insert(args.end(), {"-sRipDocument=" + facts.file.string(), "-c", pdf_query(pages)});
  const bool ran = gs.run(args);
  read_answer(gs.output(), facts);
  if (!ran || facts.page_count < 0) throw HostError(unreadable(facts, gs, "Ghostscript cannot read this PDF"));
  if (facts.page_count == 0) throw HostError(unreadable(facts, gs, "no page can be read from this PDF"));
  if (!structure) throw HostError("cannot read the structure of " + structure_problem);
  take_structure(*structure, facts);
}

// Counts the pages of a PostScript program run at a low resolution, and
// gathers the spot colours Ghostscript meets.
struct PageCounter {
  std::atomic<int> pages{0};
  PageWatch* watch = nullptr;  // starts again with each page
  std::vector<std::string> spots;
  static int nothing(void*, void*) { return 0; }
  static int presize(void*, void*, int, int, int, unsigned int) { return 0; }
  static int size(void*, void*, int, int, int, unsigned int, unsigned char*) { return 0; }
  static int page(void* handle, void*, int, int) {
    auto* counter = static_cast<PageCounter*>(handle);
    ++counter->pages;
    if (counter->watch) counter->watch->restart();
    return 0;
  }
  static int separation(void* handle, void*, int, const char* name, unsigned short, unsigned short, unsigned short,
                        unsigned short) {
    auto& spots = static_cast<PageCounter*>(handle)->spots;
    if (name && std::find(spots.begin(), spots.end(), name) == spots.end()) spots.emplace_back(name);
    return 0;
  }
};

// The program runs in separation mode with room for every colorant
// Ghostscript keeps, so that each spot colour it uses is added as a
// colorant of its own and reported, however many there are; only eight are
// drawn into the (tiny) page.
void probe_postscript(DocumentFacts& facts) {
  PageCounter counter;
  display_callback callback{};
  callback.size = sizeof callback;
  callback.version_major = DISPLAY_VERSION_MAJOR;
  callback.version_minor = DISPLAY_VERSION_MINOR;
  callback.display_open = PageCounter::nothing;
  callback.display_preclose = PageCounter::nothing;
  callback.display_close = PageCounter::nothing;
  callback.display_presize = PageCounter::presize;
  callback.display_size = PageCounter::size;
  callback.display_sync = PageCounter::nothing;
  callback.display_page = PageCounter::page;
  callback.display_separation = PageCounter::separation;
  GhostscriptSession gs(facts.limits.memory_bytes);
  const auto watch = check_watch(facts.limits.page_seconds,
                                 [&] { return facts.name + ": page " + std::to_string(counter.pages + 1); });
  counter.watch = watch.get();
  gs.set_display(&callback, &counter);
  const unsigned format = display_format(DISPLAY_COLORS_SEPARATION, DISPLAY_ALPHA_NONE, DISPLAY_DEPTH_8,
                                         DISPLAY_BIGENDIAN, DISPLAY_TOPFIRST, DISPLAY_CHUNKY);
  std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-q", "-sDEVICE=display",
                                   "-dDisplayFormat=" + std::to_string(format), "-r4"};
  if (facts.kind == DocumentKind::Eps) args.push_back("-dEPSCrop");
  std::vector<std::string> setup = {"<< /MaxSeparations " + std::to_string(kMaxSpotColours + 4) +
                                    " /PageSpotColors " + std::to_string(kInkSlots - 4) + " >> setpagedevice"};
  const std::vector<std::string> guard = page_device_guard();
  setup.insert(setup.end(), guard.begin(), guard.end());
  const std::vector<std::string> operators = postscript_watch();
  setup.insert(setup.end(), operators.begin(), operators.end());
  args.push_back("-c");
  for (std::string& piece : command_pieces(setup)) args.push_back(std::move(piece));
  args.insert(args.end(), {"-f", facts.file.string()});
  if (!gs.run(args)) {
    if (const auto key = changed_device_key(gs.output())) {
      throw HostError(facts.name + ": page " + std::to_string(counter.pages + 1) + ": " + changed_inks_problem(*key));
    }
    if (gs.error_line().find("VMerror") != std::string::npos) {
      throw DocumentLimitError(facts.name + ": page " + std::to_string(counter.pages + 1) + ": Ghostscript needs "
                               "more memory for it than the memory limit of " + memory_text(facts.limits.memory_bytes) +
                               " (--memory-limit): Ghostscript says: " + gs.error_line());
    }
    throw HostError(facts.name + ": page " + std::to_string(counter.pages + 1) + ": " +
                    (facts.kind == DocumentKind::Eps ? "EPS" : "PostScript") + " error" +
                    (gs.error_line().empty() ? std::string() : ": Ghostscript says: " + gs.error_line()));
  }
  facts.page_count = facts.kind == DocumentKind::Eps ? std::max(counter.pages.load(), 1) : counter.pages.load();
  if (facts.page_count == 0) throw HostError(facts.name + ": the PostScript program prints no page");
  facts.spots = own_spots(counter.spots);
  facts.warnings = postscript_warnings(gs.output());
}

std::string name_list(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// Refuses a page of a PDF with more spot colours than riphost renders, and
// a PostScript program that fills every place Ghostscript has for them: it
// may use more, which Ghostscript would draw in process inks unseen.
void check_spots(const DocumentFacts& facts) {
  if (facts.kind != DocumentKind::Pdf) {
    if (static_cast<int>(facts.spots.size()) < kMaxSpotColours) return;
    throw HostError(facts.name + ": the program uses at least " + std::to_string(facts.spots.size()) +
                    " spot colours (" + name_list(facts.spots) + "); riphost renders at most " +
                    std::to_string(kMaxSpotColours - 1) + " spot colours of a PostScript program");
  }
  for (const DocumentPageFacts& page : facts.pages) {
    const std::vector<std::string> own = own_spots(page.spots);
    if (static_cast<int>(own.size()) <= kMaxSpotColours) continue;
    throw HostError(facts.name + ": page " + std::to_string(page.number) + " uses " + std::to_string(own.size()) +
                    " spot colours (" + name_list(own) + "); riphost renders at most " +
                    std::to_string(kMaxSpotColours) + " spot colours on a page");
  }
}

// Refuses pages whose UserUnit is no size (Ghostscript stops on them).
void check_units(const DocumentFacts& facts) {
  for (const DocumentPageFacts& page : facts.pages) {
    if (!(page.user_unit > 0.0) || !std::isfinite(page.user_unit)) {
      char text[32] = {};
      std::to_chars(text, text + sizeof text - 1, page.user_unit, std::chars_format::general, 6);
      throw HostError(facts.name + ": page " + std::to_string(page.number) + " gives a UserUnit of " + text +
                      "; a UserUnit must be a positive number of points");
    }
  }
}

// Skips what may come before a document's own first byte, as Ghostscript
// and printers skip it: Ctrl-D (the end of a previous job), blanks, and a
// PJL job header (the universal exit, then "@PJL" lines up to the one that
// enters the document's language).
std::string_view after_job_header(std::string_view text) {
  constexpr std::string_view kExit = "\x1b%-12345X";
  for (;;) {
    const std::size_t first = text.find_first_not_of(std::string_view("\x04 \t\r\n\f\0", 7));
    text.remove_prefix(std::min(first, text.size()));
    if (text.starts_with(kExit)) {
      text.remove_prefix(kExit.size());
    } else if (text.starts_with("@PJL")) {
      const std::size_t end = text.find('\n');
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    } else {
      return text;
    }
  }
}

// Pages with transparency or overprint are rendered by Ghostscript's gs
// program (separation_planes.h): it must be there before anything is written.
void check_separation_program(const DocumentFacts& facts, const std::vector<int>& numbers) {
  const auto needs = [&](int number) { return page_needs_separation_device(facts, number); };
  const auto page = std::find_if(numbers.begin(), numbers.end(), needs);
  if (page == numbers.end() || !ghostscript_program().empty()) return;
  throw HostError(facts.name + ": page " + std::to_string(*page) + " has transparency or overprint, which riphost "
                  "renders with Ghostscript's gs program, which is not there (Debian's ghostscript package; "
                  "RIPHOST_GS names another)");
}

}  // namespace

std::optional<DocumentKind> document_kind(std::string_view head) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
  if (head.size() >= 4 && byte(0) == 0xC5 && byte(1) == 0xD0 && byte(2) == 0xD3 && byte(3) == 0xC6) {
    return DocumentKind::Eps;  // the binary header of a DOS EPS file
  }
  const std::string_view text = after_job_header(head);
  if (text.starts_with("%!")) {
    const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
    return first.find("EPSF") != std::string_view::npos ? DocumentKind::Eps : DocumentKind::PostScript;
  }
  // PDF readers take "%PDF-" anywhere in the first kilobyte.
  if (head.substr(0, 1024).find("%PDF-") != std::string_view::npos) return DocumentKind::Pdf;
  // A comment can only begin PostScript: a ticket (JSON) never starts so.
  if (text.starts_with("%")) return DocumentKind::PostScript;
  return std::nullopt;
}

DocumentKind sniff_document(const fs::path& file, const std::string& name) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) throw HostError(name + ": cannot open it: " + std::strerror(errno));
  // A PJL job header may take a few kilobytes before the document starts.
  std::array<char, 8192> head{};
  const std::size_t got = std::fread(head.data(), 1, head.size(), in);
  std::fclose(in);
  if (const auto kind = document_kind(std::string_view(head.data(), got))) return *kind;
  throw HostError(name + ": not a PDF, PostScript or EPS file");
}

DocumentFacts probe_document(const fs::path& file, const std::string& name, const PageList& pages,
                             const std::string& password, const DocumentLimits& limits) {
  DocumentFacts facts;
  facts.password = password;
  facts.limits = limits;
  std::error_code error;
  facts.file = fs::absolute(file, error);
  if (error) facts.file = file;
  facts.name = name;
  facts.kind = sniff_document(facts.file, name);
  if (facts.kind == DocumentKind::Pdf) {
    probe_pdf(facts, pages);
  } else {
    probe_postscript(facts);
  }
  std::vector<int> numbers;
  try {
    numbers = pages.pages(facts.page_count);
  } catch (const HostError& problem) {
    throw HostError(name + ": " + problem.what());
  }
  check_spots(facts);
  check_units(facts);
  facts.overprint_or_transparency = document_needs_separation_device(facts.file, facts.kind);
  check_separation_program(facts, numbers);
  if (facts.kind == DocumentKind::Pdf) read_pdf_xmp(facts, numbers);
  if (facts.kind == DocumentKind::Pdf) facts.warnings = look_at_pdf(facts.file, numbers, facts.password, facts.limits);
  return facts;
}

}  // namespace riphost
