// cfg_test.cpp - the configuration library through its C interface: sets
// read from device files, the records' byte layout and ownership, error
// texts, locations that name no device folder, and null handles.
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "dravcfg.h"
#include "test_files.h"

namespace {

constexpr const char* kLocation = "QZ_RIPPAR:dv_config.res";

// Sets (or unsets) an environment value for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A set as the plug-in sees it: read only through the byte offsets.
struct SeenSet {
  std::string name;
  std::vector<double> resolutions;
  bool operator==(const SeenSet&) const = default;
};

SeenSet read_record(const DravCfgSet* record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  SeenSet seen;
  seen.name = reinterpret_cast<const char*>(bytes);  // zero-terminated within 256
  int32_t count = 0;
  std::memcpy(&count, bytes + 256, sizeof count);
  for (int32_t k = 0; k < count; ++k) {
    double value = 0;
    std::memcpy(&value, bytes + 264 + 840 * static_cast<std::size_t>(k), sizeof value);
    seen.resolutions.push_back(value);
  }
  return seen;
}

// True when every byte of record that carries no field's value is zero.
bool unused_bytes_zero(const DravCfgSet* record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  const std::size_t name_length = std::strlen(record->name);
  for (std::size_t i = name_length; i < 256; ++i) {
    if (bytes[i] != 0) return false;
  }
  for (std::size_t i = 260; i < 264; ++i) {
    if (bytes[i] != 0) return false;
  }
  for (int32_t k = 0; k < record->resolution_count; ++k) {
    const std::size_t entry = 264 + 840 * static_cast<std::size_t>(k);
    for (std::size_t i = entry + 8; i < entry + 840; ++i) {
      if (bytes[i] != 0) return false;
    }
  }
  return true;
}

// Takes the sets of cfg as the plug-in does, checks each record is one block
// large enough for its count, and frees them as the caller must.
std::vector<SeenSet> take_sets(DravCfg* cfg) {
  std::vector<SeenSet> result;
  const int count = dravcfg_get_nrsets(cfg);
  DravCfgSet** sets = dravcfg_get_sets(cfg);
  if (sets == nullptr) {
    ADD_FAILURE() << "no sets";
    return result;
  }
  for (int i = 0; i < count; ++i) {
    EXPECT_GE(malloc_usable_size(sets[i]), DRAVCFG_SET_SIZE(sets[i]->resolution_count));
    EXPECT_TRUE(unused_bytes_zero(sets[i])) << i;
    result.push_back(read_record(sets[i]));
    std::free(sets[i]);
  }
  std::free(sets);
  return result;
}

// The error texts of cfg.
std::vector<std::string> errors_of(DravCfg* cfg) {
  std::vector<std::string> texts;
  const int count = dravcfg_get_nr_errors(cfg);
  const char** array = dravcfg_get_errormessages(cfg);
  if (count == 0) return texts;
  if (array == nullptr) {
    ADD_FAILURE() << "no error array";
    return texts;
  }
  for (int i = 0; i < count; ++i) texts.emplace_back(array[i]);
  EXPECT_EQ(array[count], nullptr);
  return texts;
}

// A device file with three configurations, the second with 25 resolutions.
std::string three_configurations(std::vector<double>& long_list) {
  std::string text =
      "[[film]]\nname = \"Plate\"\nlength = 40000\nwidth = 30000\n\n"
      "[[configuration]]\nname = \"First\"\nfilm = \"Plate\"\n"
      "  [[configuration.resolution]]\n  ppi = 2400\n  gamma = 1\n"
      "  [[configuration.resolution]]\n  ppi = 1200.5\n  gamma = 1.8\n"
      "  label = \"fine\"\n  gamma_text = \"0 0, 1 1\"\n\n"
      "[[configuration]]\nname = \"Long list\"\nfilm = \"Plate\"\n";
  long_list.clear();
  for (int k = 0; k < 25; ++k) {
    const double ppi = 100 + 37.25 * k;
    long_list.push_back(ppi);
    char line[96];
    std::snprintf(line, sizeof line, "  [[configuration.resolution]]\n  ppi = %d.%02d\n  gamma = 1\n",
                  static_cast<int>(ppi), static_cast<int>((ppi - static_cast<int>(ppi)) * 100));
    text += line;
  }
  text += "\n[[configuration]]\nname = \"" + std::string(255, 'N') +
          "\"\nfilm = \"Plate\"\ndefault = true\n"
          "  [[configuration.resolution]]\n  ppi = 600\n  gamma = 1\n";
  return text;
}

TEST(CfgSets, OneRecordPerConfigurationWithEveryResolutionInFileOrder) {
  TempFolder folder;
  std::vector<double> long_list;
  write_file(folder / "device.toml", three_configurations(long_list));
  ScopedEnv env("QZ_RIPPAR", folder.path().c_str());

  DravCfg* cfg = dravcfg_open(kLocation);
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(dravcfg_get_nr_errors(cfg), 0);
  ASSERT_NE(dravcfg_get_errormessages(cfg), nullptr);
  EXPECT_EQ(dravcfg_get_errormessages(cfg)[0], nullptr);
  ASSERT_EQ(dravcfg_get_nrsets(cfg), 3);
  const std::vector<SeenSet> expected = {
      {"First", {2400, 1200.5}}, {"Long list", long_list}, {std::string(255, 'N'), {600}}};
  EXPECT_EQ(take_sets(cfg), expected);
  // Every call hands out new records; the handle keeps its own.
  EXPECT_EQ(take_sets(cfg), expected);
  dravcfg_close(&cfg);
  EXPECT_EQ(cfg, nullptr);

  // The example device folder, through another logical name and a resource
  // name in other case.
  ScopedEnv other("DRAV_OTHER_FOLDER", DRAV_EXAMPLE_DEVICE_FOLDER);
  cfg = dravcfg_open("DRAV_OTHER_FOLDER:DV_Config.RES");
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(errors_of(cfg), std::vector<std::string>{});
  EXPECT_EQ(take_sets(cfg),
            (std::vector<SeenSet>{{"CTP-2400", {1200, 2400}}, {"CTP-4000", {2000, 2540, 4000}}}));
  dravcfg_close(&cfg);
}

TEST(CfgErrors, NameTheFileAndTheLineAndStayUntilClose) {
  TempFolder folder;
  const std::string file = folder / "device.toml";
  ScopedEnv env("QZ_RIPPAR", folder.path().c_str());

  // Opens, checks that no sets come out, and returns the one error text.
  auto only_error = [](const char* location) {
    DravCfg* cfg = dravcfg_open(location);
    if (cfg == nullptr) {
      ADD_FAILURE() << "no handle";
      return std::string();
    }
    EXPECT_EQ(dravcfg_get_nrsets(cfg), 0);
    EXPECT_EQ(dravcfg_get_sets(cfg), nullptr);
    const std::vector<std::string> first = errors_of(cfg);
    const char** array = dravcfg_get_errormessages(cfg);
    // Asking again gives the same texts in the same place.
    EXPECT_EQ(errors_of(cfg), first);
    EXPECT_EQ(dravcfg_get_errormessages(cfg), array);
    dravcfg_close(&cfg);
    EXPECT_EQ(first.size(), 1u);
    return first.empty() ? std::string() : first.front();
  };

  EXPECT_EQ(only_error(kLocation),
            "dravcfg: cannot read the device file " + file + ": No such file or directory");

  write_file(file, "[[configuration]]\nname = \"A\"\nfilm = = \"x\"\n");
  EXPECT_EQ(only_error(kLocation).rfind("dravcfg: " + file + ":3:", 0), 0u);

  write_file(file,
             "[[configuration]]\nname = \"A\"\nfilm = \"F\"\n"
             "  [[configuration.resolution]]\n  ppi = 0\n  gamma = 1\n");
  EXPECT_EQ(only_error(kLocation), "dravcfg: " + file + ":5:9: \"ppi\" must be greater than 0");

  // Hostile nesting is refused before the parser could exhaust the stack.
  std::string deep = "[[configuration]]\nname = \"A\"\nfilm = \"F\"\nx = ";
  deep += std::string(200000, '[');
  write_file(file, deep);
  std::string error = only_error(kLocation);
  EXPECT_EQ(error.rfind("dravcfg: " + file + ":4:", 0), 0u) << error;
  EXPECT_NE(error.find("nested deeper than 32 levels"), std::string::npos) << error;

  // A resource other than the device file, and a folder name lognam would cut.
  EXPECT_EQ(only_error("QZ_RIPPAR:other.res"),
            "dravcfg: QZ_RIPPAR:other.res: unknown resource \"other.res\" (known: dv_config.res)");
  ScopedEnv long_env("QZ_RIPPAR", ("/" + std::string(3000, 'd')).c_str());
  EXPECT_EQ(only_error(kLocation),
            "dravcfg: QZ_RIPPAR:dv_config.res: the folder QZ_RIPPAR names is longer than 1023 "
            "bytes");
}

TEST(CfgLocation, NamingNoDeviceFolderGivesNoHandle) {
  TempFolder folder;
  {
    ScopedEnv unset("QZ_RIPPAR", nullptr);
    EXPECT_EQ(dravcfg_open(kLocation), nullptr);
  }
  {
    ScopedEnv empty("QZ_RIPPAR", "");
    EXPECT_EQ(dravcfg_open(kLocation), nullptr);
  }
  ScopedEnv env("QZ_RIPPAR", folder.path().c_str());
  for (const char* location : {static_cast<const char*>(nullptr), "", "dv_config.res",
                               "QZ_RIPPAR", ":dv_config.res"}) {
    EXPECT_EQ(dravcfg_open(location), nullptr) << (location ? location : "(null)");
  }
}

TEST(CfgHandle, NullHandlesAnswerNothing) {
  EXPECT_EQ(dravcfg_get_nr_errors(nullptr), 0);
  EXPECT_EQ(dravcfg_get_errormessages(nullptr), nullptr);
  EXPECT_EQ(dravcfg_get_nrsets(nullptr), 0);
  EXPECT_EQ(dravcfg_get_sets(nullptr), nullptr);
  dravcfg_close(nullptr);
  DravCfg* none = nullptr;
  dravcfg_close(&none);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
