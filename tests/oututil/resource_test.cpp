// resource_test.cpp - dravoututil_readresfile: the device file, the records
// read back by raw byte offset, selection, refusals and replacement.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "dravoututil.h"
#include "fake_host.h"
#include "test_files.h"

namespace {

// Byte offsets the plug-in reads (64-bit builds move the fields after a
// pointer).
constexpr bool k64 = sizeof(void*) == 8;
constexpr std::size_t kResConfigName = 1024;
constexpr std::size_t kResFilmCount = 3332;
constexpr std::size_t kResConfigCount = 3336;
constexpr std::size_t kResSelected = k64 ? 7440 : 7436;
constexpr std::size_t kResConfigurations = kResSelected + sizeof(void*);
constexpr std::size_t kResFilms = kResConfigurations + sizeof(void*);
constexpr std::size_t kConfName = 0;
constexpr std::size_t kConfFilmName = 1036;
constexpr std::size_t kConfFilms = 2192;
constexpr std::size_t kConfResolutionCount = k64 ? 2200 : 2196;
constexpr std::size_t kConfResolutions = k64 ? 2208 : 2200;
constexpr std::size_t kConfSize = kConfResolutions + sizeof(void*);
constexpr std::size_t kResolutionStride = 840;
constexpr std::size_t kFilmStride = 1048;

// The value of type T at offset bytes into record.
template <typename T>
T field_at(const void* record, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
  return value;
}

// The zero-terminated text at offset bytes into record (field of size bytes).
std::string text_at(const void* record, std::size_t offset, std::size_t size) {
  const char* start = static_cast<const char*>(record) + offset;
  return std::string(start, strnlen(start, size));
}

// True when bytes [from, to) of record are all zero.
bool zero_bytes(const void* record, std::size_t from, std::size_t to) {
  const unsigned char* bytes = static_cast<const unsigned char*>(record);
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

const char* const kDevice = R"(# a test device
[[film]]
name = "Plate-A"
length = 40000
width = 30000.5

[[film]]
name = "Proof"
length = 12000
width = 9000

[[configuration]]
name = "First"
film = "Plate-A"
  [[configuration.resolution]]
  ppi = 1200
  gamma = 1

[[configuration]]
name = "Second"
film = "No-Such-Film"
default = true
  [[configuration.resolution]]
  ppi = 2540.5
  gamma = 2.2
  gamma_text = "0 0, 1 1"
  label = "fine"
  [[configuration.resolution]]
  ppi = 4000
  gamma = -0.5
)";

class ResourceFile : public testing::Test {
 protected:
  void SetUp() override {
    host.options["DEVICEDIR"] = folder.path();
    util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
  }
  void TearDown() override { dravoututil_end(util); }

  // Writes text as the device file.
  void write_device(const std::string& text) { write_file(folder / "device.toml", text); }

  // Reads the device file selecting name; returns the result.
  int read(const char* name) { return dravoututil_readresfile(util, name, 0, &resdata); }

  // The resource record the word points to.
  const DravResource* record() const { return *resdata; }

  FakeHost host;
  TempFolder folder;
  DravOutUtil* util = nullptr;
  DravResource** resdata = nullptr;
};

TEST_F(ResourceFile, RecordsHoldEveryFieldAtItsOffset) {
  write_device(kDevice);
  ASSERT_EQ(read("First"), 0);
  EXPECT_TRUE(host.messages.empty());
  ASSERT_NE(resdata, nullptr);
  const void* res = record();
  ASSERT_NE(res, nullptr);

  EXPECT_EQ(text_at(res, 0, 1024), folder / "device.toml");
  EXPECT_EQ(text_at(res, kResConfigName, 256), "First");
  EXPECT_EQ(field_at<int32_t>(res, kResFilmCount), 2);
  EXPECT_EQ(field_at<int32_t>(res, kResConfigCount), 2);
  auto* selected = field_at<const char*>(res, kResSelected);
  auto* configurations = field_at<const char*>(res, kResConfigurations);
  auto* films = field_at<const char*>(res, kResFilms);
  EXPECT_EQ(selected, configurations);

  // The film table, shared by every configuration.
  EXPECT_EQ(text_at(films, 0, 256), "Plate-A");
  EXPECT_EQ(field_at<double>(films, 256), 40000.0);
  EXPECT_EQ(field_at<double>(films, 264), 30000.5);
  EXPECT_EQ(text_at(films + kFilmStride, 0, 256), "Proof");
  EXPECT_EQ(field_at<double>(films + kFilmStride, 256), 12000.0);
  EXPECT_EQ(field_at<double>(films + kFilmStride, 264), 9000.0);

  // The first configuration.
  EXPECT_EQ(text_at(selected, kConfName, 256), "First");
  EXPECT_EQ(text_at(selected, kConfFilmName, 256), "Plate-A");
  EXPECT_EQ(field_at<const char*>(selected, kConfFilms), films);
  EXPECT_EQ(field_at<int32_t>(selected, kConfResolutionCount), 1);
  auto* resolution = field_at<const char*>(selected, kConfResolutions);
  EXPECT_EQ(text_at(resolution, 0, 256), "1200");  // label defaults to the resolution
  EXPECT_EQ(field_at<double>(resolution, 264), 1200.0);
  EXPECT_EQ(field_at<double>(resolution, 280), 1.0);
  EXPECT_EQ(text_at(resolution, 288, 552), "");

  // The second configuration follows the first in the configuration table.
  const char* second = configurations + kConfSize;
  EXPECT_EQ(text_at(second, kConfName, 256), "Second");
  EXPECT_EQ(text_at(second, kConfFilmName, 256), "No-Such-Film");  // not refused here
  EXPECT_EQ(field_at<const char*>(second, kConfFilms), films);
  EXPECT_EQ(field_at<int32_t>(second, kConfResolutionCount), 2);
  resolution = field_at<const char*>(second, kConfResolutions);
  EXPECT_EQ(text_at(resolution, 0, 256), "fine");
  EXPECT_EQ(field_at<double>(resolution, 264), 2540.5);
  EXPECT_EQ(field_at<double>(resolution, 280), 2.2);
  EXPECT_EQ(text_at(resolution, 288, 552), "0 0, 1 1");
  resolution += kResolutionStride;
  EXPECT_EQ(text_at(resolution, 0, 256), "4000");
  EXPECT_EQ(field_at<double>(resolution, 264), 4000.0);
  EXPECT_EQ(field_at<double>(resolution, 280), -0.5);
}

TEST_F(ResourceFile, ReservedBytesAreZero) {
  write_device(kDevice);
  ASSERT_EQ(read("Second"), 0);
  const char* res = reinterpret_cast<const char*>(record());
  EXPECT_TRUE(zero_bytes(res, 1024 + 7, 3332));  // after "Second" to film_count
  EXPECT_TRUE(zero_bytes(res, 3340, kResSelected));
  auto* configurations = field_at<const char*>(res, kResConfigurations);
  for (const char* configuration : {configurations, configurations + kConfSize}) {
    EXPECT_TRUE(zero_bytes(configuration, 256, 1036));
    EXPECT_TRUE(zero_bytes(configuration, 1292, 2192));
    EXPECT_TRUE(zero_bytes(configuration, kConfResolutionCount + 4, kConfResolutions));
  }
  auto* resolution = field_at<const char*>(configurations + kConfSize, kConfResolutions);
  EXPECT_TRUE(zero_bytes(resolution, 256, 264));
  EXPECT_TRUE(zero_bytes(resolution, 272, 280));
  EXPECT_TRUE(zero_bytes(resolution, 288 + 9, 840));
  auto* films = field_at<const char*>(res, kResFilms);
  EXPECT_TRUE(zero_bytes(films, 272, kFilmStride));
}

// The writer settings of a configuration: two 32-bit integers at the front
// of its second reserved field, 0 when the file leaves them out.
TEST_F(ResourceFile, WriterSettingsLieInTheReservedSpace) {
  constexpr std::size_t kConfDeflateLevel = 1292;
  constexpr std::size_t kConfCompressionThreads = 1296;
  std::string device = kDevice;
  device.replace(device.find("default = true"), 14,
                 "default = true\ndeflate_level = 12\ncompression_threads = 3");
  write_device(device);
  ASSERT_EQ(read("Second"), 0) << (host.messages.empty() ? "" : host.messages[0].text);
  const char* res = reinterpret_cast<const char*>(record());
  auto* configurations = field_at<const char*>(res, kResConfigurations);
  const char* second = configurations + kConfSize;
  EXPECT_EQ(field_at<const char*>(res, kResSelected), second);
  EXPECT_EQ(field_at<int32_t>(second, kConfDeflateLevel), 12);
  EXPECT_EQ(field_at<int32_t>(second, kConfCompressionThreads), 3);
  EXPECT_TRUE(zero_bytes(second, 1300, 2192));
  EXPECT_EQ(field_at<int32_t>(configurations, kConfDeflateLevel), 0);
  EXPECT_EQ(field_at<int32_t>(configurations, kConfCompressionThreads), 0);
  // The other fields keep their places.
  EXPECT_EQ(text_at(second, kConfFilmName, 256), "No-Such-Film");
  EXPECT_EQ(field_at<int32_t>(second, kConfResolutionCount), 2);
}

TEST_F(ResourceFile, SelectsByNameWithoutRegardToCase) {
  write_device(kDevice);
  ASSERT_EQ(read("sECOND"), 0);
  EXPECT_EQ(text_at(record(), kResConfigName, 256), "Second");  // as the file spells it
  EXPECT_EQ(text_at(field_at<const char*>(record(), kResSelected), kConfName, 256), "Second");
}

TEST_F(ResourceFile, SelectsTheMarkedDefaultWhenNoNameIsGiven) {
  write_device(kDevice);
  ASSERT_EQ(read(""), 0);
  EXPECT_EQ(std::string(record()->config_name), "Second");
  ASSERT_EQ(read(nullptr), 0);
  EXPECT_EQ(std::string(record()->selected->name), "Second");
}

TEST_F(ResourceFile, SelectsTheFirstConfigurationWhenNoneIsMarked) {
  std::string text = kDevice;
  text.erase(text.find("default = true\n"), 15);
  write_device(text);
  ASSERT_EQ(read(""), 0);
  EXPECT_EQ(std::string(record()->config_name), "First");
}

TEST_F(ResourceFile, ASecondReadReplacesTheRecordBehindTheSameWord) {
  write_device(kDevice);
  ASSERT_EQ(read("First"), 0);
  DravResource** word = resdata;
  write_device(std::string(kDevice) + R"(
[[configuration]]
name = "Third"
film = "Proof"
  [[configuration.resolution]]
  ppi = 600
  gamma = 1
)");
  ASSERT_EQ(read("third"), 0);
  EXPECT_EQ(resdata, word);
  EXPECT_EQ(field_at<int32_t>(record(), kResConfigCount), 3);
  EXPECT_EQ(std::string(record()->config_name), "Third");
  EXPECT_EQ(record()->selected->resolutions[0].resolution, 600.0);
}

TEST_F(ResourceFile, FindsTheFileThroughTheEnvironmentWithoutTheOption) {
  write_device(kDevice);
  host.options.erase("DEVICEDIR");
  ASSERT_EQ(setenv("DRAV_DEVICEDIR", folder.path().c_str(), 1), 0);
  int result = read("First");
  unsetenv("DRAV_DEVICEDIR");
  EXPECT_EQ(result, 0);
}

TEST_F(ResourceFile, ReadsTheExampleDeviceFile) {
  host.options["DEVICEDIR"] = DRAV_EXAMPLE_DEVICE_FOLDER;
  ASSERT_EQ(read(""), 0) << (host.messages.empty() ? "" : host.messages[0].text);
  EXPECT_EQ(std::string(record()->config_name), "CTP-2400");
  EXPECT_EQ(std::string(record()->selected->film_name), "Plate-A");
  EXPECT_EQ(record()->selected->resolution_count, 2);
  EXPECT_GE(record()->film_count, 3);
  ASSERT_EQ(read("ctp-4000"), 0);
  const DravConfigRecord* config = record()->selected;
  EXPECT_EQ(std::string(config->film_name), "Plate-B");
  ASSERT_EQ(config->resolution_count, 3);
  int with_text = 0;
  for (int i = 0; i < 3; ++i) with_text += config->resolutions[i].gamma_text[0] != '\0' ? 1 : 0;
  EXPECT_EQ(with_text, 1);
}

TEST_F(ResourceFile, AcceptsNamesOfExactly255Bytes) {
  std::string name(255, 'n');
  write_device(std::string("[[configuration]]\nname = \"") + name +
               "\"\nfilm = \"F\"\n[[configuration.resolution]]\nppi = 1\ngamma = 1\n");
  ASSERT_EQ(read(name.c_str()), 0);
  EXPECT_EQ(std::string(record()->config_name), name);
  EXPECT_EQ(record()->film_count, 0);
}

// One refused call: non-zero, one level-1 message holding fragment (with
// foreign text passed as an argument), *resdata and the earlier record
// untouched.
struct Refusal {
  const char* label;
  std::string device;  // empty: no file at all
  const char* config;
  const char* fragment;
};

// Names the case in test output.
void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.label; }

class ResourceRefusal : public ResourceFile, public testing::WithParamInterface<Refusal> {};

TEST_P(ResourceRefusal, FailsOnceAndLeavesTheEarlierRecord) {
  write_device(kDevice);
  ASSERT_EQ(read("First"), 0);
  DravResource** word = resdata;
  const DravResource* earlier = *word;

  const Refusal& refusal = GetParam();
  if (refusal.device.empty()) {
    host.options["DEVICEDIR"] = folder / "missing";
  } else {
    write_device(refusal.device);
  }
  DravResource** untouched = reinterpret_cast<DravResource**>(&host);  // a marker value
  resdata = untouched;
  EXPECT_NE(read(refusal.config), 0);
  EXPECT_EQ(resdata, untouched);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].level, DRAV_MSG_ERROR);
  EXPECT_EQ(host.messages[0].format, "dravoututil: %s");
  EXPECT_NE(host.messages[0].text.find(refusal.fragment), std::string::npos)
      << host.messages[0].text;

  // The earlier record is still whole behind the same word.
  EXPECT_EQ(*word, earlier);
  EXPECT_EQ(std::string(earlier->config_name), "First");
  EXPECT_EQ(earlier->selected->resolutions[0].resolution, 1200.0);
  resdata = word;
}

// kDevice with the first occurrence of from replaced by to.
std::string changed(const std::string& from, const std::string& to) {
  std::string text = kDevice;
  text.replace(text.find(from), from.size(), to);
  return text;
}

const std::string kLongName(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Device, ResourceRefusal,
    testing::Values(
        Refusal{"UnknownConfiguration", kDevice, "Fourth", "no configuration named \"Fourth\""},
        Refusal{"MissingFile", "", "First", "missing/device.toml: No such file"},
        Refusal{"SyntaxError", changed("width = 9000", "width = = 9000"), "First",
                "device.toml:10:"},
        Refusal{"ConfigurationNameTooLong", changed("\"Second\"", "\"" + kLongName + "\""), "First",
                "\"name\" is 256 bytes long; at most 255"},
        Refusal{"FilmNameTooLong", changed("\"Proof\"", "\"" + kLongName + "\""), "First",
                "\"name\" is 256 bytes long"},
        Refusal{"GammaTextTooLong", changed("\"0 0, 1 1\"", "\"" + std::string(552, 'g') + "\""),
                "First", "\"gamma_text\" is 552 bytes long; at most 551"},
        Refusal{"MissingWidth", changed("width = 9000\n", ""), "First",
                "device.toml:7:1: the film has no \"width\""},
        Refusal{"TextForNumber", changed("ppi = 4000", "ppi = \"4000\""), "First",
                "\"ppi\" must be a number"},
        Refusal{"ZeroResolution", changed("ppi = 4000", "ppi = 0"), "First",
                "\"ppi\" must be greater than 0"},
        Refusal{"NotFinite", changed("gamma = 2.2", "gamma = nan"), "First",
                "\"gamma\" must be finite"},
        Refusal{"NumberForName", changed("name = \"Proof\"", "name = 7"), "First",
                "\"name\" must be a text"},
        Refusal{"ZeroByteInName", changed("\"Proof\"", "\"Pro\\u0000of\""), "First",
                "zero character"},
        Refusal{"UnknownKey", changed("label = \"fine\"", "lable = \"fine\""), "First",
                "unknown key \"lable\""},
        Refusal{"TwoDefaults",
                changed("film = \"Plate-A\"\n", "film = \"Plate-A\"\ndefault = true\n"), "First",
                "a second configuration marked default"},
        Refusal{"DefaultNotBoolean", changed("default = true", "default = 1"), "First",
                "\"default\" must be true or false"},
        Refusal{"DuplicateConfiguration", changed("\"Second\"", "\"FIRST\""), "First",
                "a second configuration named \"FIRST\""},
        Refusal{"DuplicateFilm", changed("\"Proof\"", "\"plate-a\""), "First",
                "a second film named \"plate-a\""},
        Refusal{"NoConfiguration", "[[film]]\nname = \"F\"\nlength = 1\nwidth = 1\n", "",
                "no [[configuration]] section"},
        Refusal{"NoResolution", "[[configuration]]\nname = \"C\"\nfilm = \"F\"\n", "",
                "has no [[configuration.resolution]] section"},
        Refusal{"FilmNotASection",
                "film = \"Plate-A\"\n[[configuration]]\nname = \"C\"\nfilm = \"Plate-A\"\n"
                "[[configuration.resolution]]\nppi = 1\ngamma = 1\n",
                "", "device.toml:1:8: \"film\" must be written as [[film]] sections"},
        Refusal{"DeflateLevelTooHigh",
                changed("default = true", "default = true\ndeflate_level = 13"), "First",
                "\"deflate_level\" must be an integer from 1 to 12"},
        Refusal{"DeflateLevelNotInteger",
                changed("default = true", "default = true\ndeflate_level = 6.5"), "First",
                "\"deflate_level\" must be an integer"},
        Refusal{"NoCompressionThreads",
                changed("default = true", "default = true\ncompression_threads = 0"), "First",
                "\"compression_threads\" must be an integer from 1 to 64"},
        Refusal{"HostileName", kDevice, "%s%n%s", "no configuration named \"%s%n%s\""}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

}  // namespace
