// nesting_check.cpp - finding a TOML text's excess nesting before it is
// parsed: a single pass that knows strings, comments, keys, table headers,
// arrays and inline tables just well enough to count levels.
#include "nesting_check.h"

#include <vector>

namespace dravoututil {

namespace {

class NestingScanner {
 public:
  NestingScanner(std::string_view text, std::size_t limit) : text_(text), limit_(limit) {
    // Every open bracket adds a level, so at most limit + 1 are ever open.
    frames_.reserve(limit + 1);
  }

  // Scans the whole text; true with where set at the first excess.
  bool run(TextPosition& where);

 private:
  // What the scanner expects next.
  enum class Mode {
    key,     // a key (or, on a line of its own, a table header)
    header,  // the parts of a table header
    value    // a value, or what follows one
  };

  // An open array ('[') or inline table ('{') and the level of the value
  // it is.
  struct Frame {
    char kind;
    std::size_t level;
  };

  // Index just past the string that starts at pos (a quote).
  std::size_t skip_string(std::size_t pos) const;

  // Index of the line end that ends the comment starting at pos.
  std::size_t skip_comment(std::size_t pos) const;

  // Counts one more part of the key or header that starts at pos; false when
  // that goes beyond the limit.
  bool add_key_part(std::size_t pos);

  // Opens a bracket of kind at pos; false when that goes beyond the limit.
  bool open(char kind, std::size_t pos);

  // Closes the innermost bracket, whatever its kind (a mismatch is the
  // parser's to report).
  void close();

  // Sets up for the next key of a table whose parts start at base.
  void start_key(std::size_t base);

  // One character outside strings and comments, in a key or header, or in
  // a value; false at an excess.
  bool key_char(char c, std::size_t& at, bool top);
  bool value_char(char c, std::size_t at, bool top);

  // The line and column of the excess found.
  TextPosition excess_position() const;

  // Reports pos as the place of the excess.
  bool excess(std::size_t pos) {
    excess_at_ = pos;
    return false;
  }

  std::string_view text_;
  std::size_t limit_;
  std::vector<Frame> frames_;
  Mode mode_ = Mode::key;
  std::size_t table_level_ = 0;  // levels of the last table header
  std::size_t key_base_ = 0;     // levels above the current key
  std::size_t key_parts_ = 0;    // parts of the current key or header so far
  bool in_part_ = false;         // inside a key part (no "." since it began)
  std::size_t value_level_ = 0;  // level of the current value
  std::size_t excess_at_ = 0;
};

// Index just past the string that starts at pos.
std::size_t NestingScanner::skip_string(std::size_t pos) const {
  const char quote = text_[pos];
  const bool basic = quote == '"';
  const std::size_t end = text_.size();
  if (text_.substr(pos, 3) == std::string_view(basic ? "\"\"\"" : "'''")) {
    // Multi-line: up to three quotes in a row close it; the text may end in
    // one or two quotes of its own just before them.
    for (std::size_t at = pos + 3; at < end; ++at) {
      if (basic && text_[at] == '\\') {
        ++at;  // the escaped byte, a line end included
        continue;
      }
      if (text_[at] == quote && text_.substr(at, 3) == text_.substr(pos, 3)) {
        at += 3;
        for (int extra = 0; extra < 2 && at < end && text_[at] == quote; ++extra) ++at;
        return at;
      }
    }
    return end;
  }
  // One line: the string ends at its quote; a line end before it leaves the
  // string open, which the parser reports.
  for (std::size_t at = pos + 1; at < end; ++at) {
    char c = text_[at];
    if (basic && c == '\\') {
      if (at + 1 < end && text_[at + 1] != '\n') ++at;
      continue;
    }
    if (c == quote) return at + 1;
    if (c == '\n') return at;
  }
  return end;
}

// Index of the line end that ends the comment starting at pos.
std::size_t NestingScanner::skip_comment(std::size_t pos) const {
  std::size_t line_end = text_.find('\n', pos);
  return line_end == std::string_view::npos ? text_.size() : line_end;
}

// Counts one more part of the current key or header.
bool NestingScanner::add_key_part(std::size_t pos) {
  if (in_part_) return true;
  in_part_ = true;
  ++key_parts_;
  if (key_base_ + key_parts_ > limit_) return excess(pos);
  return true;
}

// Opens a bracket of kind at pos.
bool NestingScanner::open(char kind, std::size_t pos) {
  if (value_level_ + 1 > limit_) return excess(pos);
  frames_.push_back(Frame{kind, value_level_});
  if (kind == '{') {
    start_key(value_level_ + 1);
  } else {
    value_level_ += 1;  // the level of the first element
  }
  return true;
}

// Closes the innermost bracket.
void NestingScanner::close() {
  if (frames_.empty()) return;
  value_level_ = frames_.back().level;
  frames_.pop_back();
  mode_ = Mode::value;
}

// Sets up for the next key of a table at base.
void NestingScanner::start_key(std::size_t base) {
  mode_ = Mode::key;
  key_base_ = base;
  key_parts_ = 0;
  in_part_ = false;
}

// One character of a key or a table header at at (which may move past a
// second bracket); false at an excess.
bool NestingScanner::key_char(char c, std::size_t& at, bool top) {
  if (c == ' ' || c == '\t' || c == '\r') {
    in_part_ = false;  // "a . b" has two parts; "a b" is the parser's to refuse
  } else if (c == '\n') {
    if (mode_ == Mode::header) table_level_ = key_parts_;
    if (top) start_key(table_level_);
  } else if (c == '.') {
    in_part_ = false;
  } else if (c == '=' && mode_ == Mode::key) {
    value_level_ = key_base_ + key_parts_;
    mode_ = Mode::value;
  } else if (c == '[' && mode_ == Mode::key && top && key_parts_ == 0) {
    mode_ = Mode::header;
    key_base_ = 0;
    if (at + 1 < text_.size() && text_[at + 1] == '[') ++at;
  } else if (c == ']' && mode_ == Mode::header) {
    table_level_ = key_parts_;
    if (at + 1 < text_.size() && text_[at + 1] == ']') ++at;
    start_key(table_level_);
  } else if (c == '}' && mode_ == Mode::key) {
    close();
  } else if (c != ',' && c != '[' && c != ']' && c != '{' && c != '}') {
    return add_key_part(at);
  }
  return true;
}

// One character of a value at at; false at an excess.
bool NestingScanner::value_char(char c, std::size_t at, bool top) {
  if (c == '[' || c == '{') return open(c, at);
  if (c == ']' || c == '}') {
    close();
  } else if (c == ',' && !top) {
    const Frame& frame = frames_.back();
    if (frame.kind == '{') {
      start_key(frame.level + 1);
    } else {
      value_level_ = frame.level + 1;
    }
  } else if (c == '\n' && top) {
    start_key(table_level_);
  }
  return true;
}

// The line and column of the excess.
TextPosition NestingScanner::excess_position() const {
  TextPosition where;
  where.line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < excess_at_; ++i) {
    if (text_[i] == '\n') {
      ++where.line;
      line_start = i + 1;
    }
  }
  where.column = excess_at_ - line_start + 1;
  return where;
}

// Scans the whole text.
bool NestingScanner::run(TextPosition& where) {
  start_key(0);
  bool within = true;
  std::size_t at = 0;
  while (within && at < text_.size()) {
    const char c = text_[at];
    if (c == '#') {
      at = skip_comment(at);
      continue;
    }
    if (c == '"' || c == '\'') {
      if (mode_ != Mode::value) within = add_key_part(at);
      at = skip_string(at);
      continue;
    }
    const bool top = frames_.empty();
    within = mode_ == Mode::value ? value_char(c, at, top) : key_char(c, at, top);
    ++at;
  }
  if (within) return false;
  where = excess_position();
  return true;
}

}  // namespace

// Finds the first place in text that nests deeper than limit.
bool find_excess_nesting(std::string_view text, std::size_t limit, TextPosition& where) {
  return NestingScanner(text, limit).run(where);
}

}  // namespace dravoututil
