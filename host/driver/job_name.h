// job_name.h - the JOBNAME riphost gives the plug-in while a separation is
// written.
//
// The output library names each file after JOBNAME: it keeps the first
// kFileNameJobBytes bytes and turns every byte outside A-Z a-z 0-9 . _ - into
// "_". So that the files of one job tell themselves apart, JOBNAME is
// "<job>-p<page number>-<separation>" while a separation is written, with the
// job's name shortened (and the separation's, when it alone is long) to keep
// the whole within that limit. Names are cut on whole UTF-8 characters.
#ifndef RIPHOST_JOB_NAME_H
#define RIPHOST_JOB_NAME_H

#include <cstddef>
#include <string>
#include <string_view>

namespace riphost {

// Bytes of JOBNAME that the output library puts into a file name.
inline constexpr std::size_t kFileNameJobBytes = 64;

// "<job>-p<page_number>-<separation>", shortened to kFileNameJobBytes bytes.
std::string separation_job_name(std::string_view job, std::size_t page_number, std::string_view separation);

}  // namespace riphost

#endif  // RIPHOST_JOB_NAME_H
