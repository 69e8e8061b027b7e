// ticket_json.cpp - JSON parsing for the ticket: syntax errors with line and
// column, repeated keys refused rather than silently overwritten, and limits
// on nesting and on the number of values.
//
// The tree is built by a SAX handler of our own rather than the library's
// parser with a callback: that parser walks the whole parent list after
// every list or object ends, so a ticket of n empty objects took n² steps
// (400,000 of them: 20 s), and an ordered object looks for each new key among
// the earlier ones. Here keys are appended and checked for repeats once their
// object is complete, and every value costs the same whatever came before.
#include "ticket/ticket_json.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/host_error.h"
#include "sources/input_kind.h"
#include "ticket/json_syntax_error.h"

namespace riphost {

namespace {

using Json = nlohmann::ordered_json;

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

// Builds the tree from the parser's events. Each open list or object is a
// frame holding the container and where the parser is inside it.
class TreeBuilder final : public nlohmann::json_sax<Json> {
 public:
  explicit TreeBuilder(std::string_view text) : text_(text) {}

  Json take() { return std::move(root_); }

  bool null() override { return add(Json(nullptr)); }
  bool boolean(bool value) override { return add(Json(value)); }
  bool number_integer(number_integer_t value) override { return add(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
  bool number_float(number_float_t value, const string_t&) override { return add(Json(value)); }
  bool string(string_t& value) override { return add(Json(std::move(value))); }
  bool binary(binary_t& value) override { return add(Json::binary(std::move(value))); }

  bool start_object(std::size_t) override { return open(Json::object()); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_object() override {
    refuse_repeated_keys();
    return close();
  }
  bool end_array() override { return close(); }

  bool key(string_t& key) override {
    frames_.back().key = std::move(key);
    return true;
  }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error) override {
    throw HostError(describe_syntax_error(text_, position, parse_error_reason(error.what())));
  }

 private:
  struct Frame {
    Json* container = nullptr;
    std::string key;  // objects: key of the value being read
  };

  // The place of the value being read, e.g. "jobs[1].options.RES": in each
  // list its last element (in the innermost one the element to come), in
  // each object the key read last (in the innermost one key, when given).
  std::string place_of(const std::string* key) const {
    std::string place;
    for (const Frame& frame : frames_) {
      const bool innermost = &frame == &frames_.back();
      if (frame.container->is_array()) {
        const std::size_t size = frame.container->size();
        place += "[" + std::to_string(innermost ? size : size - 1) + "]";
      } else {
        if (!place.empty()) place += ".";
        place += innermost && key ? *key : frame.key;
      }
    }
    return place;
  }

  // Refuses a key given twice in the innermost object, which is complete:
  // its keys sorted with their order, the first repeat in the text is the
  // smallest index that follows an equal key. n log n whatever the keys.
  void refuse_repeated_keys() const {
    const auto& object = frames_.back().container->get_ref<const Json::object_t&>();
    if (object.size() < 2) return;
    std::vector<std::pair<std::string_view, std::size_t>> keys;
    keys.reserve(object.size());
    for (const auto& [key, value] : object) keys.emplace_back(key, keys.size());
    std::sort(keys.begin(), keys.end());
    std::size_t first_repeat = object.size();
    for (std::size_t i = 1; i < keys.size(); ++i) {
      if (keys[i].first == keys[i - 1].first) first_repeat = std::min(first_repeat, keys[i].second);
    }
    if (first_repeat == object.size()) return;
    const std::string key = (object.begin() + static_cast<std::ptrdiff_t>(first_repeat))->first;
    throw HostError(place_of(&key) + ": key given twice");
  }

  // Puts value into the innermost container (or makes it the root) and
  // returns where it now lies.
  Json* put(Json&& value) {
    if (++values_ > kMaxJsonValues) {
      throw HostError((frames_.empty() ? std::string("the ticket") : place_of(nullptr)) + ": the ticket holds more than " + std::to_string(kMaxJsonValues) +
                      " values (numbers, texts, lists and objects)");
    }
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame& frame = frames_.back();
    if (frame.container->is_array()) {
      auto& list = frame.container->get_ref<Json::array_t&>();
      list.push_back(std::move(value));
      return &list.back();
    }
    // Appended without the ordered map's search: the key set refused repeats.
    auto& object = frame.container->get_ref<Json::object_t&>();
    object.Json::object_t::Container::emplace_back(frame.key, std::move(value));
    return &object.back().second;
  }

  bool add(Json&& value) {
    put(std::move(value));
    return true;
  }

  // A container stays where put placed it until it is closed: only the
  // innermost container grows.
  bool open(Json&& container) {
    Json* placed = put(std::move(container));
    frames_.push_back(Frame{placed, std::string()});
    return true;
  }

  bool close() {
    frames_.pop_back();
    return true;
  }

  std::string_view text_;
  Json root_;
  std::vector<Frame> frames_;
  std::size_t values_ = 0;
};

}  // namespace

// What the text is when it is no JSON, the zero byte and nesting checks first, then one pass of the parser.
Json parse_json(std::string_view text) {
  // A photo or a document piped in is named for what it is, not reported
  // as a zero byte or a syntax error at its first byte.
  if (const std::string problem = not_a_ticket(text); !problem.empty()) throw HostError(problem);
  // JSON has no place for a zero byte, not even after the value; the parser
  // would take one as the end of the text and ignore what follows.
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) {
    throw HostError(line_and_column(text, zero) + ": zero byte (a ticket is UTF-8 text without zero bytes)");
  }
  check_nesting(text);
  TreeBuilder builder(text);
  try {
    Json::sax_parse(text.begin(), text.end(), &builder);
  } catch (const Json::exception& error) {
    throw HostError(std::string("unreadable JSON: ") + error.what());
  }
  return builder.take();
}

}  // namespace riphost
