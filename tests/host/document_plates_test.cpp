// document_plates_test.cpp - a document page rendered by Ghostscript and
// screened into plates: the inks are the document's, patches keep their
// tints, calibration and screens per ink apply, and an abandoned page
// leaves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "document_files.h"
#include "sources/contone_source.h"
#include "sources/document/document_page.h"
#include "sources/document/document_probe.h"
#include "sources/document/document_session.h"
#include "sources/document/ink_screening.h"
#include "sources/document/plate_spool.h"
#include "sources/document/plate_xmp.h"
#include "ticket/document_screens.h"
#include "ticket/ticket.h"
#include "test_support.h"
#include "xmplib.h"

namespace riphost {
namespace {

namespace fs = std::filesystem;
using riphost_test::DocumentOptions;
using riphost_test::TempDir;
using riphost_test::write_file;


// ------------------------------------------------------------------- plates


constexpr double kTestPpi = 1200.0;

// A mark's pixels, less a margin of two screen cells all round.
struct PixelBox {
  int x0, y0, x1, y1;
};
PixelBox inside(const riphost_test::Mark& m, double page_height) {
  const double s = kTestPpi / 72.0;
  const int margin = 24;
  return {static_cast<int>(m.x * s) + margin, static_cast<int>((page_height - m.y - m.h) * s) + margin,
          static_cast<int>((m.x + m.w) * s) - margin, static_cast<int>((page_height - m.y) * s) - margin};
}

// Set pixels of each box in each ink's plate, and the solid pixels.
struct PlateCounts {
  std::vector<std::vector<double>> share;  // [ink][box]
  std::vector<long long> solid;            // [ink]
  std::vector<long long> rows;             // [ink]
};

PlateCounts read_plates(PagePlates& plates, const std::vector<PixelBox>& boxes) {
  const PageLayout& layout = plates.layout();
  PlateCounts counts;
  std::vector<std::uint8_t> bits(row_bytes(layout.width));
  RunList solids;
  for (std::size_t ink = 0; ink < layout.inks.size(); ++ink) {
    std::vector<long long> set(boxes.size(), 0);
    long long solid = 0;
    long long rows = 0;
    for (int y = 0; y < layout.height; ++y) {
      plates.next_row(ink, bits.data(), solids, nullptr);
      ++rows;
      for (std::size_t i = 0; i < solids.size(); ++i) solid += solids.length[i];
      for (std::size_t b = 0; b < boxes.size(); ++b) {
        if (y < boxes[b].y0 || y >= boxes[b].y1) continue;
        for (int x = boxes[b].x0; x < boxes[b].x1; ++x) set[b] += pixel_at(bits.data(), x);
      }
    }
    std::vector<double> share;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
      share.push_back(static_cast<double>(set[b]) /
                      ((boxes[b].x1 - boxes[b].x0) * static_cast<double>(boxes[b].y1 - boxes[b].y0)));
    }
    counts.share.push_back(share);
    counts.solid.push_back(solid);
    counts.rows.push_back(rows);
  }
  return counts;
}

std::vector<SelectedScreen> test_screens(const PageLayout& layout) {
  std::vector<SelectedScreen> screens;
  const double angles[] = {15, 75, 0, 45, 45, 45, 45, 45};
  for (std::size_t i = 0; i < layout.inks.size(); ++i) {
    SelectedScreen screen;
    screen.spec.ruling = 100;
    screen.spec.angle = angles[std::min<std::size_t>(i, 7)];
    screen.handle = static_cast<std::uint32_t>(0x100 + i);
    screens.push_back(screen);
  }
  return screens;
}

// A program that asks its page device for inks of its own ("own*.ps"):
// riphost's separation setup stands, and the plates are those of the
// program without the request.
std::string with_own_page_device(std::string program, const std::string& file) {
  if (!file.starts_with("own")) return program;
  program.insert(program.find('\n') + 1,
                 "<< /PageSpotColors 0 /SeparationOrder [/Black] /MaxSeparations 2 >> setpagedevice\n");
  return program;
}

class DocumentPlates : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentPlates, InksAreTheDocumentsAndPatchesHaveTheirTints) {
  TempDir dir;
  fs::create_directory(dir / "tmp");
  riphost_test::TmpdirAs tmpdir((dir / "tmp").string());
  const std::string file = GetParam();
  DocumentOptions options;
  options.pages = 2;
  write_file(dir / file, file.ends_with(".pdf")   ? riphost_test::marks_pdf(options)
                         : file.ends_with(".eps") ? riphost_test::marks_eps(options)
                                                  : with_own_page_device(riphost_test::marks_postscript(options), file));
  const auto facts = std::make_shared<const DocumentFacts>(probe_document(dir / file, file, PageList::parse("")));
  const int last = facts->page_count;
  {
    DocumentSession session(facts, {last}, kTestPpi, PageBoxChoice::Media, 2);
    const std::optional<PageLayout> layout = session.open_page(last, nullptr);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->inks, (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "PANTONE 185 C"}));
    EXPECT_EQ(layout->width, 3000);
    EXPECT_EQ(layout->height, 2400);
    EXPECT_EQ(layout->number, last);
    const riphost_test::PageMarks marks = riphost_test::page_marks(180, 144, 1);
    const std::vector<PixelBox> boxes = {inside(marks.cyan50, 144), inside(marks.black100, 144),
                                         inside(marks.spots40[0], 144)};
    PagePlates& plates = session.start_plates(test_screens(*layout));
    const PlateCounts counts = read_plates(plates, boxes);
    for (long long rows : counts.rows) EXPECT_EQ(rows, 2400);
    EXPECT_NEAR(counts.share[0][0], 0.50, 0.01) << "cyan patch on the cyan plate";
    EXPECT_NEAR(counts.share[4][2], 0.40, 0.01) << "spot patch on the spot plate";
    EXPECT_EQ(counts.share[3][1], 1.0) << "black patch on the black plate";
    EXPECT_EQ(counts.share[0][1], 0.0) << "no cyan under the black patch";
    EXPECT_EQ(counts.share[4][0], 0.0) << "no spot colour under the cyan patch";
    EXPECT_GT(counts.solid[3], (boxes[1].x1 - boxes[1].x0) * static_cast<long long>(boxes[1].y1 - boxes[1].y0));
    EXPECT_EQ(counts.solid[0], 0) << "a 50 % tint has no solid pixels";
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "spools have no names while the document runs";
    session.close_page(false);
  }
  EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "nothing is left after the session";
}

std::string kind_name(const char* file) {
  std::string name = file;
  return (name.starts_with("own") ? "own_" : "") + name.substr(name.find('.') + 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DocumentPlates,
                         ::testing::Values("marks.pdf", "marks.ps", "marks.eps", "own-device.ps"),
                         [](const auto& info) { return kind_name(info.param); });

// A page with more spot colours than Ghostscript renders at once (several
// passes): every spot colour has its own plate with its patch at its tint,
// and no ink shows under another ink's patch (no spot colour went to the
// process inks, no pass left an ink on another's plate).
class ManySpotPlates : public ::testing::TestWithParam<const char*> {};

TEST_P(ManySpotPlates, EverySpotColourHasItsOwnPlateAndNoInkLeaks) {
  TempDir dir;
  fs::create_directory(dir / "tmp");
  riphost_test::TmpdirAs tmpdir((dir / "tmp").string());
  const std::string file = GetParam();
  DocumentOptions options;
  options.spots = {"PANTONE 185 C", "Varnish", "Die line", "PANTONE 300 C", "Gold", "Silver", "PANTONE 485 C"};
  write_file(dir / file, file.ends_with(".pdf") ? riphost_test::marks_pdf(options)
                                                : with_own_page_device(riphost_test::marks_postscript(options), file));
  const auto facts = std::make_shared<const DocumentFacts>(probe_document(dir / file, file, PageList::parse("")));
  DocumentSession session(facts, {1}, kTestPpi, PageBoxChoice::Media, 2);
  const std::optional<PageLayout> layout = session.open_page(1, nullptr);
  ASSERT_TRUE(layout.has_value());
  std::vector<std::string> inks = {"Cyan", "Magenta", "Yellow", "Black"};
  inks.insert(inks.end(), options.spots.begin(), options.spots.end());
  ASSERT_EQ(layout->inks, inks);
  const riphost_test::PageMarks marks = riphost_test::page_marks(180, 144, options.spots.size());
  std::vector<PixelBox> boxes = {inside(marks.cyan50, 144), inside(marks.black100, 144)};
  for (const riphost_test::Mark& spot : marks.spots40) boxes.push_back(inside(spot, 144));
  PagePlates& plates = session.start_plates(test_screens(*layout));
  const PlateCounts counts = read_plates(plates, boxes);
  // Box b shows ink: 0 cyan at 50 %, 1 black solid, 2 + s spot s at 40 %.
  for (std::size_t ink = 0; ink < inks.size(); ++ink) {
    for (std::size_t box = 0; box < boxes.size(); ++box) {
      const bool own = (box == 0 && ink == 0) || (box == 1 && ink == 3) || (box >= 2 && ink == box + 2);
      const double tint = !own ? 0.0 : box == 0 ? 0.5 : box == 1 ? 1.0 : 0.4;
      EXPECT_NEAR(counts.share[ink][box], tint, own ? 0.01 : 0.0) << inks[ink] << " in box " << box;
    }
  }
  session.close_page(false);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ManySpotPlates, ::testing::Values("spots.pdf", "spots.ps", "own-spots.ps"),
                         [](const auto& info) { return kind_name(info.param); });

// Spot colours with long names: all of them are named to Ghostscript on its
// command line, more text than it reads from one argument; every plate
// comes out whole.
TEST(ManySpotPlates, LongNamesAreAllNamed) {
  TempDir dir;
  DocumentOptions options;
  for (int i = 1; i <= 19; ++i) {
    options.spots.push_back("Spot colour " + std::to_string(i) + " of a long list, named as its maker names it");
  }
  write_file(dir / "long.pdf", riphost_test::marks_pdf(options));
  const auto facts =
      std::make_shared<const DocumentFacts>(probe_document(dir / "long.pdf", "long.pdf", PageList::parse("")));
  DocumentSession session(facts, {1}, kTestPpi, PageBoxChoice::Media, 2);
  const std::optional<PageLayout> layout = session.open_page(1, nullptr);
  ASSERT_TRUE(layout.has_value());
  std::vector<std::string> inks = {"Cyan", "Magenta", "Yellow", "Black"};
  inks.insert(inks.end(), options.spots.begin(), options.spots.end());
  EXPECT_EQ(layout->inks, inks);
  PagePlates& plates = session.start_plates(test_screens(*layout));
  const PlateCounts counts = read_plates(plates, {});
  for (long long rows : counts.rows) EXPECT_EQ(rows, layout->height);
  session.close_page(false);
}

// Document plates go through the screener's calibration: each ink's curve
// (named, else "*"), the device's gamma, and the screen (FM for the spot).
struct CalibrationCase {
  const char* name;
  std::vector<DocumentInkCurve> curves;
  double gamma;
  bool fm_spot;
  double cyan;  // printed share of the 50 % cyan patch (ink 128 / 255)
  double spot;  // printed share of the 40 % spot patch
};

class DocumentCalibration : public ::testing::TestWithParam<CalibrationCase> {};

TEST_P(DocumentCalibration, PlatesTakeTheInksCurveTheDevicesGammaAndTheScreen) {
  const CalibrationCase& c = GetParam();
  TempDir dir;
  fs::create_directory(dir / "tmp");
  riphost_test::TmpdirAs tmpdir((dir / "tmp").string());
  write_file(dir / "marks.pdf", riphost_test::marks_pdf(DocumentOptions{}));
  const auto facts =
      std::make_shared<const DocumentFacts>(probe_document(dir / "marks.pdf", "marks.pdf", PageList::parse("")));
  DocumentSpec spec;
  spec.ink_transfer = c.curves;
  DocumentSession session(facts, {1}, kTestPpi, PageBoxChoice::Media, 2);
  const std::optional<PageLayout> layout = session.open_page(1, nullptr);
  ASSERT_TRUE(layout.has_value());
  ASSERT_EQ(layout->inks.size(), 5u);
  std::vector<SelectedScreen> screens = test_screens(*layout);
  if (c.fm_spot) {
    screens[4].spec.dot = DotShape::Fm;
    screens[4].spec.type = kFmScreenType;
  }
  const riphost_test::PageMarks marks = riphost_test::page_marks(180, 144, 1);
  const std::vector<PixelBox> boxes = {inside(marks.cyan50, 144), inside(marks.black100, 144),
                                       inside(marks.spots40[0], 144)};
  PagePlates& plates = session.start_plates(screens, ink_setups(spec, *layout, c.gamma));
  const PlateCounts counts = read_plates(plates, boxes);
  EXPECT_NEAR(counts.share[0][0], c.cyan, 0.01) << "cyan patch on the cyan plate";
  EXPECT_NEAR(counts.share[4][2], c.spot, 0.01) << "spot patch on the spot plate";
  EXPECT_EQ(counts.share[3][1], 1.0) << "solid black stays solid";
  EXPECT_EQ(counts.share[0][1], 0.0) << "paper stays paper";
  session.close_page(false);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocumentCalibration,
    ::testing::Values(CalibrationCase{"none", {}, 1.0, false, 0.502, 0.40},
                      CalibrationCase{"cyan_curve", {{"cyan", {{50, 40}}}}, 1.0, false, 0.402, 0.40},
                      CalibrationCase{"gamma_2", {}, 2.0, false, std::sqrt(0.502), std::sqrt(0.40)},
                      CalibrationCase{"curve_then_gamma", {{"Cyan", {{50, 40}}}}, 2.0, false, std::sqrt(0.402),
                                      std::sqrt(0.40)},
                      CalibrationCase{"spot_default_fm", {{"Cyan", {}}, {"*", {{40, 20}}}}, 1.0, true, 0.502, 0.20}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DocumentPlates, AbandonedPageStopsGhostscriptAndLeavesNothing) {
  TempDir dir;
  fs::create_directory(dir / "tmp");
  riphost_test::TmpdirAs tmpdir((dir / "tmp").string());
  DocumentOptions options;
  options.pages = 3;
  write_file(dir / "three.pdf", riphost_test::marks_pdf(options));
  const auto facts =
      std::make_shared<const DocumentFacts>(probe_document(dir / "three.pdf", "three.pdf", PageList::parse("")));
  {
    DocumentSession session(facts, {1, 2, 3}, kTestPpi, PageBoxChoice::Media, 2);
    const std::optional<PageLayout> layout = session.open_page(1, nullptr);
    ASSERT_TRUE(layout.has_value());
    PagePlates& plates = session.start_plates(test_screens(*layout));
    // riphost stops after a few rows of the first plate: the session ends
    // with the page half rendered and the spools half written.
    std::vector<std::uint8_t> bits(row_bytes(layout->width));
    RunList solids;
    for (int y = 0; y < 10; ++y) plates.next_row(0, bits.data(), solids, nullptr);
  }
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

}  // namespace
}  // namespace riphost
