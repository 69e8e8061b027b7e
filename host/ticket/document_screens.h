// document_screens.h - the screens of a document's inks.
//
// Each ink of a document page takes one of the job's screens: the one the
// ticket names for it, else the job's screen called like the ink ("Cyan",
// "Magenta", "Yellow", "Black"; "Spot" for every spot colour), else a
// default of riphost's: round dots at the given ruling (150 lpi unless told)
// and C 15, M 75, Y 0, K 45 degrees, spot colours 45 degrees.
#ifndef RIPHOST_DOCUMENT_SCREENS_H
#define RIPHOST_DOCUMENT_SCREENS_H

#include <vector>

#include "ticket/document_spec.h"
#include "ticket/screen_spec.h"

namespace riphost {

inline constexpr double kDocumentRuling = 150.0;
inline constexpr const char* kSpotScreenName = "Spot";

// Sets spec's process and spot screens to the job's screens named like
// them, adding riphost's defaults at ruling to screens where the job has
// none.
void choose_document_screens(std::vector<ScreenSpec>& screens, double ruling, DocumentSpec& spec);

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_SCREENS_H
