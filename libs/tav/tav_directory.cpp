// tav_directory.cpp - encoding and bounds-checked decoding of the tag
// directory.
#include "tav_directory.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tav_layout.h"

namespace tav {
namespace {

constexpr char kMagic[4] = {'T', 'A', 'V', 'D'};

// Stores v little-endian in size bytes at p.
void PutLe(uint8_t* p, uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads size little-endian bytes at p.
uint64_t GetLe(const uint8_t* p, std::size_t size) {
  uint64_t v = 0;
  for (std::size_t i = 0; i < size; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

[[noreturn]] void Damaged(const std::string& why) {
  throw std::runtime_error("damaged TAV tag directory: " + why);
}

}  // namespace

// Starts with room for the header.
DirectoryBuilder::DirectoryBuilder() : bytes_(kDirectoryHeaderBytes, 0) {}

// Appends one entry after checking name and size limits.
bool DirectoryBuilder::Add(std::string_view name, const uint8_t* value, std::size_t size) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  if (size > 0 && value == nullptr) return false;
  const uint64_t entry = kDirectoryEntryHeaderBytes + uint64_t{name.size()} + uint64_t{size};
  if (size > UINT32_MAX || bytes_.size() + entry > kMaxDirectoryBytes) return false;
  if (count_ == UINT32_MAX) return false;
  const std::size_t at = bytes_.size();
  bytes_.resize(at + static_cast<std::size_t>(entry));
  uint8_t* p = bytes_.data() + at;
  PutLe(p, name.size(), 2);
  PutLe(p + 2, size, 4);
  std::memcpy(p + kDirectoryEntryHeaderBytes, name.data(), name.size());
  if (size > 0) std::memcpy(p + kDirectoryEntryHeaderBytes + name.size(), value, size);
  ++count_;
  return true;
}

// Fills in the header and hands over the bytes.
std::vector<uint8_t> DirectoryBuilder::Finish(const DirectoryHeader& header) {
  uint8_t* p = bytes_.data();
  std::memcpy(p, kMagic, 4);
  PutLe(p + 4, kDirectoryVersion, 2);
  PutLe(p + 6, kDirectoryHeaderBytes, 2);
  PutLe(p + 8, static_cast<uint32_t>(header.format), 4);
  PutLe(p + 12, static_cast<uint32_t>(header.compression), 4);
  PutLe(p + 16, static_cast<uint32_t>(header.mode), 4);
  PutLe(p + 20, count_, 4);
  PutLe(p + 24, std::bit_cast<uint64_t>(header.width_mm), 8);
  PutLe(p + 32, std::bit_cast<uint64_t>(header.height_mm), 8);
  std::vector<uint8_t> out;
  out.swap(bytes_);
  bytes_.assign(kDirectoryHeaderBytes, 0);
  count_ = 0;
  return out;
}

// Parses and validates directory bytes.
Directory DecodeDirectory(const uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 8) Damaged("only " + std::to_string(size) + " bytes");
  if (std::memcmp(data, kMagic, 4) != 0) Damaged("bad magic");
  const uint64_t version = GetLe(data + 4, 2);
  if (version != kDirectoryVersion) {
    throw std::runtime_error("unsupported TAV tag directory version " + std::to_string(version));
  }
  const uint64_t header_bytes = GetLe(data + 6, 2);
  if (header_bytes < kDirectoryHeaderBytes || header_bytes > size) {
    Damaged("header size " + std::to_string(header_bytes) + " in " + std::to_string(size) +
            " bytes");
  }
  Directory dir;
  dir.header.format = static_cast<int32_t>(static_cast<uint32_t>(GetLe(data + 8, 4)));
  dir.header.compression = static_cast<int32_t>(static_cast<uint32_t>(GetLe(data + 12, 4)));
  dir.header.mode = static_cast<int32_t>(static_cast<uint32_t>(GetLe(data + 16, 4)));
  const uint64_t count = GetLe(data + 20, 4);
  dir.header.width_mm = std::bit_cast<double>(GetLe(data + 24, 8));
  dir.header.height_mm = std::bit_cast<double>(GetLe(data + 32, 8));
  if (!(std::isfinite(dir.header.width_mm) && dir.header.width_mm > 0.0 &&
        std::isfinite(dir.header.height_mm) && dir.header.height_mm > 0.0)) {
    Damaged("page size in millimetres is not positive");
  }

  std::size_t pos = static_cast<std::size_t>(header_bytes);
  // Every entry takes at least 7 bytes, so a count beyond that is a lie.
  if (count > (size - pos) / (kDirectoryEntryHeaderBytes + 1)) {
    Damaged(std::to_string(count) + " entries cannot fit in " + std::to_string(size) + " bytes");
  }
  dir.tags.reserve(static_cast<std::size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    if (size - pos < kDirectoryEntryHeaderBytes) Damaged("entry " + std::to_string(i) + " cut short");
    const uint64_t name_len = GetLe(data + pos, 2);
    const uint64_t value_len = GetLe(data + pos + 2, 4);
    pos += kDirectoryEntryHeaderBytes;
    if (name_len == 0 || name_len > kMaxNameBytes) {
      Damaged("entry " + std::to_string(i) + " has a name of " + std::to_string(name_len) +
              " bytes");
    }
    if (name_len > size - pos || value_len > size - pos - name_len) {
      Damaged("entry " + std::to_string(i) + " runs past the end");
    }
    TavTag tag;
    tag.name.assign(reinterpret_cast<const char*>(data + pos), static_cast<std::size_t>(name_len));
    if (tag.name.find('\0') != std::string::npos) {
      Damaged("entry " + std::to_string(i) + " has a zero byte in its name");
    }
    pos += static_cast<std::size_t>(name_len);
    tag.value.assign(data + pos, data + pos + value_len);
    pos += static_cast<std::size_t>(value_len);
    dir.tags.push_back(std::move(tag));
  }
  if (pos != size) Damaged(std::to_string(size - pos) + " stray bytes after the last entry");
  return dir;
}

}  // namespace tav
