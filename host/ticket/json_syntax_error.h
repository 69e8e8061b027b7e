// json_syntax_error.h - a JSON syntax error told where a reader fixes it.
//
// The parser stops at the token it cannot take, which for the commonest
// slips is not where the fix goes: a missing comma is noticed at the next
// key, a missing colon at the value. The message names the place of the
// fix, says what is missing, and shows the line with a caret under it:
//
//   line 2, column 14: a comma is missing after this value
//       "device": "dev"
//                      ^
#ifndef RIPHOST_JSON_SYNTAX_ERROR_H
#define RIPHOST_JSON_SYNTAX_ERROR_H

#include <cstddef>
#include <string>
#include <string_view>

namespace riphost {

// "line L, column C" of the byte at offset (0-based) in text; columns count
// characters from 1, as editors do (a UTF-8 character counts once).
std::string line_and_column(std::string_view text, std::size_t offset);

// Two lines that show where offset lies: "\n    <its line>\n    <caret>".
// A long line is shown as a window of at most about 100 characters around
// the place; tabs show as single spaces so that the caret stays under its
// character (UTF-8 characters count once).
std::string excerpt(std::string_view text, std::size_t offset);

// The whole message of a syntax error. end is the offset just past the token
// the parser could not take, reason the parser's words for it ("syntax error
// while parsing object - unexpected string literal; expected '}'").
std::string describe_syntax_error(std::string_view text, std::size_t end, const std::string& reason);

}  // namespace riphost

#endif  // RIPHOST_JSON_SYNTAX_ERROR_H
