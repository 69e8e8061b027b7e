// exports.cpp - the thirteen functions the host calls, and nothing else.
//
// Each export is a thin edge: it runs its stage and turns any exception that
// escapes into a report and a status code, so nothing leaves the plug-in as
// an exception.
#include <exception>
#include <new>

#include "dravout.h"
#include "registration.h"
#include "plugin_state.h"
#include "stages.h"

using namespace dravout;

namespace {

// Runs a stage; an escaping exception becomes a level-1 report and failure.
// memory_failure is the code an exhausted memory gives: the operation's own
// failure code where the host expects no other.
template <typename Stage>
int guarded(const char* name, int failure, int memory_failure, Stage&& stage) noexcept {
  try {
    return stage();
  } catch (const CUnivBaseException& e) {
    report(DRAV_MSG_ERROR, "%s", e.what());
  } catch (const std::bad_alloc&) {
    report(DRAV_MSG_ERROR, "%s: out of memory", name);
    return memory_failure;
  } catch (const std::exception& e) {
    report(DRAV_MSG_ERROR, "%s: %s", name, e.what());
  } catch (...) {
    report(DRAV_MSG_ERROR, "%s: unexpected failure", name);
  }
  return failure;
}

}  // namespace

extern "C" {

DRAVOUT_API int dravout_open(HostCallbacks* host_table, int* kind, void** options,
                             CDictContainer** devinfo_out, CDictContainerFactory* factory) {
  return guarded("dravout_open", DRAV_ERR_MEMORY, DRAV_ERR_MEMORY,
                 [&] { return open_plugin(host_table, kind, options, devinfo_out, factory); });
}

DRAVOUT_API int dravout_jobsettings(void) {
  return guarded("dravout_jobsettings", DRAV_ERR_OTHER, DRAV_ERR_MEMORY, [] { return job_settings(); });
}

DRAVOUT_API int dravout_get_param(const char* key, void* value) {
  return guarded("dravout_get_param", 0, 0, [&] { return get_param(key, value); });
}

DRAVOUT_API int dravout_startjob(CDictContainer* job) {
  return guarded("dravout_startjob", DRAV_ERR_OTHER, DRAV_ERR_MEMORY, [&] { return start_job(job); });
}

DRAVOUT_API int dravout_startpage(CDictContainer* page) {
  return guarded("dravout_startpage", DRAV_ERR_OTHER, DRAV_ERR_MEMORY, [&] { return start_page(page); });
}

DRAVOUT_API int dravout_startseparations(CDictContainer* separation) {
  return guarded("dravout_startseparations", DRAV_ERR_OTHER, DRAV_ERR_MEMORY,
                 [&] { return start_separation(separation); });
}

DRAVOUT_API int dravout_newscan(ScanlineBuffer** buffer) { return new_scan(buffer); }

DRAVOUT_API int dravout_putscan(ScanlineBuffer* buffer) {
  return guarded("dravout_putscan", DRAV_ERR_WRITE, DRAV_ERR_WRITE, [&] { return put_scan(buffer); });
}

DRAVOUT_API int dravout_endseparations(void) {
  return guarded("dravout_endseparations", DRAV_ERR_CLOSE, DRAV_ERR_CLOSE, [] { return end_separation(); });
}

DRAVOUT_API int dravout_endpage(void) {
  return guarded("dravout_endpage", DRAV_OK, DRAV_OK, [] { return end_page(); });
}

DRAVOUT_API int dravout_endjob(void) {
  return guarded("dravout_endjob", DRAV_OK, DRAV_OK, [] { return end_job(); });
}

DRAVOUT_API int dravout_close(void) {
  return guarded("dravout_close", DRAV_ERR_OTHER, DRAV_ERR_MEMORY, [] { return close_plugin(); });
}

DRAVOUT_API int drav_extension(void* hook_record, HostCallbacks* host_table) {
  return guarded("drav_extension", 0, 0, [&] { return screeninfo::register_hook(hook_record, host_table); });
}

}  // extern "C"
