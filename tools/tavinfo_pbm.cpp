// tavinfo_pbm.cpp - PBM export through a temporary file and a rename.
#include "tavinfo_pbm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
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

// Writes header and rows to file, synced to disk when sync is set; false
// with the reason in error.
bool WriteImage(tav::TavReader& reader, std::FILE* file, bool sync, std::string& error) {
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
  if (std::fflush(file) != 0 || std::ferror(file) || (sync && fsync(fileno(file)) != 0)) {
    error = ErrnoText();
    return false;
  }
  return true;
}

// What a file that is not a regular one is.
const char* Kind(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// The device and inode of the file path names (links followed); false when
// it cannot be examined.
bool IdOfPath(const std::string& path, struct stat& id) { return stat(path.c_str(), &id) == 0; }

}  // namespace

// Refuses an output that is the input file itself.
bool OutputSpares(const std::string& out, const std::string& input, const char* what, std::string& error) {
  struct stat in_id {}, out_id {};
  if (!IdOfPath(input, in_id)) return true;  // the reader reports an input it cannot open
  const bool to_stdout = out == "-";
  if (to_stdout ? fstat(STDOUT_FILENO, &out_id) != 0 : !IdOfPath(out, out_id)) return true;
  if (out_id.st_dev != in_id.st_dev || out_id.st_ino != in_id.st_ino) return true;
  error = std::string(what) + " would replace the TAV file it is read from: " +
          (to_stdout ? std::string("standard output is ") + input : out);
  return false;
}

// Refuses every existing out that is not a regular file.
bool OutputAllowed(const std::string& out, std::string& error) {
  struct stat st {};
  if (lstat(out.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    error = "cannot check " + out + ": " + ErrnoText();
    return false;
  }
  if (S_ISREG(st.st_mode)) return true;
  error = "refusing to replace " + out + ": it is " + Kind(st.st_mode) +
          "; only regular files are written (\"-\" is standard output)";
  return false;
}

// Writes through write to standard output, or to a temporary file beside
// out that is synced and then renamed to out.
bool WriteOutput(const std::string& out, const std::string& input,
                 const std::function<bool(std::FILE*, bool, std::string&)>& write, std::string& error) {
  if (!OutputSpares(out, input, "the output", error)) return false;
  if (out == "-") {
    std::string why;
    if (!write(stdout, false, why)) {
      error = "cannot write to standard output: " + why;
      return false;
    }
    return true;
  }
  if (!OutputAllowed(out, error)) return false;
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
    ok = write(file, true, why);
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (std::fclose(file) != 0 && ok) {
    why = ErrnoText();
    ok = false;
  }
  // Checked again just before: out may have changed while the rows were read.
  if (ok && (!OutputAllowed(out, error) || !OutputSpares(out, input, "the output", error))) {
    unlink(temp.c_str());
    return false;
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

// Writes the PBM to standard output or through a temporary file; see the
// header.
bool WritePbm(tav::TavReader& reader, const std::string& out, const std::string& input, std::string& error) {
  return WriteOutput(
      out, input, [&](std::FILE* file, bool sync, std::string& why) { return WriteImage(reader, file, sync, why); }, error);
}

// Writes bytes as they are; see the header.
bool WriteBytes(const std::vector<uint8_t>& bytes, const std::string& out, const std::string& input,
                std::string& error) {
  return WriteOutput(
      out, input,
      [&](std::FILE* file, bool sync, std::string& why) {
        if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) ||
            std::fflush(file) != 0 || (sync && fsync(fileno(file)) != 0)) {
          why = ErrnoText();
          return false;
        }
        return true;
      },
      error);
}

}  // namespace tavinfo
