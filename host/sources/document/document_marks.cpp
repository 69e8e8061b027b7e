// document_marks.cpp - looking for overprint and transparency in a file.
#include "sources/document/document_marks.h"

#include "sources/document/pdf_object_streams.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace riphost {

namespace {

// PostScript operators and keys of overprint and transparency.
constexpr std::array<std::string_view, 9> kPostScriptWords = {
    "setoverprint",  ".setopacityalpha",        ".setshapealpha",     ".setfillconstantalpha",
    ".setblendmode", ".setstrokeconstantalpha", ".begintransparency", "/SetTransparency",
    "/SMask"};

bool is_blank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// "/OP true" or "/op true", blanks between or not.
bool pdf_overprint(std::string_view text) noexcept {
  for (std::string_view key : {std::string_view("/OP"), std::string_view("/op")}) {
    for (std::size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
      std::size_t next = at + key.size();
      while (next < text.size() && is_blank(text[next])) ++next;
      if (text.substr(next, 4) == "true") return true;
    }
  }
  return false;
}

// Whether a graphics state in one of the object streams sets overprint;
// true also when a stream cannot be read, since then nobody can tell.
bool object_streams_overprint(std::FILE* in, const std::vector<long>& offsets) {
  for (long offset : offsets) {
    const std::optional<std::string> text = inflate_object_stream(in, offset);
    if (!text || pdf_overprint(*text)) return true;
  }
  return false;
}

}  // namespace

bool page_needs_separation_device(const DocumentFacts& facts, int number) noexcept {
  if (facts.overprint_or_transparency) return true;
  const DocumentPageFacts* page = facts.page(number);
  return page && page->transparency;
}

bool names_overprint_or_transparency(std::string_view text, DocumentKind kind) noexcept {
  if (kind == DocumentKind::Pdf) return pdf_overprint(text);
  for (std::string_view word : kPostScriptWords) {
    if (text.find(word) != std::string_view::npos) return true;
  }
  return false;
}

bool document_needs_separation_device(const std::filesystem::path& file, DocumentKind kind) {
  constexpr std::size_t kPiece = 1u << 20;
  // Pieces overlap by this much, so a word across two of them is seen.
  constexpr std::size_t kOverlap = 64;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) return false;
  std::vector<char> buffer(kPiece + kOverlap);
  std::vector<long> object_streams;  // where their /ObjStm keys are
  std::size_t kept = 0;
  long base = 0;  // the file offset of buffer[0]
  for (;;) {
    const std::size_t got = std::fread(buffer.data() + kept, 1, kPiece, in.get());
    if (got == 0) break;
    const std::size_t size = kept + got;
    const std::string_view text(buffer.data(), size);
    if (names_overprint_or_transparency(text, kind)) return true;
    if (kind == DocumentKind::Pdf) {
      constexpr std::string_view kKey = "/ObjStm";
      // A key in the overlap was seen with the piece before.
      for (std::size_t at = text.find(kKey, kept >= kKey.size() ? kept - kKey.size() + 1 : 0);
           at != std::string_view::npos; at = text.find(kKey, at + 1)) {
        object_streams.push_back(base + static_cast<long>(at));
      }
    }
    kept = std::min(size, kOverlap);
    base += static_cast<long>(size - kept);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(size - kept),
              buffer.begin() + static_cast<std::ptrdiff_t>(size), buffer.begin());
  }
  return object_streams_overprint(in.get(), object_streams);
}

}  // namespace riphost
