// page_list.cpp - reading page lists.
#include "sources/document/page_list.h"

#include <algorithm>
#include <charconv>

#include "common/host_error.h"

namespace riphost {

namespace {

// A page number of the list; throws with the whole list in the message.
int page_number(std::string_view digits, std::string_view text) {
  int value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || stop != end || value < 1 || value > kMaxPageNumber) {
    throw HostError("pages \"" + std::string(text) + "\": \"" + std::string(digits) +
                    "\" is not a page number (1 to " + std::to_string(kMaxPageNumber) + ")");
  }
  return value;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

PageList PageList::parse(std::string_view text) {
  PageList list;
  list.text_ = std::string(text);
  const std::string_view whole = trim(text);
  if (whole.empty() || whole == "all") return list;
  list.all_ = false;
  std::size_t start = 0;
  while (start <= whole.size()) {
    const std::size_t comma = std::min(whole.find(',', start), whole.size());
    const std::string_view item = trim(whole.substr(start, comma - start));
    const std::size_t dash = item.find('-');
    Range range;
    if (dash == std::string_view::npos) {
      range.first = range.last = page_number(item, text);
    } else {
      range.first = page_number(trim(item.substr(0, dash)), text);
      const std::string_view rest = trim(item.substr(dash + 1));
      if (rest.empty()) {
        list.open_ = true;
      } else {
        range.last = page_number(rest, text);
        if (range.last < range.first) {
          throw HostError("pages \"" + std::string(text) + "\": the range \"" + std::string(item) + "\" runs backwards");
        }
      }
    }
    list.highest_ = std::max({list.highest_, range.first, range.last});
    list.ranges_.push_back(range);
    start = comma + 1;
  }
  return list;
}

std::vector<std::pair<int, int>> PageList::ranges() const {
  if (all_) return {{1, 0}};
  std::vector<std::pair<int, int>> pairs;
  for (const Range& range : ranges_) pairs.emplace_back(range.first, range.last);
  return pairs;
}

std::vector<int> PageList::pages(int count) const {
  std::vector<int> pages;
  if (all_) {
    for (int n = 1; n <= count; ++n) pages.push_back(n);
    return pages;
  }
  for (const Range& range : ranges_) {
    const int last = range.last == 0 ? std::max(count, range.first) : range.last;
    if (last > count) {
      throw HostError("page " + std::to_string(std::max(range.first, count + 1)) +
                      " is beyond the last page of the document (" + std::to_string(count) + ")");
    }
    for (int n = range.first; n <= last; ++n) pages.push_back(n);
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

}  // namespace riphost
