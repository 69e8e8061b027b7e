// tag_output.h - what every tag writer is handed: the sink that takes the
// tags of one separation file, and the host's message entry for reports.
//
// The writers know nothing of the plug-in's state; the caller passes what a
// writer needs (page geometry, texts, names) as arguments. A test hands them
// a sink that keeps the tags in memory.
#ifndef TAGS_TAG_OUTPUT_H
#define TAGS_TAG_OUTPUT_H

#include "drav_host.h"
#include "drav_message.h"
#include "tav.h"

namespace dravout {

// The host's printf-style message entry (levels of DravMessageLevel).
using HostMessage = DravHostMessage;

// Takes the tags of one file, with the raster writer's contract: name, value
// length, value bytes; negative when the tag is refused.
class TagSink {
 public:
  virtual ~TagSink() = default;
  virtual int put(const char* name, int length, const void* value) = 0;
};

// The tags go into an open raster file.
class TavFileSink final : public TagSink {
 public:
  explicit TavFileSink(TavFile* file) : file_(file) {}
  int put(const char* name, int length, const void* value) override {
    return tav_puttag(file_, name, length, value);
  }

 private:
  TavFile* file_;
};

// A writer's sink and reporting channel.
struct TagOutput {
  TagSink& sink;
  HostMessage message = nullptr;  // null: nothing is reported
};

}  // namespace dravout

#endif  // TAGS_TAG_OUTPUT_H
