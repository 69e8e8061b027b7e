// kept_files.h - keeping a complete file that could not get its final name
// where no cleaner of leftovers ever removes it.
#ifndef DRAVOUTUTIL_KEPT_FILES_H
#define DRAVOUTUTIL_KEPT_FILES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "held_files.h"
#include "output_files.h"

namespace dravoututil {

// Keeps source, a complete temporary file: moved to the visible kept name
// "<stem>.kept<extension>" beside it (UniqueNamer::move_to_kept_name), or,
// when it cannot be moved, left under source with every write permission
// taken away (a temporary file nobody may write is complete: cleaners leave
// it). Ends the hold on source either way and returns the name under which
// the file now is, checked to name it. Throws Failure when the file is under
// neither name or can be neither moved nor marked.
std::string keep_complete_file(UniqueNamer& namer, HeldTemporaries& held, const std::string& source,
                               std::string_view extension, std::size_t capacity);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_KEPT_FILES_H
