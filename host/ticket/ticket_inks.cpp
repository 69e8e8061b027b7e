// ticket_inks.cpp - reading XMP packets, a separation's colours and a job's
// cutting texts.
#include "ticket/ticket_inks.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "ticket/ticket_paths.h"

namespace riphost::reading {

namespace fs = std::filesystem;

namespace {

// The whole text of file, refused beyond kMaxXmpBytes, empty or with a zero
// byte; text is the file's name as the ticket gives it.
std::string read_packet(const fs::path& file, const std::string& text, const std::string& at) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) throw HostError(at + ": cannot read " + text + ": " + std::generic_category().message(errno));
  std::string packet;
  char chunk[1 << 16];
  bool too_large = false;
  int read_error = 0;
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
    if (packet.size() + got > kMaxXmpBytes) {
      too_large = true;
      break;
    }
    packet.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(in)) read_error = errno != 0 ? errno : EIO;
      break;
    }
  }
  std::fclose(in);
  if (read_error != 0) throw HostError(at + ": cannot read " + text + ": " + std::generic_category().message(read_error));
  if (too_large) throw HostError(at + ": " + text + " is larger than 16 MiB");
  if (packet.empty()) throw HostError(at + ": " + text + " is empty");
  if (packet.find('\0') != std::string::npos) throw HostError(at + ": " + text + " contains a zero byte");
  return packet;
}

// The XMP packet in the file text names (against folder), read once per
// ticket. Refused when it is missing, no regular file, unreadable, empty,
// larger than kMaxXmpBytes or holds a zero byte.
XmpText read_xmp_file(const fs::path& folder, const std::string& text, const std::string& at, XmpFiles& files) {
  const fs::path file = (folder / text).lexically_normal();
  if (auto known = files.find(file.string()); known != files.end()) return known->second;
  existing_file(folder, text, at);
  XmpText shared = std::make_shared<const std::string>(read_packet(file, text, at));
  files.emplace(file.string(), shared);
  return shared;
}

// The ink number of a cutting key "SCP<n>" or "CCP<n>": 1 to kMaxInkNumber
// in plain decimal digits; 0 when key has another form.
int cutting_ink(const std::string& key) {
  if (key.size() < 4 || key.size() > 5 || (key.compare(0, 3, "SCP") != 0 && key.compare(0, 3, "CCP") != 0)) {
    return 0;
  }
  int number = 0;
  for (std::size_t i = 3; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return 0;
    number = number * 10 + (key[i] - '0');
  }
  if (key[3] == '0' || number > kMaxInkNumber) return 0;
  return number;
}

// One cutting text; throws when the key or the text is refused.
CuttingText read_cutting_text(const std::string& key, const Json& item, const std::string& at) {
  if (key != "SCPAll" && cutting_ink(key) == 0) {
    throw HostError(at + ": unknown cutting key (expected SCPAll, SCP<n> or CCP<n> with n from 1 to " +
                    std::to_string(kMaxInkNumber) + ")");
  }
  if (!item.is_string()) throw HostError(at + ": expected a text, found " + json_kind(item));
  const std::string& text = item.get_ref<const std::string&>();
  if (text.size() > kMaxCuttingBytes) {
    throw HostError(at + ": text of " + std::to_string(text.size()) + " bytes; at most 1 MiB (" +
                    std::to_string(kMaxCuttingBytes) + " bytes) is allowed");
  }
  if (text.find('\0') != std::string::npos) throw HostError(at + ": text contains a zero byte");
  return CuttingText{at, key, text};
}

}  // namespace

void read_page_xmp(const Json& object, const std::string& where, const fs::path& folder, XmpFiles& files, Page& page,
                   Problems& problems) {
  if (const Json* xmp = member(object, "xmp")) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp");
      page.xmp = read_xmp_file(folder, to_text(*xmp, at), at, files);
    });
  }
}

void read_separation_xmp(const Json& object, const std::string& where, const fs::path& folder, XmpFiles& files,
                         Separation& separation, Problems& problems) {
  const Json* inline_text = member(object, "xmp");
  const Json* file = member(object, "xmp_file");
  if (inline_text && file) {
    problems.add(where + ": give \"xmp\" or \"xmp_file\", not both");
    return;
  }
  if (inline_text) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp");
      if (!inline_text->is_string()) throw HostError(at + ": expected a text, found " + json_kind(*inline_text));
      std::string text = inline_text->get<std::string>();
      if (text.empty()) throw HostError(at + ": empty text");
      if (text.find('\0') != std::string::npos) throw HostError(at + ": text contains a zero byte");
      separation.xmp = std::make_shared<const std::string>(std::move(text));
    });
  } else if (file) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp_file");
      separation.xmp = read_xmp_file(folder, to_text(*file, at), at, files);
    });
  }
}

void read_inks(const Json& object, const std::string& where, Separation& separation, Problems& problems) {
  const Json* inks = member(object, "inks");
  if (!inks) return;
  read_list(*inks, place(where, "inks"), "inks", kMaxScreens, true, problems, [&](const Json& item, const std::string& at) {
    problems.attempt([&] {
      require_object(item, at);
      check_keys(item, at, {"ink", "group", kCommentKey}, problems);
      InkName ink;
      bool usable = problems.attempt([&] { ink.ink = to_text(required(item, at, "ink"), place(at, "ink")); });
      if (const Json* group = member(item, "group")) {
        usable &= problems.attempt([&] { ink.group = to_optional_text(*group, place(at, "group")); });
      }
      if (usable) separation.inks.push_back(std::move(ink));
    });
  });
}

std::vector<CuttingText> read_cutting(const Json& object, const std::string& where, Problems& problems) {
  std::vector<CuttingText> texts;
  const Json* cutting = member(object, "cutting");
  if (!cutting) return texts;
  const std::string at = place(where, "cutting");
  if (!problems.attempt([&] { require_object(*cutting, at); })) return texts;
  for (const auto& [key, item] : cutting->items()) {
    if (key == kCommentKey) continue;
    problems.attempt([&, &key = key, &item = item] { texts.push_back(read_cutting_text(key, item, place(at, key))); });
  }
  return texts;
}

}  // namespace riphost::reading
