// tav_syserror.h - the system's text for an error number, in English.
#ifndef TAV_SYSERROR_H
#define TAV_SYSERROR_H

#include <string>

namespace tav {

// The system's text for an error number, in English whatever the locale;
// safe to call from several threads.
std::string SystemErrorText(int error);

}  // namespace tav

#endif  // TAV_SYSERROR_H
