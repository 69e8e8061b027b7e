// ticket_paths.cpp - reading the ticket file and resolving the folders and
// files it names.
#include "ticket/ticket_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <system_error>

namespace riphost {

namespace fs = std::filesystem;

namespace reading {

namespace {

// path made absolute; a relative path fails when the working folder was
// removed. prefix starts the error's text.
fs::path absolute_path(const fs::path& path, const std::string& prefix) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) {
    throw HostError(prefix + "cannot resolve " + path.string() + " against the working folder: " + error.message());
  }
  return absolute;
}

// A folder of the ticket made absolute; refused when its name does not fit
// an option text.
fs::path resolve_folder(const fs::path& folder, const std::string& text, const char* key) {
  fs::path resolved = absolute_path(folder / text, std::string(key) + ": ").lexically_normal();
  std::string name = resolved.string();
  if (name.size() > 1 && name.back() == '/') resolved = fs::path(name.substr(0, name.size() - 1));
  if (resolved.string().size() > kMaxText) {
    throw HostError(std::string(key) + ": the folder's full name is longer than " + std::to_string(kMaxText) +
                    " bytes: " + resolved.string());
  }
  return resolved;
}

// True when path lies in root or below it (both resolved).
bool lies_within(const fs::path& path, const fs::path& root) {
  auto [left, right] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  // A root written with a final slash ends in an empty element.
  return left == root.end() || (std::next(left) == root.end() && left->empty());
}

// Refuses a resolved name outside every root of a confined ticket; text is
// the name as the ticket gives it.
void check_confined(const Places& places, const fs::path& resolved, const std::string& text, const std::string& at) {
  for (const fs::path& root : places.roots) {
    if (lies_within(resolved, root)) return;
  }
  throw HostError(at + ": " + text + " resolves to " + resolved.string() +
                  ", outside the ticket's folder and the --allow folders (--confine)");
}

// The name path resolves to, links followed; throws naming at and text.
fs::path resolved_name(const fs::path& path, const std::string& text, const std::string& at) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  if (error) throw HostError(at + ": cannot resolve " + text + ": " + error.message());
  return resolved;
}

}  // namespace

Places make_places(const fs::path& folder, const TicketOptions& options, Problems& problems) {
  Places places;
  places.folder = folder;
  places.confined = options.confine;
  places.document_limits = options.document_limits;
  if (!places.confined) return places;
  problems.attempt([&] { places.roots.push_back(resolved_name(folder, folder.string(), "the ticket's folder")); });
  for (const std::string& allowed : options.allowed) {
    problems.attempt([&] {
      fs::path root = resolved_name(absolute_path(allowed, "--allow: "), allowed, "--allow");
      std::error_code error;
      if (!fs::is_directory(root, error)) throw HostError("--allow: not a folder: " + allowed);
      places.roots.push_back(std::move(root));
    });
  }
  return places;
}

bool read_file_text(const fs::path& file, std::string& text, fs::path& folder, Problems& problems) {
  return problems.attempt([&] {
    if (file == kStandardInput) {
      text = read_ticket_text(stdin);
      std::error_code error;
      folder = fs::current_path(error);
      if (error) throw HostError("cannot resolve the working folder: " + error.message());
      return;
    }
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) throw HostError("cannot read the ticket: " + std::generic_category().message(errno));
    try {
      text = read_ticket_text(in);
    } catch (...) {
      std::fclose(in);
      throw;
    }
    std::fclose(in);
    folder = absolute_path(file, "").parent_path();
  });
}

fs::path read_device(const Json& root, const Places& places) {
  std::string text = to_text(required(root, "", "device"), "device");
  fs::path device = resolve_folder(places.folder, text, "device");
  std::error_code error;
  if (!fs::is_directory(device, error)) throw HostError("device: folder not found: " + text);
  if (places.confined) check_confined(places, resolved_name(device, text, "device"), text, "device");
  return device;
}

fs::path read_output(const Json& root, const Places& places, const TicketOptions& options) {
  bool given = !options.output.empty();
  const char* key = given ? "-o" : "output";
  std::string text = given ? options.output : to_text(required(root, "", "output"), "output");
  fs::path output = resolve_folder(given ? fs::path() : places.folder, text, key);
  std::error_code error;
  if (fs::exists(output, error) && !fs::is_directory(output, error)) {
    throw HostError(std::string(key) + ": not a folder: " + text);
  }
  // A folder that is still to be made resolves as far as it exists.
  if (places.confined && !given) {
    fs::path resolved = fs::weakly_canonical(output, error);
    if (error) throw HostError("output: cannot resolve " + text + ": " + error.message());
    check_confined(places, resolved, text, "output");
  }
  return output;
}

fs::path existing_file(const Places& places, const std::string& text, const std::string& at) {
  fs::path file = (places.folder / text).lexically_normal();
  std::error_code error;
  fs::file_status status = fs::status(file, error);
  if (!fs::exists(status)) throw HostError(at + ": file not found: " + text);
  if (!fs::is_regular_file(status)) throw HostError(at + ": not a file: " + text);
  if (!places.confined) return file;
  fs::path resolved = resolved_name(file, text, at);
  check_confined(places, resolved, text, at);
  return resolved;
}

}  // namespace reading

// Reads in chunks up to one byte past the limit.
std::string read_ticket_text(std::FILE* in) {
  std::string text;
  char chunk[1 << 16];
  for (;;) {
    std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
    int error = errno;
    if (text.size() + got > kMaxTicketBytes) throw HostError("the ticket is larger than 16 MiB");
    text.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(in)) throw HostError("cannot read the ticket: " + std::generic_category().message(error));
      return text;
    }
  }
}

}  // namespace riphost
