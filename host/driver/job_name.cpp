// job_name.cpp - fitting job, page and separation into the file name's part
// that comes from JOBNAME.
#include "driver/job_name.h"

#include <algorithm>

namespace riphost {

namespace {

// The longest start of text of at most bytes bytes that does not end inside
// a UTF-8 character.
std::string_view utf8_prefix(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t cut = bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) --cut;
  return text.substr(0, cut);
}

}  // namespace

// The page part stays whole; the separation keeps at least half of the room
// left (all it needs when the job's name is short), the job's name the rest.
std::string separation_job_name(std::string_view job, std::size_t page_number, std::string_view separation) {
  std::string page_part = "-p" + std::to_string(page_number) + "-";
  std::size_t room = kFileNameJobBytes - std::min(kFileNameJobBytes, page_part.size());
  std::size_t separation_room = room - std::min(job.size(), room / 2);
  std::string_view separation_part = utf8_prefix(separation, separation_room);
  std::string_view job_part = utf8_prefix(job, room - separation_part.size());
  std::string name;
  name.reserve(job_part.size() + page_part.size() + separation_part.size());
  name.append(job_part).append(page_part).append(separation_part);
  return name;
}

}  // namespace riphost
