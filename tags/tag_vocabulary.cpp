// tag_vocabulary.cpp - tag names, screen lines and scrambling.
#include "tag_vocabulary.h"

#include <charconv>
#include <cstdio>

#include "c_locale.h"

namespace tagvocab {
namespace {

// Reads "<key>=" then a number at the front of text; advances text past it.
template <typename Number>
bool field(std::string_view& text, std::string_view key, Number& value) {
  if (text.substr(0, key.size()) != key) return false;
  text.remove_prefix(key.size());
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
  return true;
}

bool skip(std::string_view& text, std::string_view what) {
  if (text.substr(0, what.size()) != what) return false;
  text.remove_prefix(what.size());
  return true;
}

// " COV=%f AREA=%d,%d,%d,%d" at the front of text, and nothing after it.
bool parse_counted_part(std::string_view text, ScreenLine& s) {
  return field(text, "COV=", s.coverage) && skip(text, " ") && field(text, "AREA=", s.left) && skip(text, ",") &&
         field(text, "", s.top) && skip(text, ",") && field(text, "", s.right) && skip(text, ",") &&
         field(text, "", s.bottom) && text.empty();
}

// One line without its line feed, in either form.
std::optional<ScreenLine> parse_line(std::string_view line) {
  ScreenLine s;
  if (!field(line, "LC=", s.ruling) || !skip(line, " ") || !field(line, "A=", s.angle) || !skip(line, " S=")) {
    return std::nullopt;
  }
  const std::size_t cov = line.find(" COV=");
  s.name = std::string(line.substr(0, cov));
  if (cov == std::string_view::npos) return s;
  s.counted = true;
  if (!parse_counted_part(line.substr(cov + 1), s)) return std::nullopt;
  return s;
}

// XOR of text with t read backwards, cyclically.
std::string xor_with(std::string_view text, std::string_view t) {
  std::string out(text);
  if (t.empty()) return out;
  const std::size_t l = t.size();
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ static_cast<unsigned char>(t[l - 1 - i % l]));
  }
  return out;
}

}  // namespace

std::string cad_tag_name(std::string_view cad_name) { return std::string(kCadTagPrefix).append(cad_name); }

bool is_scrambled_tag(std::string_view name) {
  return name == kStaggeredCutTag || name.starts_with(kCadTagPrefix);
}

std::string count_line(int lines) {
  char text[32];
  textutil::ScopedCLocale c_locale;
  std::snprintf(text, sizeof text, "COUNT=%d\n", lines);
  return text;
}

int format_plain_line(ScreenLineBuffer& line, double ruling, double angle, const char* name) {
  textutil::ScopedCLocale c_locale;
  return std::snprintf(line, sizeof line, "LC=%f A=%f S=%s\n", ruling, angle, name);
}

int format_counted_line(ScreenLineBuffer& line, double ruling, double angle, const char* name, double coverage,
                        const ScreenArea& area) {
  textutil::ScopedCLocale c_locale;
  return std::snprintf(line, sizeof line, "LC=%f A=%f S=%s COV=%f AREA=%d,%d,%d,%d\n", ruling, angle, name,
                       coverage, area.left, area.top, area.right, area.bottom);
}

std::optional<std::vector<ScreenLine>> parse_screen_info(std::string_view text) {
  std::size_t count = 0;
  if (!field(text, "COUNT=", count) || !skip(text, "\n")) return std::nullopt;
  std::vector<ScreenLine> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::optional<ScreenLine> line = parse_line(text.substr(0, end));
    if (!line) return std::nullopt;  // also a line cut at 255 characters
    lines.push_back(*line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (lines.size() != count) return std::nullopt;
  return lines;
}

std::string scramble(std::string_view text, std::string_view t) { return xor_with(text, t); }

std::string unscramble(std::span<const uint8_t> value, std::string_view t) {
  std::size_t n = value.size();
  if (n > 0 && value[n - 1] == 0) --n;
  return xor_with(std::string_view(reinterpret_cast<const char*>(value.data()), n), t);
}

}  // namespace tagvocab
