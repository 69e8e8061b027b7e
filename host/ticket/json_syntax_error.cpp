// json_syntax_error.cpp - the place and words of a JSON syntax error.
#include "ticket/json_syntax_error.h"

#include <algorithm>

namespace riphost {

namespace {

// Characters shown before the place in a long line, and in all.
constexpr std::size_t kShownBefore = 60;
constexpr std::size_t kShownWidth = 100;

bool is_continuation(char c) noexcept { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

bool is_blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Moves offset back to the start of the UTF-8 character it lies in.
std::size_t character_start(std::string_view text, std::size_t offset) {
  while (offset > 0 && offset < text.size() && is_continuation(text[offset])) --offset;
  return offset;
}

// Where the token the parser could not take starts; it ends just before
// end. The parser's reason names its kind.
std::size_t token_start(std::string_view text, std::size_t end, const std::string& reason) {
  if (end == 0) return 0;
  std::size_t start = end - 1;
  if (reason.find("unexpected string literal") != std::string::npos) {
    // Back to the quote that opens the text: one not escaped by an odd
    // number of backslashes.
    while (start > 0) {
      --start;
      if (text[start] != '"') continue;
      std::size_t backslashes = 0;
      while (backslashes < start && text[start - 1 - backslashes] == '\\') ++backslashes;
      if (backslashes % 2 == 0) break;
    }
  } else if (reason.find("unexpected number literal") != std::string::npos) {
    while (start > 0 && std::string_view("0123456789+-.eE").find(text[start - 1]) != std::string_view::npos) --start;
  } else if (reason.find("unexpected false literal") != std::string::npos) {
    start = end >= 5 ? end - 5 : 0;
  } else if (reason.find("unexpected true literal") != std::string::npos ||
             reason.find("unexpected null literal") != std::string::npos) {
    start = end >= 4 ? end - 4 : 0;
  }
  return start;
}

// Offset just past the last character before offset that is not white space.
std::size_t end_of_previous(std::string_view text, std::size_t offset) {
  while (offset > 0 && is_blank(text[offset - 1])) --offset;
  return offset;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The parser met a value where a list or object wanted its separator or end.
bool value_where_separator_belongs(const std::string& reason) {
  if (!contains(reason, "; expected '}'") && !contains(reason, "; expected ']'")) return false;
  for (const char* token : {"unexpected string literal", "unexpected number literal", "unexpected '['",
                            "unexpected '{'", "unexpected true literal", "unexpected false literal",
                            "unexpected null literal"}) {
    if (contains(reason, token)) return true;
  }
  return false;
}

// A comma right before the end of an object or list.
bool comma_before_end(const std::string& reason) {
  return contains(reason, "unexpected '}'; expected string literal") ||
         contains(reason, "unexpected ']'; expected '[', '{', or a literal");
}

// "line L, column C: what" and the excerpt of offset.
std::string at(std::string_view text, std::size_t offset, const std::string& what) {
  return line_and_column(text, offset) + ": " + what + excerpt(text, offset);
}

}  // namespace

std::string line_and_column(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if (!is_continuation(text[i])) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string excerpt(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  const std::size_t newline = offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
  const std::size_t line_start = newline == std::string_view::npos ? 0 : newline + 1;
  std::size_t line_end = std::min(text.find('\n', offset), text.size());
  if (line_end > line_start && text[line_end - 1] == '\r') line_end = std::max(line_end - 1, offset);
  const std::size_t start =
      offset - line_start > kShownBefore ? character_start(text, offset - kShownBefore) : line_start;
  const std::size_t end = line_end - start > kShownWidth ? character_start(text, start + kShownWidth) : line_end;
  std::string shown = start > line_start ? "..." : "";
  std::size_t caret = shown.size();
  for (std::size_t i = start; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    shown += (c < 0x20 || c == 0x7F) ? (c == '\t' ? ' ' : '?') : static_cast<char>(c);
    if (i < offset && !is_continuation(text[i])) ++caret;
  }
  if (end < line_end) shown += "...";
  return "\n    " + shown + "\n    " + std::string(caret, ' ') + "^";
}

std::string describe_syntax_error(std::string_view text, std::size_t end, const std::string& reason) {
  end = std::min(end, text.size());
  const std::size_t start = token_start(text, end, reason);
  if (value_where_separator_belongs(reason)) {
    return at(text, end_of_previous(text, start),
              "a comma is missing here, after the value (the parser stopped at the next one, " +
                  line_and_column(text, start) + ")");
  }
  if (contains(reason, "; expected ':'")) {
    return at(text, end_of_previous(text, start), "a colon is missing here, after the key");
  }
  if (comma_before_end(reason)) {
    // The closing bracket is the last character read.
    const std::size_t comma = end_of_previous(text, end == 0 ? 0 : end - 1);
    return at(text, comma == 0 ? 0 : comma - 1, "this comma has no value after it: remove it");
  }
  if (contains(reason, "control character U+000A")) {
    return at(text, end == 0 ? 0 : end - 1,
              "this text runs to the end of its line: its closing \" is missing (a line break inside a text is "
              "written \\n)");
  }
  if (end_of_previous(text, end) == 0) return "line 1, column 1: the ticket is empty: it needs a JSON object";
  if (contains(reason, "unexpected end of input")) {
    return at(text, end_of_previous(text, end),
              "the ticket ends here, before all of its lists and objects are closed (a } or ] is missing)");
  }
  return at(text, end == 0 ? 0 : end - 1, reason);
}

}  // namespace riphost
