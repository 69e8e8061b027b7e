// fake_host.h - a stand-in for the RIP host: options from a std::map, and a
// record of every message and every finished file it was told about.
#ifndef OUTUTIL_TESTS_FAKE_HOST_H
#define OUTUTIL_TESTS_FAKE_HOST_H

#include <map>
#include <string>
#include <vector>

#include "drav_host.h"

struct RecordedMessage {
  int level;
  std::string format;
  std::string text;
};

struct RecordedFile {
  std::string path;
  int kind;
};

// The host's callback table wired to this object. Only one FakeHost may
// exist at a time (the C callbacks carry no context).
class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  HostCallbacks* callbacks() { return &callbacks_; }

  // String options the host answers (keys compared without regard to case).
  std::map<std::string, std::string> options;
  std::vector<RecordedMessage> messages;
  std::vector<RecordedFile> files;

  // Number of messages at level.
  int count_at(int level) const;

 private:
  HostCallbacks callbacks_;
};

#endif  // OUTUTIL_TESTS_FAKE_HOST_H
