// tavinfo - shows what TAV files hold, as text or JSON, extracts one tag, or
// exports the pixels as a PBM image.
//
//   tavinfo [--json] FILE...     header fields and tags of every FILE
//   tavinfo --tag NAME FILE      the raw bytes of tag NAME to standard output
//   tavinfo --pbm OUT FILE       the pixels as a binary PBM file OUT ("-":
//                                standard output)
//
// Exit status: 0 success, 1 failure (a FILE unreadable or not a TAV file, no
// such tag, output that cannot or may not be written), 2 wrong usage.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tav.h"
#include "tavinfo_format.h"
#include "tavinfo_json.h"
#include "tavinfo_pbm.h"
#include "tavinfo_tags.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: tavinfo [--json] FILE...\n"
    "       tavinfo --tag NAME FILE\n"
    "       tavinfo --pbm OUT FILE\n"
    "       tavinfo --preview OUT FILE\n"
    "       tavinfo --help | --version\n"
    "Shows the header and tags of TAV raster files.\n"
    "\n"
    "Options:\n"
    "  --json          print one JSON document instead of text: an object for\n"
    "                  one FILE, an array of objects for several; with the\n"
    "                  header fields, every tag (text or base64) and pixel\n"
    "                  statistics (set pixels, their share, their bounding box)\n"
    "  --tag NAME      write the raw bytes of the first tag called NAME of FILE\n"
    "                  to standard output\n"
    "  --pbm OUT       write the pixels of FILE to OUT as a binary PBM image\n"
    "                  (black = ink); OUT \"-\" is standard output; an existing\n"
    "                  OUT must be a regular file, never a link or a device,\n"
    "                  and never FILE itself (nor a link to it)\n"
    "  --preview OUT   write the PNG preview embedded in FILE (tag _KVTVIEW.PNG)\n"
    "                  to OUT as a PNG file; OUT as for --pbm\n"
    "  --help, -h      print this text\n"
    "  --version       print the version\n"
    "  --              end of options: the arguments after it are files\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a FILE could not be read or is not a TAV file, the tag is absent, or\n"
    "     the output could not (or may not) be written; with several FILEs the\n"
    "     others are still shown\n"
    "  2  wrong usage\n";

// The text with control characters shown as "?", so that a file name cannot
// drive the terminal; UTF-8 letters stay as they are.
std::string Printable(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return text;
}

// Prints a failure message on standard error and returns the failure status.
int Failure(const std::string& message) {
  std::fprintf(stderr, "tavinfo: %s\n", Printable(message).c_str());
  return kExitFailure;
}

// Prints the usage on standard error and returns the usage status.
int UsageError(const std::string& problem) {
  std::fprintf(stderr, "tavinfo: %s\n%s", Printable(problem).c_str(), kUsage);
  return kExitUsage;
}

// Flushes standard output; the failure status when anything was lost.
int FinishOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Failure("cannot write to standard output");
  }
  return 0;
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

// Prints the screens of a screen-information tag in clear.
void PrintScreenInfo(const std::vector<uint8_t>& value) {
  const auto lines =
      tavinfo::ParseScreenInfo(std::string_view(reinterpret_cast<const char*>(value.data()), value.size() - 1));
  if (!lines) return;
  std::printf("    screens:\n");
  for (const std::string& line : tavinfo::DescribeScreenInfo(*lines)) std::printf("      %s\n", line.c_str());
}

// Prints the header fields and the tags of the file.
void ShowInfo(const char* path) {
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
  std::printf("Orientation:  %s\n", (info.mode & 0x02) != 0
                                        ? "mirrored left to right (as the device exposes it); a PNG preview reads right"
                                        : "as rendered (not mirrored)");
  std::printf("Container:    %s\n", info.bigtiff ? "BigTIFF" : "TIFF");
  std::printf("Tags:         %zu\n", reader.Tags().size());
  const tav::TavTag* transformation = reader.FindTag("_KVT_TRANSFORMATION");
  for (const tav::TavTag& tag : reader.Tags()) {
    const bool text = tavinfo::IsTextValue(tag.value);
    std::printf("  %s: %zu bytes%s\n", tavinfo::EscapeName(tag.name).c_str(), tag.value.size(),
                text ? ", text" : "");
    if (text) PrintText(tag.value);
    if (text && tag.name == "_KVT_RIPINFO0") PrintScreenInfo(tag.value);
    if (tavinfo::IsScrambledTag(tag.name) && transformation != nullptr && tavinfo::IsTextValue(transformation->value)) {
      const std::string t(transformation->value.begin(), transformation->value.end() - 1);
      const std::string clear = tavinfo::Unscramble(tag.value, t);
      std::printf("    in clear:\n");
      std::vector<uint8_t> as_text(clear.begin(), clear.end());
      as_text.push_back(0);
      PrintText(as_text);
    }
  }
}

// Lists every file as text; a file that fails is reported and skipped.
int ListText(const std::vector<const char*>& files) {
  int status = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files.size() > 1) {
      std::printf("%s==> %s <==\n", i == 0 ? "" : "\n", Printable(files[i]).c_str());
    }
    try {
      ShowInfo(files[i]);
    } catch (const std::exception& e) {
      std::fflush(stdout);  // keeps the message after the file's header line
      status = Failure(e.what());
    }
  }
  const int output = FinishOutput();
  return output != 0 ? output : status;
}

// Prints one JSON document: an object for one file, an array for several.
// Each file is described and printed before the next is read.
int ListJson(const std::vector<const char*>& files) {
  int status = 0;
  const bool array = files.size() > 1;
  if (array) std::fputs("[\n", stdout);
  for (std::size_t i = 0; i < files.size(); ++i) {
    tavinfo::Json item;
    try {
      tav::TavReader reader(files[i]);
      item = tavinfo::DescribeFile(files[i], reader);
    } catch (const std::exception& e) {
      status = Failure(e.what());
      item = tavinfo::DescribeFailure(files[i], e.what());
    }
    const std::string text = tavinfo::DumpJson(item, 2);
    std::fputs(text.c_str(), stdout);
    std::fputs(array && i + 1 < files.size() ? ",\n" : "\n", stdout);
  }
  if (array) std::fputs("]\n", stdout);
  const int output = FinishOutput();
  return output != 0 ? output : status;
}

// Writes the raw bytes of the first tag called name to standard output.
int ExtractTag(const char* name, const char* path) {
  // Standard output sent into the source (">> FILE") would damage it.
  std::string error;
  if (!tavinfo::OutputSpares("-", path, "the tag", error)) return Failure(error);
  tav::TavReader reader(path);
  const tav::TavTag* tag = reader.FindTag(name);
  if (tag == nullptr) {
    return Failure(std::string(path) + ": no tag called " + tavinfo::EscapeName(name));
  }
  if (!tag->value.empty() &&
      std::fwrite(tag->value.data(), 1, tag->value.size(), stdout) != tag->value.size()) {
    return Failure("cannot write to standard output");
  }
  return FinishOutput();
}

// Exports the pixels as a PBM file.
int ExportPbm(const char* out, const char* path) {
  // Checked before the source is read, so a wrong OUT fails at once.
  std::string error;
  if (std::strcmp(out, "-") != 0 && !tavinfo::OutputAllowed(out, error)) return Failure(error);
  // Writing the picture over the file it comes from would destroy it.
  if (!tavinfo::OutputSpares(out, path, "the PBM file", error)) return Failure(error);
  tav::TavReader reader(path);
  if (!tavinfo::WritePbm(reader, out, path, error)) return Failure(error);
  return 0;
}

// Writes the embedded PNG preview out.
int ExportPreview(const char* out, const char* path) {
  std::string error;
  if (std::strcmp(out, "-") != 0 && !tavinfo::OutputAllowed(out, error)) return Failure(error);
  if (!tavinfo::OutputSpares(out, path, "the PNG preview", error)) return Failure(error);
  tav::TavReader reader(path);
  const tav::TavTag* tag = reader.FindTag("_KVTVIEW.PNG");
  if (tag == nullptr) return Failure(std::string(path) + ": no PNG preview (tag _KVTVIEW.PNG)");
  const std::vector<uint8_t> png = tavinfo::PreviewPng(tag->value);
  if (png.empty()) return Failure(std::string(path) + ": the tag _KVTVIEW.PNG holds no PNG file");
  if (!tavinfo::WriteBytes(png, out, path, error)) return Failure(error);
  return 0;
}

// True when arg looks like an option rather than a file name ("-" alone is
// a name).
bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

// The command line, parsed.
struct Command {
  bool help = false;
  bool version = false;
  bool json = false;
  const char* tag = nullptr;
  const char* pbm = nullptr;
  const char* preview = nullptr;
  std::vector<const char*> files;
};

// Parses argv into command; returns the problem, or "" when it is usable.
std::string Parse(int argc, char** argv, Command& command) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options_done || !IsOption(arg)) {
      command.files.push_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      options_done = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      command.help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      command.version = true;
    } else if (std::strcmp(arg, "--json") == 0) {
      command.json = true;
    } else if (std::strcmp(arg, "--tag") == 0 || std::strcmp(arg, "--pbm") == 0 ||
               std::strcmp(arg, "--preview") == 0) {
      const char*& value = arg[2] == 't' ? command.tag : arg[3] == 'b' ? command.pbm : command.preview;
      if (i + 1 >= argc) return std::string(arg) + " needs a value";
      if (value != nullptr) return std::string(arg) + " given twice";
      value = argv[++i];
    } else {
      return std::string("unknown option ") + arg;
    }
  }
  if (command.help || command.version) return "";
  const int actions =
      (command.json ? 1 : 0) + (command.tag ? 1 : 0) + (command.pbm ? 1 : 0) + (command.preview ? 1 : 0);
  if (actions > 1) return "--json, --tag, --pbm and --preview exclude each other";
  if (command.files.empty()) return "no FILE given";
  if ((command.tag || command.pbm || command.preview) && command.files.size() != 1) {
    return std::string(command.tag ? "--tag" : command.pbm ? "--pbm" : "--preview") + " takes exactly one FILE";
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Command command;
    const std::string problem = Parse(argc, argv, command);
    if (!problem.empty()) return UsageError(problem);
    if (command.help) {
      std::fputs(kUsage, stdout);
      return FinishOutput();
    }
    if (command.version) {
      std::fputs("tavinfo " DRAV_VERSION "\n", stdout);
      return FinishOutput();
    }
    if (command.tag != nullptr) return ExtractTag(command.tag, command.files[0]);
    if (command.pbm != nullptr) return ExportPbm(command.pbm, command.files[0]);
    if (command.preview != nullptr) return ExportPreview(command.preview, command.files[0]);
    return command.json ? ListJson(command.files) : ListText(command.files);
  } catch (const std::exception& e) {
    return Failure(e.what());
  }
}
