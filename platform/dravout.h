// dravout.h - the functions the output plug-in exports, as the host calls them.
//
// The plug-in (libdravout.so) exports exactly these thirteen functions with C
// linkage. The host resolves them by name with dlsym and calls them on one
// thread, in this order: open; per job jobsettings and startjob; per page
// startpage, per separation startseparations, newscan/putscan per scanline,
// endseparations; endpage after the page; endjob after the job; close.
// get_param may come at any time between open and close, drav_extension
// whenever the host registers a screening hook.
#ifndef DRAVOUT_H
#define DRAVOUT_H

#include "drav_host.h"

#ifdef __cplusplus
class CDictContainer;
class CDictContainerFactory;
extern "C" {
#else
typedef struct CDictContainer CDictContainer;
typedef struct CDictContainerFactory CDictContainerFactory;
#endif

#define DRAVOUT_API __attribute__((visibility("default")))

// Starts the plug-in: *kind receives 4, *options the merged option list
// (a DravOptionDecl array ended by a null key, owned by the plug-in until
// close), *devinfo the device description container "devinfo" made through
// factory.
DRAVOUT_API int dravout_open(HostCallbacks* host, int* kind, void** options,
                             CDictContainer** devinfo, CDictContainerFactory* factory);
DRAVOUT_API int dravout_jobsettings(void);
// Answers a query (1) or not (0). For a query key the plug-in writes its
// answer into value, which holds DRAV_PARAM_ANSWER_SIZE bytes; for a cutting
// text ("SCPAll", "SCP<n>", "CCP<n>") or "screeningtechnology" it reads the
// zero-terminated text at value.
DRAVOUT_API int dravout_get_param(const char* key, void* value);
DRAVOUT_API int dravout_startjob(CDictContainer* job);
DRAVOUT_API int dravout_startpage(CDictContainer* page);
DRAVOUT_API int dravout_startseparations(CDictContainer* separation);
// *buffer receives the plug-in's scanline buffer for the next scanline.
DRAVOUT_API int dravout_newscan(ScanlineBuffer** buffer);
DRAVOUT_API int dravout_putscan(ScanlineBuffer* buffer);
DRAVOUT_API int dravout_endseparations(void);
DRAVOUT_API int dravout_endpage(void);
DRAVOUT_API int dravout_endjob(void);
DRAVOUT_API int dravout_close(void);
// Offers a screening hook record (see screening_hooks.h): 1 claimed, 0 not
// the plug-in's hook, -1 unsupported record version.
DRAVOUT_API int drav_extension(void* hook_record, HostCallbacks* host);

typedef int (*dravout_open_fn)(HostCallbacks*, int*, void**, CDictContainer**, CDictContainerFactory*);
typedef int (*dravout_void_fn)(void);
typedef int (*dravout_get_param_fn)(const char*, void*);
typedef int (*dravout_container_fn)(CDictContainer*);
typedef int (*dravout_newscan_fn)(ScanlineBuffer**);
typedef int (*dravout_putscan_fn)(ScanlineBuffer*);
typedef int (*drav_extension_fn)(void*, HostCallbacks*);

#ifdef __cplusplus
}
#endif

#endif  // DRAVOUT_H
