// tavinfo_pbm.cpp - PBM export through a temporary file and a rename.
#include "tavinfo_pbm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <vector>

namespace tavinfo {
namespace {

// Text of the current errno.
std::string ErrnoText() { return std::error_code(errno, std::generic_category()).message(); }

// Packs an 8-bit row into PBM bits (sample >= 128 is black).
void PackSamples(const uint8_t* samples, int width, uint8_t* bits) {
  const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
  for (std::size_t i = 0; i < bytes; ++i) bits[i] = 0;
  for (int x = 0; x < width; ++x) {
    if (samples[x] >= 128) bits[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
  }
}

// Writes header and rows to file; false with the reason in error.
bool WriteImage(tav::TavReader& reader, std::FILE* file, std::string& error) {
  const tav::TavInfo& info = reader.Info();
  if (std::fprintf(file, "P4\n%d %d\n", info.width, info.height) < 0) {
    error = ErrnoText();
    return false;
  }
  const std::size_t pbm_bytes = (static_cast<std::size_t>(info.width) + 7) / 8;
  std::vector<uint8_t> row(reader.RowBytes());
  std::vector<uint8_t> packed(info.bits_per_sample == 8 ? pbm_bytes : 0);
  for (int y = 0; y < info.height; ++y) {
    reader.ReadRow(y, row.data());
    const uint8_t* bits = row.data();
    if (info.bits_per_sample == 8) {
      PackSamples(row.data(), info.width, packed.data());
      bits = packed.data();
    }
    if (std::fwrite(bits, 1, pbm_bytes, file) != pbm_bytes) {
      error = ErrnoText();
      return false;
    }
  }
  if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) {
    error = ErrnoText();
    return false;
  }
  return true;
}

}  // namespace

// Writes the PBM through a temporary file; see the header.
bool WritePbm(tav::TavReader& reader, const std::string& out, std::string& error) {
  std::string temp = out + ".tmpXXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create a temporary file beside " + out + ": " + ErrnoText();
    return false;
  }
  // mkstemp makes the file private; give it the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    error = "cannot write " + temp + ": " + ErrnoText();
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  bool ok = false;
  std::string why;
  try {
    ok = WriteImage(reader, file, why);
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (std::fclose(file) != 0 && ok) {
    why = ErrnoText();
    ok = false;
  }
  if (ok && std::rename(temp.c_str(), out.c_str()) != 0) {
    error = "cannot rename " + temp + " to " + out + ": " + ErrnoText();
    unlink(temp.c_str());
    return false;
  }
  if (!ok) {
    error = "cannot write " + out + ": " + why;
    unlink(temp.c_str());
  }
  return ok;
}

}  // namespace tavinfo
