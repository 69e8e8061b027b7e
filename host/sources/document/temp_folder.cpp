// temp_folder.cpp - making and removing the private temporary folder.
#include "sources/document/temp_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "common/host_error.h"

namespace riphost {

namespace {

// This machine's name up to its first ".", with only plain characters.
std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "host";
  std::string text;
  for (const char* c = name; *c && *c != '.' && text.size() < 64; ++c) {
    const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '-';
    text += plain ? *c : '_';
  }
  return text.empty() ? "host" : text;
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  const std::filesystem::path folder = base && *base ? base : "/tmp";
  std::string pattern = (folder / ("riphost-" + host_name() + "-" + std::to_string(getpid()) + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    throw HostError("cannot make a temporary folder in " + folder.string() + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace riphost
