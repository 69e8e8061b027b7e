// The PNG preview of each separation: the tag, the kept ".png" file, and
// what stays behind when a preview cannot be made or a separation is dropped.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dravout.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "tav.h"

namespace plugin_test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Width and height of a PNG held in memory, or {0, 0}.
std::pair<int, int> png_size(const std::vector<uint8_t>& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {0, 0};
  png_image_free(&image);
  return {static_cast<int>(image.width), static_cast<int>(image.height)};
}

class PreviewTest : public PluginTest {
 protected:
  // One separation of width x height: the left half inked.
  void Separation(int width, int height, bool end = true) {
    if (dravout::util_handle == nullptr) OpenJob();
    ASSERT_EQ(dravout_startpage(Page(width, height)), 0);
    ASSERT_EQ(dravout_startseparations(PluginTest::Separation()), 0);
    for (int y = 0; y < height; ++y) {
      ScanlineBuffer* buffer = nullptr;
      dravout_newscan(&buffer);
      std::memset(buffer->data, 0, static_cast<std::size_t>(dravout::scanline_bytes));
      for (int x = 0; x < width / 2; ++x) buffer->data[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
      ASSERT_EQ(dravout_putscan(buffer), 0);
    }
    if (end) {
      ASSERT_EQ(dravout_endseparations(), 0);
    }
  }
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const std::string& name : OutputFiles())
      if (name.find(".tmp") != std::string::npos) names.push_back(name);
    return names;
  }
};

TEST_F(PreviewTest, KeptPreviewIsTheTagAndAFileOfItsOwn) {
  fake_host().ints["dravout_addpngpreview"] = 1;
  fake_host().ints["dravout_outputpagepngpreview"] = 1;
  fake_host().ints["dravout_resolutionpngpreview"] = 100;
  for (int width : {300, 301, 333, 517}) Separation(width, 150);
  // Each separation: the ".png" first, then the raster file.
  ASSERT_EQ(fake_host().files.size(), 8u);
  for (std::size_t i = 0; i < fake_host().files.size(); i += 2) {
    const std::string png = fake_host().files[i];
    const std::string tav_file = fake_host().files[i + 1];
    EXPECT_EQ(fs::path(png).extension(), ".png");
    EXPECT_EQ(fs::path(tav_file).extension(), ".tav");
    const std::vector<uint8_t> bytes = slurp(png);
    tav::TavReader reader(tav_file);
    const tav::TavTag* tag = reader.FindTag("_KVTVIEW.PNG");
    ASSERT_NE(tag, nullptr);
    // The file's bytes, then as many zero bytes as its length mod 4.
    const std::size_t n = bytes.size();
    ASSERT_EQ(tag->value.size(), n + n % 4) << n;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), tag->value.begin()));
    for (std::size_t k = n; k < tag->value.size(); ++k) EXPECT_EQ(tag->value[k], 0);
    // The longer side rescaled to 100 pixels.
    EXPECT_EQ(png_size(bytes).first, 100);
  }
  EXPECT_EQ(fs::path(dravout::output_file_name).extension(), ".tav");
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(PreviewTest, UnkeptAndUnscaledPreviewsLeaveNoFile) {
  fake_host().ints["dravout_addpngpreview"] = 1;
  fake_host().ints["dravout_resolutionpngpreview"] = -1;  // the library's own grid
  Separation(640, 200);
  ASSERT_EQ(fake_host().files.size(), 1u);
  tav::TavReader reader(fake_host().files[0]);
  const tav::TavTag* tag = reader.FindTag("_KVTVIEW.PNG");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(png_size(tag->value), std::make_pair(640, 200));
  EXPECT_EQ(OutputFiles().size(), 1u);

  // Previews off: no tag.
  fake_host().ints["dravout_addpngpreview"] = 0;
  ASSERT_EQ(dravout_endjob(), 0);
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(2400.0)), 0);
  ASSERT_EQ(dravout_startpage(Page(64, 4)), 0);
  ASSERT_EQ(dravout_startseparations(PluginTest::Separation()), 0);
  ScanlineBuffer* buffer = nullptr;
  for (int y = 0; y < 4; ++y) {
    dravout_newscan(&buffer);
    ASSERT_EQ(dravout_putscan(buffer), 0);
  }
  ASSERT_EQ(dravout_endseparations(), 0);
  EXPECT_EQ(tav::TavReader(fake_host().files.back()).FindTag("_KVTVIEW.PNG"), nullptr);
}

TEST_F(PreviewTest, PreviewsThatFailOrAreDroppedLeaveNothing) {
  fake_host().ints["dravout_addpngpreview"] = 1;
  fake_host().ints["dravout_outputpagepngpreview"] = 1;
  // The preview cannot be written: reported, no tag, the file is finished.
  Separation(64, 8, /*end=*/false);
  const std::string reserved = dravout::preview_tmp_name;
  std::strcpy(dravout::preview_tmp_name, (out_dir_ / "missing" / "p.tmp_pngpreview").c_str());
  ASSERT_EQ(dravout_endseparations(), 0);
  EXPECT_TRUE(fake_host().Has(1, "Could not write png preview tag in tavfile"));
  ASSERT_EQ(fake_host().files.size(), 1u);
  EXPECT_EQ(tav::TavReader(fake_host().files[0]).FindTag("_KVTVIEW.PNG"), nullptr);
  fs::remove(reserved);  // the name this test took away from the plug-in

  // A separation the host never ends: its preview goes with its file.
  ASSERT_EQ(dravout_startseparations(PluginTest::Separation()), 0);
  ASSERT_EQ(dravout_endjob(), 0);
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(dravout::preview_tmp_name[0], '\0');
}

}  // namespace
}  // namespace plugin_test
