// input_kind.h - what the file given to riphost is, told by its content.
//
// riphost takes a document (PDF, PostScript, EPS: document_kind in
// sources/document/document_probe.h tells them) or a JSON job ticket.
// Anything else is named for what it is, with what riphost takes instead,
// so that a photo, an office file or an empty download is not read as a
// broken ticket:
//
//   photo.jpg is a JPEG image; riphost takes PDF, PostScript, EPS or a JSON job ticket; ...
//   report.pdf: no such file
//   empty.pdf is empty; ...
//   x.pdf does not look like a PDF (it starts with "Hello, world"); ...
//
// The content decides; the file's name is only a hint: a ".json" name makes
// text that is no JSON a broken ticket, a ".pdf", ".ps" or ".eps" name is
// named in the message of a file that is not one.
#ifndef RIPHOST_INPUT_KIND_H
#define RIPHOST_INPUT_KIND_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sources/document/document_facts.h"

namespace riphost {

// How many first bytes of a file tell what it is.
inline constexpr std::size_t kInputHeadBytes = 8192;

// A format riphost does not take, as its first bytes show it: what it is
// ("a JPEG image") and what to do with it instead.
struct ForeignFormat {
  std::string what;
  std::string advice;
};

// The formats riphost knows not to take (images, markup, archives, office
// files), from the first bytes of a file. Nothing for a document, JSON,
// other text or unknown binary data.
std::optional<ForeignFormat> foreign_format(std::string_view head);

// How riphost takes a file.
enum class InputRoute {
  Document,  // a PDF, PostScript or EPS file: document
  Ticket,    // a JSON job ticket (or text under a ".json" name, or standard input)
  Refused,   // nothing riphost takes: problem says what it is
};

struct InputKind {
  InputRoute route = InputRoute::Refused;
  std::optional<DocumentKind> document;
  std::string problem;  // Refused: the whole message, the file's name first
};

// Tells the first bytes head of a file called name (as the user gave it).
InputKind tell_input_head(std::string_view head, const std::string& name);

// Tells the file (standard input, "-", is a ticket): missing, a folder, one
// that cannot be read and an empty one are refused, a ".json" name that
// does not exist is left to the ticket's reader.
InputKind tell_input(const std::filesystem::path& file, const std::string& name);

// For the text of a ticket that does not begin like JSON (standard input):
// what it is instead, as "this is <what>, not a JSON job ticket; ...";
// empty when it is text (the JSON parser then says where it goes wrong).
std::string not_a_ticket(std::string_view text);

}  // namespace riphost

#endif  // RIPHOST_INPUT_KIND_H
