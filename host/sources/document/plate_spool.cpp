// plate_spool.cpp - writing and reading spooled plates.
#include "sources/document/plate_spool.h"

#include <libdeflate.h>

#include <cerrno>
#include <cstring>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "sources/document/private_temp.h"

namespace riphost {

namespace {

// Deflate level of spooled bands: the fastest, the spool lives a page long.
constexpr int kSpoolLevel = 1;

void put_number(std::vector<std::uint8_t>& out, std::uint32_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

// Reads a LEB128 number at at; false when the record ends first.
bool get_number(const std::vector<std::uint8_t>& in, std::size_t& at, std::uint32_t& value) {
  value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (at >= in.size()) return false;
    const std::uint8_t byte = in[at++];
    value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

std::string failure(const char* what) {
  const int reason = errno;
  if (reason == ENOSPC || reason == EDQUOT) return temp_failure(private_folder_base(), reason) + " (" + what + ")";
  return std::string(std::strerror(reason)) + " (" + what + ")";
}

const char* const kDamaged = "a spool file is damaged";
const char* const kShort = "a spool file ends early";

}  // namespace

SpoolWriter::SpoolWriter(const std::filesystem::path& folder, int width)
    : out_(open_spool_file(folder)), row_bytes_(row_bytes(width)) {
  compressor_ = libdeflate_alloc_compressor(kSpoolLevel);
  if (!compressor_) {
    std::fclose(out_);
    throw HostError("out of memory for the spool's compressor");
  }
}

SpoolWriter::~SpoolWriter() {
  if (out_) std::fclose(out_);
  libdeflate_free_compressor(compressor_);
}

void SpoolWriter::add_row(const std::uint8_t* bits, const RunList& solids) {
  bits_.insert(bits_.end(), bits, bits + row_bytes_);
  put_number(runs_, static_cast<std::uint32_t>(solids.size()));
  std::int32_t end = 0;
  for (std::size_t i = 0; i < solids.size(); ++i) {
    put_number(runs_, static_cast<std::uint32_t>(solids.x[i] - end));
    put_number(runs_, static_cast<std::uint32_t>(solids.length[i]));
    end = solids.x[i] + solids.length[i];
  }
  ++rows_;
}

void SpoolWriter::end_band() {
  if (rows_ == 0) return;
  bits_.insert(bits_.end(), runs_.begin(), runs_.end());
  packed_.resize(libdeflate_deflate_compress_bound(compressor_, bits_.size()));
  const std::size_t packed = libdeflate_deflate_compress(compressor_, bits_.data(), bits_.size(), packed_.data(),
                                                         packed_.size());
  const std::uint32_t header[4] = {rows_, static_cast<std::uint32_t>(bits_.size()),
                                   static_cast<std::uint32_t>(packed),
                                   libdeflate_crc32(0, bits_.data(), bits_.size())};
  write(header, sizeof header);
  write(packed_.data(), packed);
  bits_.clear();
  runs_.clear();
  rows_ = 0;
}

void SpoolWriter::finish() {
  end_band();
  if (out_ && (std::fflush(out_) != 0 || std::ferror(out_))) throw HostError(failure("writing a spool file"));
}

std::FILE* SpoolWriter::take_file() noexcept {
  std::FILE* file = out_;
  out_ = nullptr;
  return file;
}

void SpoolWriter::write(const void* data, std::size_t bytes) {
  if (!out_ || std::fwrite(data, 1, bytes, out_) != bytes) throw HostError(failure("writing a spool file"));
  written_ += bytes;
}

SpoolReader::SpoolReader(std::FILE* file, int width) : in_(file), row_bytes_(row_bytes(width)), width_(width) {
  if (!in_) throw HostError("no spool file to read");
  if (std::fseek(in_, 0, SEEK_SET) != 0) {
    const std::string message = failure("reading a spool file");
    std::fclose(in_);
    throw HostError(message);
  }
  decompressor_ = libdeflate_alloc_decompressor();
  if (!decompressor_) {
    std::fclose(in_);
    throw HostError("out of memory for the spool's decompressor");
  }
}

SpoolReader::~SpoolReader() {
  std::fclose(in_);
  libdeflate_free_decompressor(decompressor_);
}

void SpoolReader::read_band() {
  std::uint32_t header[4] = {};
  if (std::fread(header, sizeof header, 1, in_) != 1) throw HostError(kShort);
  const std::uint32_t rows = header[0];
  // A record never holds more than its rows' bits and the most runs a row
  // can have; anything larger is damage.
  const std::uint64_t most = static_cast<std::uint64_t>(rows) * (row_bytes_ + 5 + 10ull * (width_ / 2 + 1));
  if (rows == 0 || header[1] < rows * row_bytes_ || header[1] > most || header[2] > header[1] + 1024 + header[1] / 8) {
    throw HostError(kDamaged);
  }
  packed_.resize(header[2]);
  raw_.resize(header[1]);
  if (std::fread(packed_.data(), 1, packed_.size(), in_) != packed_.size()) {
    throw HostError(kShort);
  }
  std::size_t out = 0;
  if (libdeflate_deflate_decompress(decompressor_, packed_.data(), packed_.size(), raw_.data(), raw_.size(), &out) !=
          LIBDEFLATE_SUCCESS ||
      out != raw_.size() || libdeflate_crc32(0, raw_.data(), raw_.size()) != header[3]) {
    throw HostError(kDamaged);
  }
  rows_ = rows;
  row_ = 0;
  runs_at_ = static_cast<std::size_t>(rows) * row_bytes_;
}

const std::uint8_t* SpoolReader::next_row(RunList& solids) {
  if (row_ >= rows_) read_band();
  solids.clear();
  std::uint32_t count = 0;
  if (!get_number(raw_, runs_at_, count)) throw HostError(kDamaged);
  std::int32_t end = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t gap = 0;
    std::uint32_t length = 0;
    if (!get_number(raw_, runs_at_, gap) || !get_number(raw_, runs_at_, length) ||
        static_cast<std::int64_t>(end) + gap + length > width_) {
      throw HostError(kDamaged);
    }
    solids.x.push_back(end + static_cast<std::int32_t>(gap));
    solids.length.push_back(static_cast<std::int32_t>(length));
    end += static_cast<std::int32_t>(gap + length);
  }
  return raw_.data() + static_cast<std::size_t>(row_++) * row_bytes_;
}

}  // namespace riphost
