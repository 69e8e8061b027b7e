// plate_spool.h - screened rows of a plate that waits for its turn.
//
// The plug-in takes one separation at a time, but Ghostscript renders all
// inks of a band together. The first ink goes to the plug-in as it is
// screened; the screened rows of the others are kept in one nameless spool
// file per ink (spool_file.h) and handed over when their separation comes.
// A spool holds the page's screened rows, Deflate-compressed band by band:
// no more than the compressed 1-bit plate.
//
// Record of a band: rows (u32), raw bytes (u32), compressed bytes (u32),
// CRC-32 of the raw bytes (u32), then the compressed raw bytes: the bits of every row, then for every row
// its number of solid runs and the runs (x as the distance from the end of
// the last run, and the length), as LEB128 numbers.
#ifndef RIPHOST_PLATE_SPOOL_H
#define RIPHOST_PLATE_SPOOL_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/document/ink_screening.h"
#include "sources/document/spool_file.h"

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace riphost {

// Writes a spool, band by band, into a nameless file in folder. Throws
// HostError when the file cannot be made or written (the reason of the
// system first).
class SpoolWriter {
 public:
  SpoolWriter(const std::filesystem::path& folder, int width);
  ~SpoolWriter();
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  // Adds a screened row to the band being gathered.
  void add_row(const std::uint8_t* bits, const RunList& solids);
  // Writes the gathered rows as one record.
  void end_band();
  // Writes what is left; the file stays open for take_file.
  void finish();
  // The finished file, for a SpoolReader; the writer no longer holds it.
  std::FILE* take_file() noexcept;
  std::uint64_t bytes_written() const noexcept { return written_; }

 private:
  void write(const void* data, std::size_t bytes);

  std::FILE* out_ = nullptr;
  std::size_t row_bytes_;
  std::vector<std::uint8_t> bits_;  // the band's rows
  std::vector<std::uint8_t> runs_;  // the band's solid runs, encoded
  std::vector<std::uint8_t> packed_;
  std::uint32_t rows_ = 0;
  std::uint64_t written_ = 0;
  libdeflate_compressor* compressor_ = nullptr;
};

// Reads a spool back row by row from its start. It takes the file over and
// closes it when it goes, which frees a nameless file's space.
class SpoolReader {
 public:
  SpoolReader(std::FILE* file, int width);
  ~SpoolReader();
  SpoolReader(const SpoolReader&) = delete;
  SpoolReader& operator=(const SpoolReader&) = delete;

  // The next row's bits (valid until the next call) and solid runs. Throws
  // HostError when the spool ends early or is damaged.
  const std::uint8_t* next_row(RunList& solids);

 private:
  void read_band();

  std::FILE* in_ = nullptr;
  std::size_t row_bytes_;
  int width_;
  std::vector<std::uint8_t> packed_;
  std::vector<std::uint8_t> raw_;
  std::uint32_t rows_ = 0;
  std::uint32_t row_ = 0;
  std::size_t runs_at_ = 0;
  libdeflate_decompressor* decompressor_ = nullptr;
};

}  // namespace riphost

#endif  // RIPHOST_PLATE_SPOOL_H
