// output_files.h - the output files' life: a temporary file under a name no
// other writer holds, its move to a unique final name, and unique copies.
#ifndef DRAVOUTUTIL_OUTPUT_FILES_H
#define DRAVOUTUTIL_OUTPUT_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "file_ops.h"

namespace dravoututil {

// Most names tried before a unique name is given up.
inline constexpr unsigned long kMaxCandidates = 1000000;

// Creates, empty, the temporary file
//   <folder>/.<job>-YYYYMMDD-HHMMSS.<pid>.<sequence><suffix>
// (job sanitised, time the local time of seconds) and returns its name. A
// taken name is passed over for the next sequence number. Throws Failure,
// creating nothing, when the name is capacity bytes or longer (no room for
// its zero byte) or the file cannot be created.
std::string create_temporary_file(std::string_view folder, std::string_view job,
                                  std::string_view suffix, std::int32_t seconds,
                                  std::size_t capacity);

// Moves source to the first free name of <folder of source>/<stem><extension>,
// <stem>-2<extension>, <stem>-3<extension>, ... (stem_of_temporary), after
// syncing the file; then syncs the folder. Returns the final name. Throws
// Failure when a name would not fit capacity bytes or the move fails; the
// file then keeps the name source. last_tried receives every name tried.
std::string move_to_unique_name(const std::string& source, std::string_view extension,
                                std::size_t capacity, std::string& last_tried,
                                MoveMethod method = MoveMethod::automatic);

// Copies source (a final name, split_final_name) into a temporary file in
// its folder, syncs it and gives it the first free name <stem>-2<ext>,
// <stem>-3<ext>, ...; then syncs the folder. Returns the new name. Throws
// Failure on any error, leaving neither the temporary file nor a final name.
std::string copy_to_unique_name(const std::string& source, std::size_t capacity,
                                MoveMethod method = MoveMethod::automatic);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_OUTPUT_FILES_H
