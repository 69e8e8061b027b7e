// pdf_object_streams.cpp - find the stream's data after its dictionary and
// inflate it with libdeflate.
#include "sources/document/pdf_object_streams.h"

#include <libdeflate.h>

#include <memory>
#include <string_view>
#include <vector>

namespace riphost {

namespace {

// The dictionary of an object stream is short; its data starts within this.
constexpr std::size_t kMostDictionaryBytes = 4096;

// The compressed data: from after "stream" and its end of line to
// "endstream", at most kMostObjectStreamBytes.
std::optional<std::vector<char>> stream_data(std::FILE* file, long offset) {
  std::vector<char> head(kMostDictionaryBytes);
  if (std::fseek(file, offset, SEEK_SET) != 0) return std::nullopt;
  head.resize(std::fread(head.data(), 1, head.size(), file));
  const std::string_view text(head.data(), head.size());
  const std::size_t dictionary = text.find(">>");
  if (dictionary == std::string_view::npos || text.substr(0, dictionary).find("/FlateDecode") == std::string_view::npos) {
    return std::nullopt;
  }
  std::size_t start = text.find("stream", dictionary);
  if (start == std::string_view::npos) return std::nullopt;
  start += 6;
  if (start < text.size() && text[start] == '\r') ++start;
  if (start < text.size() && text[start] == '\n') ++start;
  std::vector<char> data;
  if (std::fseek(file, offset + static_cast<long>(start), SEEK_SET) != 0) return std::nullopt;
  constexpr std::string_view kEnd = "endstream";
  for (;;) {
    const std::size_t had = data.size();
    data.resize(had + 65536);
    data.resize(had + std::fread(data.data() + had, 1, 65536, file));
    const std::size_t from = had >= kEnd.size() ? had - kEnd.size() : 0;
    const std::size_t end = std::string_view(data.data(), data.size()).find(kEnd, from);
    if (end != std::string_view::npos) {
      data.resize(end);
      return data;
    }
    if (data.size() == had || data.size() > kMostObjectStreamBytes) return std::nullopt;
  }
}

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

std::optional<std::string> inflate_object_stream(std::FILE* file, long offset) {
  const std::optional<std::vector<char>> data = stream_data(file, offset);
  if (!data || data->empty()) return std::nullopt;
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> inflater(libdeflate_alloc_decompressor());
  if (!inflater) return std::nullopt;
  std::string text;
  for (std::size_t room = data->size() * 4 + 4096;; room *= 2) {
    room = std::min(room, kMostObjectStreamBytes);
    text.resize(room);
    std::size_t used = 0, made = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(inflater.get(), data->data(), data->size(),
                                                                   text.data(), text.size(), &used, &made);
    if (result == LIBDEFLATE_SUCCESS) {
      text.resize(made);
      return text;
    }
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE || room == kMostObjectStreamBytes) return std::nullopt;
  }
}

}  // namespace riphost
