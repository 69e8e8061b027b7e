// The PNG preview of each separation: the tag, the kept ".png" file, and
// what stays behind when a preview cannot be made or a separation is dropped.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

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
  // Each separation: the raster file first, then its ".png".
  ASSERT_EQ(fake_host().files.size(), 8u);
  for (std::size_t i = 0; i < fake_host().files.size(); i += 2) {
    const std::string tav_file = fake_host().files[i];
    const std::string png = fake_host().files[i + 1];
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
  // The preview cannot be written: reported once with the reason, no tag,
  // the file is finished; the requested ".png" is missing (6).
  Separation(64, 8, /*end=*/false);
  const std::string reserved = dravout::preview_tmp_name;
  std::strcpy(dravout::preview_tmp_name, (out_dir_ / "missing" / "p.tmp_pngpreview").c_str());
  ASSERT_EQ(dravout_endseparations(), 6);
  ASSERT_EQ(fake_host().At(1).size(), 1u);
  EXPECT_EQ(fake_host().At(1)[0].rfind("DRAVOUT: Could not write the PNG preview (PNG preview: cannot create ", 0), 0u)
      << fake_host().At(1)[0];
  EXPECT_NE(fake_host().At(1)[0].find("No such file or directory"), std::string::npos) << fake_host().At(1)[0];
  ASSERT_EQ(fake_host().files.size(), 1u);
  EXPECT_EQ(tav::TavReader(fake_host().files[0]).FindTag("_KVTVIEW.PNG"), nullptr);
  fs::remove(reserved);  // the name this test took away from the plug-in

  // A separation the host never ends: its preview goes with its file.
  ASSERT_EQ(dravout_startseparations(PluginTest::Separation()), 0);
  ASSERT_EQ(dravout_endjob(), 0);
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(dravout::preview_tmp_name[0], '\0');
}

// Where a separation whose preview is kept as a file fails, and what must
// follow: a ".png" never stands without its raster file and is never named
// before it, no temporary file stays, exactly one level-1 report says what
// is missing (naming a real destination; the utility library may add its
// reason), and the result is not 0.
TEST_F(PreviewTest, AKeptPreviewNeverPrecedesOrOutlivesItsRasterFile) {
  fake_host().ints["dravout_addpngpreview"] = 1;
  fake_host().ints["dravout_outputpagepngpreview"] = 1;
  enum class Fault { none, short_file, raster_unnamed, preview_unnamed };
  const struct {
    Fault fault;
    int result;
    bool tav_delivered;
    bool png_delivered;
    const char* level1;  // the start of the one level-1 report
  } cases[] = {
      {Fault::none, 0, true, true, nullptr},
      {Fault::short_file, 6, false, false, "Closing tavfile failed"},
      {Fault::raster_unnamed, 6, false, false, "DRAVOUT: Could not generate unique filename ("},
      {Fault::preview_unnamed, 6, true, false, "DRAVOUT: Could not generate unique filename ("},
  };
  OpenJob();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(++n);
    fake_host().strings["JOBNAME"] = "case" + std::to_string(n);
    fake_host().messages.clear();
    fake_host().files.clear();
    ASSERT_EQ(dravout_startpage(Page(64, 8)), 0);
    ASSERT_EQ(dravout_startseparations(PluginTest::Separation()), 0);
    const int rows = c.fault == Fault::short_file ? 4 : 8;  // a short file cannot be closed
    for (int y = 0; y < rows; ++y) {
      ScanlineBuffer* buffer = nullptr;
      dravout_newscan(&buffer);
      buffer->data[0] = 0x0F;
      ASSERT_EQ(dravout_putscan(buffer), 0);
    }
    // A file that cannot be synced cannot be given its final name: the
    // raster file (before its rename) or the preview (once the raster file
    // is reported).
    const std::string real_tmp = dravout::state.tmp_name;
    if (c.fault == Fault::raster_unnamed) {
      const std::string fifo = real_tmp.substr(0, real_tmp.size() - 4) + "9.tmp";
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
      std::strcpy(dravout::state.tmp_name, fifo.c_str());
    }
    std::string png_tmp;
    fake_host().on_file_done = [&](const std::string&) {
      if (c.fault != Fault::preview_unnamed || dravout::preview_tmp_name[0] == '\0') return;
      png_tmp = dravout::preview_tmp_name;
      fs::remove(png_tmp);
      mkfifo(png_tmp.c_str(), 0600);
    };
    EXPECT_EQ(dravout_endseparations(), c.result);
    fake_host().on_file_done = nullptr;
    if (c.fault == Fault::raster_unnamed) fs::remove(real_tmp);  // the name the test took away

    const auto& files = fake_host().files;
    ASSERT_EQ(files.size(), (c.tav_delivered ? 1u : 0u) + (c.png_delivered ? 1u : 0u));
    if (c.tav_delivered) {
      EXPECT_EQ(fs::path(files[0]).extension(), ".tav");
    }
    if (c.png_delivered) {
      EXPECT_EQ(files[1], files[0].substr(0, files[0].size() - 4) + ".png");
    }
    // Every ".png" of the folder has its ".tav"; nothing temporary stays.
    for (const std::string& name : OutputFiles()) {
      if (fs::path(name).extension() != ".png") continue;
      EXPECT_TRUE(fs::exists(out_dir_ / (name.substr(0, name.size() - 4) + ".tav"))) << name;
    }
    EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
    // The plug-in's reports; the utility library adds its reason of its own.
    std::vector<std::string> errors;
    for (const std::string& m : fake_host().At(1)) {
      if (m.rfind("dravoututil: ", 0) != 0) errors.push_back(m);
    }
    ASSERT_EQ(errors.size(), c.level1 == nullptr ? 0u : 1u) << testing::PrintToString(errors);
    if (c.level1 == nullptr) continue;
    EXPECT_EQ(errors[0].rfind(c.level1, 0), 0u) << errors[0];
    const std::string stem = (out_dir_ / ("case" + std::to_string(n) + "-")).string();
    if (c.fault == Fault::raster_unnamed) {
      EXPECT_NE(errors[0].find(" -> " + stem), std::string::npos) << errors[0];
      EXPECT_EQ(errors[0].substr(errors[0].size() - 5), ".tav)") << errors[0];
      // The complete file is kept under a visible name that exists.
      const std::string kept_prefix = "The complete output file is kept as ";
      std::string kept;
      for (const std::string& m : fake_host().At(3)) {
        if (m.rfind(kept_prefix, 0) == 0) kept = m.substr(kept_prefix.size());
      }
      ASSERT_FALSE(kept.empty()) << testing::PrintToString(fake_host().At(3));
      EXPECT_EQ(kept.substr(kept.size() - 9), ".kept.tav") << kept;
      EXPECT_TRUE(fs::exists(fs::symlink_status(kept))) << kept;
    }
    if (c.fault == Fault::preview_unnamed) {
      EXPECT_EQ(errors[0], "DRAVOUT: Could not generate unique filename (" + png_tmp + " -> " +
                               files[0].substr(0, files[0].size() - 4) + ".png)");
      ASSERT_NE(tav::TavReader(files[0]).FindTag("_KVTVIEW.PNG"), nullptr);
    }
  }
}

}  // namespace
}  // namespace plugin_test
