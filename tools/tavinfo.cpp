// tavinfo - shows what a TAV file holds, extracts one tag, or exports the
// pixels as a PBM image.
//
//   tavinfo FILE                 header fields and the list of tags
//   tavinfo --tag NAME FILE      the raw bytes of tag NAME to standard output
//   tavinfo --pbm OUT FILE       the pixels as a binary PBM file OUT
//
// Exit status: 0 success, 1 failure (not a TAV file, no such tag, a write
// error), 2 wrong usage.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "tav.h"
#include "tavinfo_format.h"
#include "tavinfo_pbm.h"

#include <sys/stat.h>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: tavinfo FILE\n"
    "       tavinfo --tag NAME FILE\n"
    "       tavinfo --pbm OUT FILE\n"
    "Shows the header and tags of the TAV file FILE, writes the raw bytes of\n"
    "its first tag called NAME to standard output, or writes its pixels to OUT\n"
    "as a binary PBM image (black = ink).\n";

// Prints a failure message on standard error and returns the failure status.
// The text with control characters shown as "?", so that a file name cannot
// drive the terminal; UTF-8 letters stay as they are.
std::string Printable(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return text;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "tavinfo: %s\n", Printable(message).c_str());
  return kExitFailure;
}

// Prints the usage on standard error and returns the usage status.
int UsageError(const char* problem) {
  std::fprintf(stderr, "tavinfo: %s\n%s", problem, kUsage);
  return kExitUsage;
}

// Prints a text tag's value, indented, one line at a time.
void PrintText(const std::vector<uint8_t>& value) {
  const std::string escaped = tavinfo::EscapeText(
      std::string_view(reinterpret_cast<const char*>(value.data()), value.size() - 1));
  std::size_t start = 0;
  while (start < escaped.size()) {
    std::size_t end = escaped.find('\n', start);
    if (end == std::string::npos) end = escaped.size();
    std::printf("      %s\n", escaped.substr(start, end - start).c_str());
    start = end + 1;
  }
}

// Prints the header fields and the tags of the file.
int ShowInfo(const char* path) {
  tav::TavReader reader(path);
  const tav::TavInfo& info = reader.Info();
  std::printf("File:         %s\n", Printable(path).c_str());
  std::printf("Image:        %d x %d pixels, %d bit%s per pixel\n", info.width, info.height,
              info.bits_per_sample, info.bits_per_sample == 1 ? "" : "s");
  std::printf("Resolution:   %s x %s pixels per inch\n",
              tavinfo::FormatFixed(info.x_resolution, 3).c_str(),
              tavinfo::FormatFixed(info.y_resolution, 3).c_str());
  std::printf("Page:         %s x %s mm\n", tavinfo::FormatFixed(info.width_mm, 3).c_str(),
              tavinfo::FormatFixed(info.height_mm, 3).c_str());
  std::printf("Format:       %s (code %d)\n", tavinfo::FormatName(info.format).c_str(),
              info.format);
  std::printf("Compression:  %s (code %d)\n", info.tiff_compression.c_str(), info.compression);
  std::printf("Mode:         %s\n", tavinfo::DescribeMode(info.mode).c_str());
  std::printf("Container:    %s\n", info.bigtiff ? "BigTIFF" : "TIFF");
  std::printf("Tags:         %zu\n", reader.Tags().size());
  for (const tav::TavTag& tag : reader.Tags()) {
    const bool text = tavinfo::IsTextValue(tag.value);
    std::printf("  %s: %zu bytes%s\n", tavinfo::EscapeName(tag.name).c_str(), tag.value.size(),
                text ? ", text" : "");
    if (text) PrintText(tag.value);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Failure("cannot write to standard output");
  }
  return 0;
}

// Writes the raw bytes of the first tag called name to standard output.
int ExtractTag(const char* name, const char* path) {
  tav::TavReader reader(path);
  const tav::TavTag* tag = reader.FindTag(name);
  if (tag == nullptr) {
    return Failure(std::string(path) + ": no tag called " + tavinfo::EscapeName(name));
  }
  if ((!tag->value.empty() &&
       std::fwrite(tag->value.data(), 1, tag->value.size(), stdout) != tag->value.size()) ||
      std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Failure("cannot write to standard output");
  }
  return 0;
}

// Exports the pixels as a PBM file.
int ExportPbm(const char* out, const char* path) {
  // Writing the picture over the file it comes from would destroy it.
  struct stat out_stat {}, in_stat {};
  if (stat(out, &out_stat) == 0 && stat(path, &in_stat) == 0 && out_stat.st_dev == in_stat.st_dev &&
      out_stat.st_ino == in_stat.st_ino) {
    return Failure(std::string("the PBM file would replace the TAV file it is read from: ") + out);
  }
  tav::TavReader reader(path);
  std::string error;
  if (!tavinfo::WritePbm(reader, out, error)) return Failure(error);
  return 0;
}

// True when arg looks like an option rather than a file name.
bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argc == 2 && !IsOption(argv[1])) return ShowInfo(argv[1]);
    if (argc == 4 && std::strcmp(argv[1], "--tag") == 0) return ExtractTag(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--pbm") == 0) return ExportPbm(argv[2], argv[3]);
    if (argc >= 2 && IsOption(argv[1]) && std::strcmp(argv[1], "--tag") != 0 &&
        std::strcmp(argv[1], "--pbm") != 0) {
      return UsageError((std::string("unknown option ") + argv[1]).c_str());
    }
    return UsageError("wrong number of arguments");
  } catch (const std::exception& e) {
    return Failure(e.what());
  }
}
