// page_list.h - the pages a job takes from a document: "1-3,7", "5-", "all".
#ifndef RIPHOST_PAGE_LIST_H
#define RIPHOST_PAGE_LIST_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace riphost {

// The pages as written: comma-separated numbers and ranges "a-b" (a <= b),
// "a-" (to the last page), or "all" (also the empty text). Numbers from 1.
class PageList {
 public:
  // Throws HostError naming what cannot be read ("pages \"3-1\": ...").
  static PageList parse(std::string_view text);

  // The page numbers in ascending order, each once, for a document of count
  // pages. Throws HostError when a page lies beyond the document ("page 9
  // is beyond the last page of the document (7)").
  std::vector<int> pages(int count) const;

  // Whether the list names pages by number only (no "a-" and not "all"):
  // then highest() tells the largest.
  bool closed() const noexcept { return !all_ && !open_; }
  int highest() const noexcept { return highest_; }
  // The ranges as (first, last) pairs, last 0 for "to the end"; "all" is
  // (1, 0).
  std::vector<std::pair<int, int>> ranges() const;
  const std::string& text() const noexcept { return text_; }

 private:
  struct Range {
    int first = 1;
    int last = 0;  // 0: to the end
  };
  std::vector<Range> ranges_;
  std::string text_;
  bool all_ = true;
  bool open_ = false;
  int highest_ = 0;
};

// Largest page number a list may name.
inline constexpr int kMaxPageNumber = 1000000;

}  // namespace riphost

#endif  // RIPHOST_PAGE_LIST_H
