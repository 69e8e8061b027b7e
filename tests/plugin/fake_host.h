// fake_host.h - a host for the plug-in's tests: options from maps, messages
// and finished files recorded, a temporary device and output folder.
#ifndef TESTS_PLUGIN_FAKE_HOST_H
#define TESTS_PLUGIN_FAKE_HOST_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drav_dict.h"
#include "drav_host.h"

namespace plugin_test {

struct Message {
  int level;
  std::string text;    // as the host formatted it
  std::string format;  // the format the plug-in handed over
};

// Options, messages and reported files of the one fake host of the process.
struct FakeHost {
  std::map<std::string, int> ints;
  std::map<std::string, double> reals;
  std::map<std::string, std::string> strings;
  std::vector<Message> messages;
  std::vector<std::string> files;
  std::function<void(const std::string&)> on_file_done;  // optional hook
  HostCallbacks table{};

  // The messages of one level, in order.
  std::vector<std::string> At(int level) const;
  bool Has(int level, const std::string& text) const;
  // True when a message of level was handed over with exactly this format.
  bool HasFormat(int level, const std::string& format) const;
};

FakeHost& fake_host();

// A device file with two configurations:
//   "CTP-2400" (default): film "Plate-A" (40000 x 30000), resolutions 1200, 2400
//   "Test-2540": film "test-film", resolutions 2400.0001, 2540
// and the films "TEST-FILM" (10000 x 5000), "Plate-A", "Proof-Wide" (20000 x 10000).
extern const char* const kDeviceFile;

// Fixture: a fresh plug-in state, a fresh fake host, and temporary device and
// output folders handed to the plug-in as DEVICEDIR and OUTDIR.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // dravout_open with the fake host; expects success.
  void Open();
  // Open, then job settings and a job at ppi; expects success.
  void OpenJob(double ppi = 2400.0);
  // A container holding dict, made by the test's factory.
  CDictContainer* Container(const CStringKeyDict& dict);
  // A job description with "ppi" and "bps".
  CDictContainer* Job(double ppi, int bps = 1);
  CDictContainer* Page(int width, int height, int ncopies = 1);
  CDictContainer* Separation();
  // Files in the output folder, sorted by name.
  std::vector<std::string> OutputFiles() const;

  std::filesystem::path dir_;
  std::filesystem::path device_dir_;
  std::filesystem::path out_dir_;
  CDictContainerFactory factory_;
  void* options_ = nullptr;
  CDictContainer* devinfo_ = nullptr;
  int kind_ = 0;
};

}  // namespace plugin_test

#endif  // TESTS_PLUGIN_FAKE_HOST_H
