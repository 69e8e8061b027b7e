// free_space.h - whether a page's plates can fit the output folder's disk.
//
// Before a page's first separation riphost compares what the page's plates
// need on disk with the free space of the output folder's file system
// (statvfs: the blocks an unprivileged writer may use), so that a page at a
// resolution the disk cannot hold (an A4 page at 40000 ppi: four plates of
// some 19 GB of raster each) is refused before it starts instead of
// filling the disk.
//
// What a plate needs: its raster is width x height pixels at the bits per
// pixel of OFORMAT (1, 8 or 16), rows padded to whole bytes. Stored
// uncompressed (OCOMPRESS NONE) a plate takes at least that; compressed, it
// takes at least that divided by the most its compression can shrink data
// (PackBits: 64 to 1, Deflate: 1032 to 1), and at most about the raster
// size. A page is refused when the most its plates may take is more than
// the free space: halftone plates compress little, so a page whose raster
// does not fit would most likely fill the disk part-way and fail after
// hours of work; refusing it costs nothing.
#ifndef RIPHOST_FREE_SPACE_H
#define RIPHOST_FREE_SPACE_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/message.h"
#include "driver/option_store.h"

namespace riphost {

enum class PlateCompression { None, PackBits, Deflate };

struct PlateFormat {
  int bits_per_pixel = 1;
  PlateCompression compression = PlateCompression::Deflate;
};

// The format from the plug-in's OFORMAT and OCOMPRESS texts (empty: the
// plug-in's defaults, FW8B and FLATE; an unknown text is taken as the
// default, the plug-in refuses it on its own).
PlateFormat plate_format(std::string_view oformat, std::string_view ocompress);

// The format the options in force give (OFORMAT, OCOMPRESS).
PlateFormat plate_format(const OptionStore& options);

// Bytes the plates of one page take on disk, at least and at most.
struct DiskNeed {
  std::uint64_t least = 0;
  std::uint64_t most = 0;
};

// The need of plates plates of width x height pixels each.
DiskNeed page_disk_need(std::int64_t width, std::int64_t height, std::size_t plates, const PlateFormat& format);

// Bytes an unprivileged writer may still write in folder's file system;
// a folder still to be made counts its nearest existing parent's; nothing
// when it cannot be told.
std::optional<std::uint64_t> free_bytes(const std::filesystem::path& folder);

// "2.5 GB", "730 MB", "12 kB", "100 bytes" (decimal units, "C" locale).
std::string byte_count(std::uint64_t bytes);

// What a page whose plates need need says about a folder with free bytes:
// a refusal (one sentence without the page's place) when the most its
// plates may take does not fit; empty when it does.
struct SpaceVerdict {
  std::string refusal;
};
SpaceVerdict judge_space(const DiskNeed& need, std::uint64_t free, std::size_t plates,
                         const std::filesystem::path& folder);

// The check before a page's first separation: the page (where: its place)
// of plates plates of width x height pixels in format against folder's free
// space. False after reporting the refusal to sink; a folder whose space
// cannot be told passes.
bool check_page_space(const std::string& where, std::int64_t width, std::int64_t height, std::size_t plates,
                      const PlateFormat& format, const std::filesystem::path& folder, MessageSink& sink);

}  // namespace riphost

#endif  // RIPHOST_FREE_SPACE_H
