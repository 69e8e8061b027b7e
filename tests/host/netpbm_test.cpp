// netpbm_test.cpp - damaged netpbm images are refused with a message that
// names their kind: PBM for bilevel images, PGM for grey contone ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/host_error.h"
#include "sources/image_reader.h"
#include "test_support.h"

namespace {

using riphost_test::TempDir;

struct Damaged {
  const char* name;
  std::string bytes;
  const char* message;
};

// A failing case is named, not dumped byte by byte.
void PrintTo(const Damaged& damaged, std::ostream* out) { *out << damaged.name; }

// The message of the error reading the header and every row raises, or "".
std::string error_of(const std::filesystem::path& file) {
  try {
    std::unique_ptr<riphost::ImageReader> reader = riphost::open_contone(file, 0);
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(reader->width()));
    for (int y = 0; y < reader->height(); ++y) reader->read_ink(ink.data(), reader->width());
  } catch (const riphost::HostError& error) {
    return error.what();
  }
  return "";
}

class DamagedNetpbm : public ::testing::TestWithParam<Damaged> {};

TEST_P(DamagedNetpbm, MessageNamesTheKind) {
  TempDir dir;
  const std::filesystem::path file = dir / "image";
  riphost_test::write_file(file, GetParam().bytes);
  EXPECT_EQ(error_of(file), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DamagedNetpbm,
    ::testing::Values(Damaged{"pgm_no_width", "P5\n# c\nx", "bad PGM header: no width"},
                      Damaged{"pgm_zero_height", "P5 4 0 255\n", "PGM height is 0"},
                      Damaged{"pgm_huge_width", "P5 99999999 1 255\n", "PGM width too large"},
                      Damaged{"pgm_no_maximum", "P5 4 1\n", "bad PGM header: no maximum value"},
                      Damaged{"pgm_junk_after_height", "P5 4 1x 255\n", "bad PGM header after the height"},
                      Damaged{"pgm_sixteen_bits", "P5 4 1 65535\n", "PGM images of more than 8 bits are not supported"},
                      Damaged{"pgm_short", "P5 4 2 255\n" + std::string(6, '\x80'), "PGM data ends early, at row 1"},
                      Damaged{"pbm_no_height", "P4 8 \n", "bad PBM header: no height"},
                      Damaged{"pbm_zero_width", "P1 0 1\n", "PBM width is 0"},
                      Damaged{"pbm_short", "P4 8 2\n\xff", "PBM data ends early, at row 1"}),
    [](const ::testing::TestParamInfo<Damaged>& info) { return std::string(info.param.name); });

}  // namespace
