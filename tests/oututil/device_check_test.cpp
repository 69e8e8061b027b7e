// device_check_test.cpp - dravoututil_checkdevice: a device folder checked
// without a handle, and its one-line error text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dravoututil.h"
#include "test_files.h"

namespace {

const char* const kDevice = R"([[film]]
name = "Plate-A"
length = 40000
width = 30000

[[configuration]]
name = "CTP-2400"
film = "plate-a"
  [[configuration.resolution]]
  ppi = 2400
  gamma = 1

[[configuration]]
name = "Proofer"
film = "Nowhere"
default = true
  [[configuration.resolution]]
  ppi = 600
  gamma = 1
)";

// Runs the check; the error text goes to error.
int check(const std::string& folder, const char* config, std::string& error) {
  char buffer[1024];
  std::memset(buffer, 'z', sizeof buffer);
  int result = dravoututil_checkdevice(folder.c_str(), config, buffer, sizeof buffer);
  EXPECT_NE(std::memchr(buffer, '\0', sizeof buffer), nullptr);  // always terminated
  error = buffer;
  return result;
}

TEST(CheckDevice, AcceptsTheExampleDeviceFolder) {
  std::string error = "untouched";
  for (const char* config : {static_cast<const char*>(nullptr), "", "ctp-4000", "CTP-2400"}) {
    EXPECT_EQ(check(DRAV_EXAMPLE_DEVICE_FOLDER, config, error), 0) << config;
    EXPECT_EQ(error, "");
  }
}

TEST(CheckDevice, NamesTheFileTheLineAndTheProblem) {
  TempFolder folder;
  const std::string file = folder / "device.toml";
  std::string error;

  EXPECT_NE(check(folder.path(), nullptr, error), 0);
  EXPECT_EQ(error, "cannot read the device file " + file + ": No such file or directory");

  write_file(file, "[[film]]\nname = \"A\"\nlength = = 1\n");
  EXPECT_NE(check(folder.path(), nullptr, error), 0);
  EXPECT_EQ(error.rfind(file + ":3:", 0), 0u) << error;

  write_file(file, kDevice);
  // The film is found without regard to case, as the plug-in looks it up.
  EXPECT_EQ(check(folder.path(), "ctp-2400", error), 0) << error;
  EXPECT_NE(check(folder.path(), "CTP-9000", error), 0);
  EXPECT_EQ(error, file + ": no configuration named \"CTP-9000\" (known: CTP-2400, Proofer)");
  // The default configuration is the one marked, and its film is missing.
  EXPECT_NE(check(folder.path(), nullptr, error), 0);
  EXPECT_EQ(error, file + ":15:8: Film (Nowhere) in selected configuration (Proofer) not found "
                          "(films: Plate-A)");
  EXPECT_NE(check(folder.path(), "", error), 0);
  EXPECT_NE(error.find("(Proofer)"), std::string::npos) << error;

  // A device without films.
  write_file(file, "[[configuration]]\nname = \"C\"\nfilm = \"F\"\n"
                   "[[configuration.resolution]]\nppi = 1\ngamma = 1\n");
  EXPECT_NE(check(folder.path(), nullptr, error), 0);
  EXPECT_EQ(error, file + ":3:8: Film (F) in selected configuration (C) not found "
                          "(the file lists no [[film]])");
}

TEST(CheckDevice, KeepsTheErrorToOneTerminatedLine) {
  TempFolder folder;
  write_file(folder / "device.toml", kDevice);
  std::string error;
  // A configuration name with line ends and a format directive stays text.
  EXPECT_NE(check(folder.path(), "a\nb\r%s%n", error), 0);
  EXPECT_NE(error.find("\"a?b?%s%n\""), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);

  // A short buffer gets what fits, cut before a UTF-8 character that would
  // not fit whole.
  const std::string name = "\xc3\xa9\xc3\xa9\xc3\xa9";  // three two-byte letters
  std::string full;
  check(folder.path(), name.c_str(), full);
  const std::size_t at = full.find(name);
  ASSERT_NE(at, std::string::npos) << full;
  char small[1024];
  for (std::size_t room : {at + 3, at + 4}) {  // one letter and a half, two letters
    std::memset(small, 'z', sizeof small);
    ASSERT_NE(dravoututil_checkdevice(folder.path().c_str(), name.c_str(), small,
                                      static_cast<int>(room + 1)),
              0);
    EXPECT_EQ(std::string(small), full.substr(0, at + (room - at) / 2 * 2)) << room;
    EXPECT_EQ(small[room + 1], 'z');  // nothing beyond size is written
  }

  // No buffer, or no room: only the result tells.
  EXPECT_NE(dravoututil_checkdevice(folder.path().c_str(), "none", nullptr, 100), 0);
  small[0] = 'z';
  EXPECT_NE(dravoututil_checkdevice(folder.path().c_str(), "none", small, 0), 0);
  EXPECT_EQ(small[0], 'z');
  EXPECT_NE(dravoututil_checkdevice(nullptr, nullptr, small, sizeof small), 0);
  EXPECT_NE(std::string(small).find("no device folder"), std::string::npos) << small;
}

}  // namespace
