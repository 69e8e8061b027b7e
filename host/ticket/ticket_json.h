// ticket_json.h - parsing the ticket's JSON text with precise error places.
#ifndef RIPHOST_TICKET_JSON_H
#define RIPHOST_TICKET_JSON_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

namespace riphost {

// Deepest nesting of lists and objects taken (a ticket needs 8 levels).
inline constexpr std::size_t kMaxJsonDepth = 64;

// Most values (numbers, texts, true/false/null, lists and objects, each
// counted once, the ticket object included) a ticket may hold. A ticket of a
// thousand pages needs a few ten thousand; the bound keeps the memory of the
// parsed ticket within a small multiple of its text.
inline constexpr std::size_t kMaxJsonValues = std::size_t{1} << 20;

// Parses JSON text keeping the order of object keys, in time linear in the
// text. Throws HostError: "line L, column C: <what is wrong>" followed by
// the line and a caret under the place (json_syntax_error.h) for a syntax
// error, a zero byte anywhere (also after the value) or nesting beyond
// kMaxJsonDepth; "<place>: key given twice" for a repeated key in one
// object; "<place>: ..." for the value beyond kMaxJsonValues.
nlohmann::ordered_json parse_json(std::string_view text);

}  // namespace riphost

#endif  // RIPHOST_TICKET_JSON_H
