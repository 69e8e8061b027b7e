// document_page.h - a rendered document page as the driver runs it.
//
// The driver runs a document page like any page of a ticket: the page gets
// the rendered size, one separation per ink (named as the document names
// it, with the ink as its colour: group "Process" for the four process
// inks, none for a spot colour, and the ink's screen), and an XMP packet
// listing its plates (plate_xmp.h); each separation's rows come from the
// page's plates.
#ifndef RIPHOST_DOCUMENT_PAGE_H
#define RIPHOST_DOCUMENT_PAGE_H

#include <functional>
#include <memory>
#include <vector>

#include "sources/document/page_plates.h"
#include "sources/row_source.h"
#include "ticket/ticket.h"

namespace riphost {

// The job screen of each ink of the layout.
std::vector<std::size_t> ink_screens(const DocumentSpec& spec, const PageLayout& layout);

// The calibration of each ink of the layout: the device's gamma at the
// job's resolution and the ink's own transfer curve (the screen brings its
// own curve and minimum and maximum dot).
std::vector<ScreenerSetup> ink_setups(const DocumentSpec& spec, const PageLayout& layout, double gamma);

// The page to run: the ticket's page (copies, options, place) with the
// rendered size, the inks' separations and the plates' XMP packet.
Page plate_page(const Page& page, const PageLayout& layout, const std::vector<std::size_t>& screens,
                const std::vector<ScreenSpec>& job_screens);

// The rows of ink of a page's plates, with their runs. stop() is asked while
// the source waits for rows.
std::unique_ptr<RowSource> make_plate_source(PagePlates& plates, std::size_t ink, std::function<bool()> stop);

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_PAGE_H
