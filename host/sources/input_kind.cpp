// input_kind.cpp - telling what riphost was given by its first bytes.
#include "sources/input_kind.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "sources/document/document_probe.h"

namespace riphost {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTakes = "riphost takes PDF, PostScript, EPS or a JSON job ticket";

constexpr const char* kPhotoAdvice =
    "save a photo as TIFF or PNG first and name it in a job ticket as \"contone\" (line art at the device's "
    "resolution as \"image\"; docs/job-ticket.md)";
constexpr const char* kImageAdvice =
    "name it in a job ticket: a photo as \"contone\" (screened), line art at the device's resolution as \"image\" "
    "(docs/job-ticket.md)";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool has(std::string_view head, std::string_view at_start) { return head.starts_with(at_start); }

// head.substr that is empty rather than throwing past the end: a file may
// be shorter than any header.
std::string_view part(std::string_view head, std::size_t at, std::size_t count) {
  return at < head.size() ? head.substr(at, count) : std::string_view();
}

unsigned byte(std::string_view head, std::size_t i) {
  return i < head.size() ? static_cast<unsigned char>(head[i]) : 0u;
}

// The images riphost does not read, and those a ticket takes.
std::optional<ForeignFormat> image_format(std::string_view head) {
  if (byte(head, 0) == 0xFF && byte(head, 1) == 0xD8 && byte(head, 2) == 0xFF) {
    return ForeignFormat{"a JPEG image", kPhotoAdvice};
  }
  if (has(head, "\x89PNG\r\n\x1a\n")) return ForeignFormat{"a PNG image", kImageAdvice};
  if (has(head, "II*") || has(head, std::string_view("MM\0*", 4))) return ForeignFormat{"a TIFF image", kImageAdvice};
  if (has(head, "GIF87a") || has(head, "GIF89a")) return ForeignFormat{"a GIF image", kPhotoAdvice};
  if (has(head, "BM") && head.size() >= 26 && byte(head, 6) == 0 && byte(head, 7) == 0 && byte(head, 8) == 0 &&
      byte(head, 9) == 0) {
    return ForeignFormat{"a BMP image", kPhotoAdvice};
  }
  if (has(head, "RIFF") && part(head, 8, 4) == "WEBP") return ForeignFormat{"a WebP image", kPhotoAdvice};
  if (part(head, 4, 8) == "ftypheic" || part(head, 4, 8) == "ftypheix" || part(head, 4, 8) == "ftypmif1") {
    return ForeignFormat{"a HEIF image", kPhotoAdvice};
  }
  if (has(head, "8BPS")) return ForeignFormat{"a Photoshop file", "save it as PDF, EPS or TIFF first"};
  if ((has(head, "P1") || has(head, "P4") || has(head, "P5")) && head.size() > 3 && std::strchr(" \t\r\n", head[2])) {
    const std::size_t next = head.find_first_not_of(" \t\r\n", 2);
    if (next != std::string_view::npos && (head[next] == '#' || (head[next] >= '0' && head[next] <= '9'))) {
      return ForeignFormat{"a netpbm image", kImageAdvice};
    }
  }
  return std::nullopt;
}

// The first bytes after any blanks, UTF-8 byte order mark included,
// lowered for comparing markup.
std::string lowered_start(std::string_view head, std::size_t count) {
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  const std::size_t first = head.find_first_not_of(" \t\r\n\f");
  head.remove_prefix(first == std::string_view::npos ? head.size() : first);
  std::string text(head.substr(0, count));
  for (char& c : text) c = lower(c);
  return text;
}

std::optional<ForeignFormat> markup_format(std::string_view head) {
  const std::string start = lowered_start(head, 512);
  const std::string lowered = lowered_start(head, kInputHeadBytes);
  if (start.starts_with("<!doctype html") || start.starts_with("<html")) {
    return ForeignFormat{"an HTML page", "print it to PDF first"};
  }
  if (!start.starts_with("<")) return std::nullopt;
  if (lowered.find("<svg") != std::string::npos) {
    return ForeignFormat{"an SVG drawing", "convert it to PDF or EPS first"};
  }
  if (lowered.find("<html") != std::string::npos) return ForeignFormat{"an HTML page", "print it to PDF first"};
  if (start.starts_with("<?xml")) return ForeignFormat{"an XML file", "convert it to PDF first"};
  return std::nullopt;
}

// The name of a ZIP file's entry at offset at (a local file header), or
// empty.
std::string_view zip_entry_name(std::string_view head, std::size_t at) {
  if (head.size() < at + 30 || part(head, at, 4) != std::string_view("PK\3\4", 4)) return {};
  const std::size_t length = byte(head, at + 26) | (byte(head, at + 27) << 8);
  return part(head, at + 30, length);
}

// A ZIP archive, told apart by its first entries: office documents keep
// their kind in a stored "mimetype" entry (OpenDocument, EPUB) or in the
// names of their parts (Office Open XML).
ForeignFormat zip_format(std::string_view head) {
  constexpr const char* kExport = "export it as PDF first";
  if (zip_entry_name(head, 0) == "mimetype") {
    const std::size_t extra = byte(head, 28) | (byte(head, 29) << 8);
    const std::string_view type = part(head, 30 + 8 + extra, 64);
    static constexpr std::pair<std::string_view, const char*> kTypes[] = {
        {"application/vnd.oasis.opendocument.text", "an OpenDocument text (ODT)"},
        {"application/vnd.oasis.opendocument.spreadsheet", "an OpenDocument spreadsheet (ODS)"},
        {"application/vnd.oasis.opendocument.presentation", "an OpenDocument presentation (ODP)"},
        {"application/vnd.oasis.opendocument.graphics", "an OpenDocument drawing (ODG)"},
        {"application/epub+zip", "an EPUB book"},
    };
    for (const auto& [mime, what] : kTypes) {
      if (type.starts_with(mime)) return {what, kExport};
    }
  }
  if (head.find("word/") != std::string_view::npos) return {"a Word document (DOCX)", kExport};
  if (head.find("xl/") != std::string_view::npos) return {"an Excel workbook (XLSX)", kExport};
  if (head.find("ppt/") != std::string_view::npos) return {"a PowerPoint presentation (PPTX)", kExport};
  if (head.find("[Content_Types].xml") != std::string_view::npos) return {"an Office Open XML document", kExport};
  return {"a ZIP archive", "unpack it and give riphost the document inside"};
}

std::optional<ForeignFormat> packed_format(std::string_view head) {
  if (has(head, std::string_view("PK\3\4", 4)) || has(head, std::string_view("PK\5\6", 4))) return zip_format(head);
  if (byte(head, 0) == 0x1F && byte(head, 1) == 0x8B) {
    return ForeignFormat{"a gzip-compressed file", "unpack it (gunzip) first"};
  }
  if (has(head, "BZh")) return ForeignFormat{"a bzip2-compressed file", "unpack it (bunzip2) first"};
  if (has(head, "\xFD" "7zXZ")) return ForeignFormat{"an xz-compressed file", "unpack it (unxz) first"};
  if (has(head, "7z\xBC\xAF\x27\x1C")) return ForeignFormat{"a 7-Zip archive", "unpack it first"};
  if (has(head, "Rar!")) return ForeignFormat{"a RAR archive", "unpack it first"};
  if (has(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    return ForeignFormat{"an old Microsoft Office document", "export it as PDF first"};
  }
  if (has(head, "{\\rtf")) return ForeignFormat{"an RTF document", "export it as PDF first"};
  return std::nullopt;
}

// A print job whose PJL header enters another language than PostScript or
// PDF, or PCL itself (documents with a PJL header are told before).
std::optional<ForeignFormat> print_job_format(std::string_view head) {
  if (has(head, "\x1b%-12345X") || has(head, "@PJL") || has(head, "\x1b" "E")) {
    return ForeignFormat{"a print job in a printer language other than PostScript or PDF (PCL?)",
                         "print it again with a PostScript or PDF driver"};
  }
  return std::nullopt;
}

// Formats whose first bytes say what they are whatever follows: they are
// told before documents, so that a ZIP archive of PDF files (which holds
// "%PDF-" near its start) is not taken for one.
std::optional<ForeignFormat> certain_format(std::string_view head) {
  if (auto image = image_format(head)) return image;
  return packed_format(head);
}

// Text: UTF-8 or another 8-bit encoding without control characters other
// than blanks (and Ctrl-D, Escape, which print jobs hold).
bool looks_like_text(std::string_view head) {
  for (const char c : head) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && !std::strchr("\t\n\r\f\x04\x1b", c)) return false;
    if (u == 0x7F) return false;
  }
  return true;
}

// The first bytes of a file for a message: text in quotes, anything else
// as hexadecimal bytes.
std::string start_of(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  const std::size_t first = head.find_first_not_of(" \t\r\n\f");
  const std::string_view rest = head.substr(first == std::string_view::npos ? head.size() : first);
  if (looks_like_text(head) && !rest.empty()) {
    std::string text = "\"";
    std::size_t taken = 0;
    for (; taken < rest.size() && taken < 24; ++taken) {
      const auto u = static_cast<unsigned char>(rest[taken]);
      text += u < 0x20 ? ' ' : u >= 0x80 ? '?' : rest[taken];
    }
    return text + (taken < rest.size() ? "...\"" : "\"");
  }
  std::string bytes = "the bytes";
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < head.size() && i < 8; ++i) {
    const unsigned u = byte(head, i);
    bytes += ' ';
    bytes += kHex[u >> 4];
    bytes += kHex[u & 15];
  }
  return bytes;
}

// The kind a file's name promises: "a PDF", "PostScript", "EPS", "a JSON job
// ticket", or empty.
std::string promised_kind(const std::string& name) {
  std::string extension = fs::path(name).extension().string();
  for (char& c : extension) c = lower(c);
  if (extension == ".pdf") return "a PDF";
  if (extension == ".ps") return "PostScript";
  if (extension == ".eps" || extension == ".epsf") return "EPS";
  if (extension == ".json") return "a JSON job ticket";
  return {};
}

bool begins_like_json(std::string_view head) {
  const std::string start = lowered_start(head, 1);
  return start == "{" || start == "[";
}

InputKind refused(std::string problem) { return InputKind{InputRoute::Refused, std::nullopt, std::move(problem)}; }

}  // namespace

std::optional<ForeignFormat> foreign_format(std::string_view head) {
  if (auto certain = certain_format(head)) return certain;
  if (auto job = print_job_format(head)) return job;
  return markup_format(head);
}

InputKind tell_input_head(std::string_view head, const std::string& name) {
  const std::string promised = promised_kind(name);
  const auto refuse = [&](const ForeignFormat& format) {
    return refused(name + " is " + format.what + (promised.empty() ? "" : ", not " + promised) + "; " + kTakes +
                   "; " + format.advice);
  };
  if (const auto format = certain_format(head)) return refuse(*format);
  if (const auto kind = document_kind(head)) return InputKind{InputRoute::Document, *kind, {}};
  if (head.empty()) return refused(name + " is empty; " + kTakes);
  if (begins_like_json(head)) return InputKind{InputRoute::Ticket, std::nullopt, {}};
  if (const auto format = foreign_format(head)) return refuse(*format);
  const std::string start = start_of(head);
  if (!promised.empty()) {
    return refused(name + " does not look like " + promised + " (it starts with " + start + "); " + kTakes);
  }
  if (head.find_first_not_of(" \t\r\n\f") == std::string_view::npos) {
    return refused(name + " holds nothing but blanks; " + kTakes);
  }
  const char* what = looks_like_text(head) ? " is plain text" : " is binary data riphost does not know";
  return refused(name + what + " (it starts with " + start + "); " + kTakes);
}

InputKind tell_input(const fs::path& file, const std::string& name) {
  if (name == "-") return InputKind{InputRoute::Ticket, std::nullopt, {}};
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) {
    if (promised_kind(name) == "a JSON job ticket") return InputKind{InputRoute::Ticket, std::nullopt, {}};
    return refused(name + ": no such file");
  }
  if (fs::is_directory(status)) return refused(name + " is a folder, not a file; " + kTakes);
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) return refused(name + ": cannot open it: " + std::generic_category().message(errno));
  std::array<char, kInputHeadBytes> head{};
  const std::size_t got = std::fread(head.data(), 1, head.size(), in);
  const bool failed = std::ferror(in) != 0;
  const int read_error = errno;
  std::fclose(in);
  if (failed) return refused(name + ": cannot read it: " + std::generic_category().message(read_error));
  return tell_input_head(std::string_view(head.data(), got), name);
}

std::string not_a_ticket(std::string_view text) {
  const std::string_view head = text.substr(0, kInputHeadBytes);
  if (const auto format = certain_format(head)) {
    return "this is " + format->what + ", not a JSON job ticket; " + kTakes + "; " + format->advice;
  }
  if (begins_like_json(text) || text.find_first_not_of(" \t\r\n\f") == std::string_view::npos) return {};
  if (const auto kind = document_kind(head)) {
    return std::string("this is ") + (*kind == DocumentKind::Pdf ? "a PDF" : document_kind_name(*kind)) +
           ", not a JSON job ticket; riphost takes a document as a file name (riphost DOC -o DIR), not on "
           "standard input";
  }
  if (const auto format = foreign_format(text.substr(0, kInputHeadBytes))) {
    return "this is " + format->what + ", not a JSON job ticket; " + kTakes + "; " + format->advice;
  }
  if (looks_like_text(text.substr(0, kInputHeadBytes))) return {};
  return "this is binary data, not a JSON job ticket (it starts with " + start_of(text) + ")";
}

}  // namespace riphost
