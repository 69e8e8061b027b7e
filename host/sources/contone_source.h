// contone_source.h - contone content screened by riphost.
//
// A contone separation is an ink value per pixel, 0 (paper) to full ink: a
// grey image (grey g is ink 1 - g), one channel of a CMYK TIFF image (its
// value is the ink) or a built-in gradient. An image is placed on the page
// at its resolution or where the ticket says and resampled to the device
// resolution while it streams (screening/placement.h, screening/resampler.h);
// 16-bit images keep their 16 bits. riphost screens the ink row by row
// (screening/contone_screener.h) and reports every set pixel in exactly one
// run of the plug-in's run callbacks.
#ifndef RIPHOST_CONTONE_SOURCE_H
#define RIPHOST_CONTONE_SOURCE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "screening/contone_screener.h"
#include "screening/tile_preparation.h"
#include "sources/row_source.h"
#include "ticket/ticket.h"

namespace riphost {

// The row source of a contone separation (content.kind == Contone) on a
// page of width x height pixels at ppi, with the device's gamma.
std::unique_ptr<RowSource> make_contone(const ContentSource& content, int width, int height, double ppi,
                                        const std::vector<SelectedScreen>& screens, double gamma = 1.0);

// The screens the page's contone separations screen pixels with (each one's
// first and those of its areas; job_screens: the job's screens), as
// make_contone makes them: to build their tiles before the page.
std::vector<TileRequest> contone_tile_requests(const Page& page, const std::vector<ScreenSpec>& job_screens,
                                               double ppi);

}  // namespace riphost

#endif  // RIPHOST_CONTONE_SOURCE_H
