// ticket_json.cpp - JSON parsing for the ticket: syntax errors with line and
// column, repeated keys refused rather than silently overwritten, and a limit
// on nesting (the parser's memory grows with the depth, by far more than the
// text does).
#include "ticket/ticket_json.h"

#include <set>
#include <string>
#include <vector>

#include "common/host_error.h"

namespace riphost {

namespace {

using Json = nlohmann::ordered_json;

// One open object or array while parsing: where the parser is inside it.
struct Frame {
  bool array = false;
  std::size_t index = 0;     // arrays: index of the element being read
  std::string key;           // objects: key of the value being read
  std::set<std::string> keys;
};

// The place of key in the innermost open object, e.g. "jobs[1].options.RES".
std::string place_of(const std::vector<Frame>& frames, const std::string& key) {
  std::string place;
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    if (frames[i].array) {
      place += "[" + std::to_string(frames[i].index) + "]";
    } else {
      if (!place.empty()) place += ".";
      place += frames[i].key;
    }
  }
  if (!place.empty()) place += ".";
  return place + key;
}

// "line L, column C" of the character at byte offset (0-based) in text.
std::string line_and_column(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

// Refuses text whose lists and objects nest deeper than kMaxJsonDepth. Brackets
// inside strings do not count; a syntax error is left to the parser.
void check_nesting(std::string_view text) {
  std::size_t depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) {
        throw HostError(line_and_column(text, i) + ": nested too deeply (at most " + std::to_string(kMaxJsonDepth) +
                        " levels of lists and objects)");
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
}

// The part of a parse error's text after nlohmann's own position prefix.
std::string parse_error_reason(const char* what) {
  std::string text = what;
  std::size_t column = text.find("column ");
  std::size_t colon = text.find(": ", column == std::string::npos ? 0 : column);
  return colon == std::string::npos ? text : text.substr(colon + 2);
}

}  // namespace

// Parses the text, tracking the place of every key to name repeated ones.
Json parse_json(std::string_view text) {
  // JSON has no place for a zero byte, not even after the value; the parser
  // would take one as the end of the text and ignore what follows.
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) {
    throw HostError(line_and_column(text, zero) + ": zero byte (a ticket is UTF-8 text without zero bytes)");
  }
  check_nesting(text);
  std::vector<Frame> frames;
  auto element_done = [&frames] {
    if (!frames.empty() && frames.back().array) ++frames.back().index;
  };
  Json::parser_callback_t callback = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
        frames.push_back(Frame{});
        break;
      case Json::parse_event_t::array_start:
        frames.emplace_back();
        frames.back().array = true;
        break;
      case Json::parse_event_t::key: {
        Frame& frame = frames.back();
        std::string key = parsed.get<std::string>();
        if (!frame.keys.insert(key).second) throw HostError(place_of(frames, key) + ": key given twice");
        frame.key = std::move(key);
        break;
      }
      case Json::parse_event_t::value:
        element_done();
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        if (!frames.empty()) frames.pop_back();
        element_done();
        break;
    }
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), callback);
  } catch (const Json::parse_error& error) {
    std::size_t offset = error.byte == 0 ? 0 : error.byte - 1;
    throw HostError(line_and_column(text, offset) + ": " + parse_error_reason(error.what()));
  } catch (const Json::exception& error) {
    throw HostError(std::string("unreadable JSON: ") + error.what());
  }
}

}  // namespace riphost
