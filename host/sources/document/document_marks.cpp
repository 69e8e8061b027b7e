// document_marks.cpp - looking for overprint and transparency in a file.
#include "sources/document/document_marks.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace riphost {

namespace {

// PostScript operators and keys of overprint and transparency, and the
// page device key that makes the display device's pixel narrower than its
// colour encoding (the page would render empty).
constexpr std::array<std::string_view, 10> kPostScriptWords = {
    "setoverprint",  ".setopacityalpha",        ".setshapealpha",     ".setfillconstantalpha",
    ".setblendmode", ".setstrokeconstantalpha", ".begintransparency", "/SetTransparency",
    "/SMask",        "/PageSpotColors"};

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

}  // namespace

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
  std::size_t kept = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer.data() + kept, 1, kPiece, in.get());
    if (got == 0) return false;
    const std::size_t size = kept + got;
    if (names_overprint_or_transparency(std::string_view(buffer.data(), size), kind)) return true;
    kept = std::min(size, kOverlap);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(size - kept), buffer.begin() + static_cast<std::ptrdiff_t>(size),
              buffer.begin());
  }
}

}  // namespace riphost
