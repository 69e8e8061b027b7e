// stages.h - the stages of the output path, in the host's calling order.
//
// Each stage is ordinary C++ behind one exported function (exports.cpp). A
// stage reports its own failures through the host and returns the status code
// the host expects; exceptions that escape a stage are turned into a report
// and a status code at the export.
#ifndef DRAVOUT_STAGES_H
#define DRAVOUT_STAGES_H

#include <cstddef>
#include <cstdint>

#include "drav_dict.h"
#include "drav_host.h"

namespace dravout {

// Lifecycle (lifecycle.cpp).
int open_plugin(HostCallbacks* host_table, int* kind, void** options, CDictContainer** devinfo_out,
                CDictContainerFactory* factory);
int start_job(CDictContainer* job);
int end_job();
int close_plugin();

// Job settings (job_settings.cpp).
int job_settings();
// Reads up to two numbers in one of the forms "a, b", "(a, b" or "xyz(a, b";
// returns how many it converted (0, 1 or 2); a text holding "inf" or "nan"
// converts none. clean (may be null) becomes false when, after the numbers,
// the text holds more than white space and the ")" that closes a "(".
int parse_pair(const char* text, double* first, double* second, bool* clean = nullptr);

// Parameter queries (parameter_queries.cpp).
int get_param(const char* key, void* buffer);
// The resolution list into buffer (size bytes): 0 when built, negative when not.
int get_resolution_list(char* buffer, std::size_t size);

// Page and separation set-up (page_setup.cpp, separation_setup.cpp).
int start_page(CDictContainer* page);
int alloc_scanline_buffers(int32_t width);
int clear_scanline_buffers();
void release_scanline_buffers();
int start_separation(CDictContainer* separation);

// Scanline output (scanline_output.cpp).
int new_scan(ScanlineBuffer** buffer);
int put_scan(ScanlineBuffer* buffer);
int end_page();

// Separation finishing (separation_finish.cpp).
int end_separation();
// Closes and deletes a separation file that the host never ended.
void abandon_open_separation();
// Closes and deletes the separation's file after a failure that leaves it
// incomplete; the separation's later rows and its end then fail.
void discard_separation_file();

}  // namespace dravout

#endif  // DRAVOUT_STAGES_H
