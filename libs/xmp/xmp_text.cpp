// xmp_text.cpp - the nesting guard and the locale-free number reader.
#include "xmp_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace dravxmp {
namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;

// Position just after the first `end` at or after `from`; npos when missing.
std::string_view::size_type After(std::string_view text, std::string_view::size_type from,
                                  std::string_view end) noexcept {
  const auto at = text.find(end, from);
  return at == npos ? npos : at + end.size();
}

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool NestingWithin(std::string_view text, int limit) noexcept {
  int depth = 0;
  std::string_view::size_type i = 0;
  while (i < text.size()) {
    const auto lt = text.find('<', i);
    if (lt == npos) break;
    const std::string_view rest = text.substr(lt);
    if (rest.starts_with("<!--")) {
      i = After(text, lt + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = After(text, lt + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = After(text, lt + 2, "?>");
    } else if (rest.starts_with("<!")) {
      // A declaration (DOCTYPE); Exempi refuses those anyway.
      i = After(text, lt + 2, ">");
    } else if (rest.starts_with("</")) {
      if (depth > 0) --depth;
      i = After(text, lt + 2, ">");
    } else {
      // A start tag: find its '>' outside quoted attribute values.
      auto j = lt + 1;
      char quote = 0;
      for (; j < text.size(); ++j) {
        const char c = text[j];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (j >= text.size()) break;  // unterminated: the parser stops here too
      if (text[j - 1] != '/' && ++depth > limit) return false;
      i = j + 1;
    }
    if (i == npos) break;
  }
  return true;
}

std::string WrapInXmpMeta(std::string_view packet) {
  std::string_view::size_type head = 0;
  if (packet.starts_with("\xEF\xBB\xBF")) head = 3;
  const std::string_view rest = packet.substr(head);
  if (rest.starts_with("<?xml") && rest.size() > 5 && IsBlank(rest[5])) {
    const auto end = After(packet, head + 5, "?>");
    if (end != npos) head = end;
  }
  std::string wrapped;
  wrapped.reserve(packet.size() + 64);
  wrapped.append(packet.substr(0, head))
      .append("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">")
      .append(packet.substr(head))
      .append("</x:xmpmeta>");
  return wrapped;
}

double ReadNumber(std::string_view text) noexcept {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  // from_chars takes a '-' but no '+'.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
    text.remove_prefix(1);
  }
  if (text.empty()) return 0.0;
  double value = 0.0;
  const char* const last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(text.data(), last, value, std::chars_format::general);
  if (ec != std::errc() || end != last || !std::isfinite(value)) return 0.0;
  return value;
}

}  // namespace dravxmp
