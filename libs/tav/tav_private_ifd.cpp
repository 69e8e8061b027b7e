// tav_private_ifd.cpp - coding and bounds-checked reading of the private IFD
// that holds the tag directory.
#include "tav_private_ifd.h"

#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "tav_layout.h"
#include "tav_syserror.h"

namespace tav {
namespace {

constexpr uint16_t kTypeByte = 1;       // TIFF BYTE
constexpr uint16_t kTypeUndefined = 7;  // TIFF UNDEFINED

// Sizes of the parts of an IFD in a form.
struct IfdSizes {
  std::size_t count;  // the entry count
  std::size_t entry;  // one entry
  std::size_t value;  // an entry's value or offset field, and the next-IFD offset
};

IfdSizes SizesOf(const IfdForm& form) noexcept {
  return form.bigtiff ? IfdSizes{8, 20, 8} : IfdSizes{2, 12, 4};
}

// Stores v in size bytes at p in the form's byte order.
void Put(uint8_t* p, uint64_t v, std::size_t size, bool big_endian) noexcept {
  for (std::size_t i = 0; i < size; ++i) {
    p[big_endian ? size - 1 - i : i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

// Reads size bytes at p in the form's byte order.
uint64_t Get(const uint8_t* p, std::size_t size, bool big_endian) noexcept {
  uint64_t v = 0;
  for (std::size_t i = 0; i < size; ++i) v |= uint64_t{p[big_endian ? size - 1 - i : i]} << (8 * i);
  return v;
}

[[noreturn]] void Fault(const std::string& why) { throw std::runtime_error(why); }

std::string IfdAt(uint64_t at) { return "the private IFD at offset " + std::to_string(at); }

// Where the value of the entry for tag 65342 at entry (index i of the IFD at
// at) lies, after checking its type, size and place.
ByteRange EntryValue(const uint8_t* entry, const IfdForm& form, uint64_t at, uint64_t i,
                     uint64_t file_size) {
  const IfdSizes s = SizesOf(form);
  const uint64_t type = Get(entry + 2, 2, form.big_endian);
  if (type != kTypeUndefined && type != kTypeByte) {
    Fault("the entry for tag " + std::to_string(kDirectoryTiffTag) + " in " + IfdAt(at) +
          " has TIFF type " + std::to_string(type) + ", not a byte array");
  }
  ByteRange range;
  range.size = Get(entry + 4, s.value, form.big_endian);
  if (range.size > kMaxDirectoryBytes) {
    Fault("the TAV tag directory in " + IfdAt(at) + " claims " + std::to_string(range.size) +
          " bytes, more than the " + std::to_string(kMaxDirectoryBytes) + " a TAV file allows");
  }
  // A value that fits the entry's value field is stored in it.
  range.offset = range.size <= s.value ? at + s.count + i * s.entry + 4 + s.value
                                       : Get(entry + 4 + s.value, s.value, form.big_endian);
  if (range.offset > file_size || range.size > file_size - range.offset) {
    Fault("the TAV tag directory at offset " + std::to_string(range.offset) + " (" +
          std::to_string(range.size) + " bytes) runs past the end of the file");
  }
  return range;
}

}  // namespace

std::size_t PrivateIfdBytes(const IfdForm& form) noexcept {
  const IfdSizes s = SizesOf(form);
  return s.count + s.entry + s.value;
}

// Entry count 1, the entry, next-IFD offset 0.
std::vector<uint8_t> EncodePrivateIfd(const IfdForm& form, uint64_t at, uint64_t data_size) {
  const IfdSizes s = SizesOf(form);
  const uint64_t data_at = at + PrivateIfdBytes(form);
  const uint64_t limit = form.bigtiff ? UINT64_MAX : UINT32_MAX;
  if (data_size <= s.value || data_at < at || data_at > limit || data_size > limit - data_at) {
    return {};
  }
  std::vector<uint8_t> ifd(PrivateIfdBytes(form), 0);
  uint8_t* p = ifd.data();
  const bool be = form.big_endian;
  Put(p, 1, s.count, be);
  uint8_t* entry = p + s.count;
  Put(entry, kDirectoryTiffTag, 2, be);
  Put(entry + 2, kTypeUndefined, 2, be);
  Put(entry + 4, data_size, s.value, be);
  Put(entry + 4 + s.value, data_at, s.value, be);
  return ifd;  // the next-IFD offset stays 0
}

// Finds the entry for tag 65342 after checking the IFD against the file.
ByteRange LocateDirectory(int fd, uint64_t file_size, const IfdForm& form, uint64_t at) {
  const IfdSizes s = SizesOf(form);
  if (at == 0 || at >= file_size || file_size - at < s.count) {
    Fault(IfdAt(at) + " lies outside the file of " + std::to_string(file_size) + " bytes");
  }
  std::vector<uint8_t> bytes;
  ReadExactly(fd, at, s.count, bytes);
  const uint64_t entries = Get(bytes.data(), s.count, form.big_endian);
  // libtiff refuses more entries in BigTIFF as well; the table is then read
  // at once (at most 1.3 MB).
  if (entries == 0 || entries > 0xFFFF) {
    Fault(IfdAt(at) + " has " + std::to_string(entries) + " entries");
  }
  if (entries * s.entry > file_size - at - s.count) {
    Fault(IfdAt(at) + " with " + std::to_string(entries) + " entries runs past the end of the file");
  }
  ReadExactly(fd, at + s.count, static_cast<std::size_t>(entries * s.entry), bytes);
  for (uint64_t i = 0; i < entries; ++i) {
    const uint8_t* entry = bytes.data() + i * s.entry;
    if (Get(entry, 2, form.big_endian) == kDirectoryTiffTag) {
      return EntryValue(entry, form, at, i, file_size);
    }
  }
  Fault(IfdAt(at) + " has no entry for tag " + std::to_string(kDirectoryTiffTag));
}

void ReadExactly(int fd, uint64_t offset, std::size_t size, std::vector<uint8_t>& out) {
  out.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fault("cannot read " + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
            ": " + SystemErrorText(errno));
    }
    if (n == 0) {
      Fault("the file ends before the " + std::to_string(size) + " bytes at offset " +
            std::to_string(offset));
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace tav
