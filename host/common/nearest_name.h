// nearest_name.h - the likely intended name behind a slip of the keyboard,
// for "unknown ... (did you mean OFORMAT?)" messages.
#ifndef RIPHOST_NEAREST_NAME_H
#define RIPHOST_NEAREST_NAME_H

#include <cstddef>
#include <string_view>

namespace riphost {

// Edits (insert, delete, replace, swap two neighbours) that turn a into b,
// without regard to ASCII case; counting stops above limit (limit + 1 is
// returned then).
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit);

// Keeps the candidate nearest to a name that is close enough to be a likely
// slip: at most two edits, and at most one per three characters of the
// longer name. Of equally near candidates the first one offered stays.
class NearestName {
 public:
  explicit NearestName(std::string_view name) noexcept : name_(name) {}

  // Considers one candidate; its text must outlive the NearestName.
  void consider(std::string_view candidate);

  // The nearest candidate, or an empty view when none was close enough.
  std::string_view best() const noexcept { return best_; }

 private:
  std::string_view name_;
  std::string_view best_;
  std::size_t distance_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_NEAREST_NAME_H
