// document_test.cpp - riphost's document source: page lists, the look at a
// document before it runs, rendering and screening a page into plates, the
// spools, the runs reported for spooled rows, and the page's XMP packet.
#include <gtest/gtest.h>

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

// ---------------------------------------------------------------- page lists

struct PageListCase {
  const char* text;
  int count;
  std::vector<int> pages;
  const char* error;  // part of the message, or null
};

class DocumentPageList : public ::testing::TestWithParam<PageListCase> {};

TEST_P(DocumentPageList, GivesThePagesOrTheReason) {
  const PageListCase& c = GetParam();
  try {
    const std::vector<int> pages = PageList::parse(c.text).pages(c.count);
    EXPECT_EQ(c.error, nullptr) << c.text;
    EXPECT_EQ(pages, c.pages) << c.text;
  } catch (const HostError& error) {
    ASSERT_NE(c.error, nullptr) << c.text << ": " << error.what();
    EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DocumentPageList,
    ::testing::Values(PageListCase{"", 3, {1, 2, 3}, nullptr}, PageListCase{"all", 2, {1, 2}, nullptr},
                      PageListCase{"1-3,7", 9, {1, 2, 3, 7}, nullptr}, PageListCase{"7, 2-3 ,2", 9, {2, 3, 7}, nullptr},
                      PageListCase{"4-", 6, {4, 5, 6}, nullptr}, PageListCase{"5", 5, {5}, nullptr},
                      PageListCase{"6", 5, {}, "page 6 is beyond the last page of the document (5)"},
                      PageListCase{"4-9", 5, {}, "page 6 is beyond"}, PageListCase{"7-", 5, {}, "page 7 is beyond"},
                      PageListCase{"3-1", 5, {}, "runs backwards"}, PageListCase{"0", 5, {}, "not a page number"},
                      PageListCase{"1,,2", 5, {}, "not a page number"}, PageListCase{"x", 5, {}, "not a page number"},
                      PageListCase{"2.5", 5, {}, "not a page number"},
                      PageListCase{"99999999999", 5, {}, "not a page number"}));

// --------------------------------------------------------------------- spool

std::vector<std::uint8_t> random_row(std::mt19937& random, int width) {
  std::vector<std::uint8_t> row(row_bytes(width));
  for (auto& byte : row) byte = static_cast<std::uint8_t>(random());
  clear_tail(row.data(), width, row.size());
  return row;
}

RunList random_runs(std::mt19937& random, int width) {
  RunList runs;
  int x = static_cast<int>(random() % 7);
  while (x < width - 2 && random() % 5 != 0) {
    const int length = 1 + static_cast<int>(random() % static_cast<unsigned>(std::min(300, width - x - 1)));
    runs.x.push_back(x);
    runs.length.push_back(length);
    x += length + 1 + static_cast<int>(random() % 40);
  }
  return runs;
}

TEST(PlateSpool, RowsAndRunsComeBackAsWrittenBandAfterBand) {
  TempDir dir;
  std::mt19937 random(17);
  for (int width : {1, 31, 32, 1000, 4099}) {
    const fs::path file = dir / ("w" + std::to_string(width) + ".spool");
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<RunList> runs;
    {
      SpoolWriter writer(file, width);
      for (int band : {1, 37, 5}) {
        for (int r = 0; r < band; ++r) {
          rows.push_back(random_row(random, width));
          runs.push_back(random_runs(random, width));
          writer.add_row(rows.back().data(), runs.back());
        }
        writer.end_band();
      }
      writer.finish();
      EXPECT_GT(writer.bytes_written(), 0u);
    }
    SpoolReader reader(file, width);
    RunList solids;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::uint8_t* row = reader.next_row(solids);
      ASSERT_EQ(std::vector<std::uint8_t>(row, row + row_bytes(width)), rows[i]) << width << " row " << i;
      EXPECT_EQ(solids.x, runs[i].x);
      EXPECT_EQ(solids.length, runs[i].length);
    }
    EXPECT_THROW(reader.next_row(solids), HostError) << "reading past the end";
  }
}

TEST(PlateSpool, DamagedOrShortSpoolsAreRefused) {
  TempDir dir;
  std::mt19937 random(3);
  const fs::path file = dir / "good.spool";
  {
    SpoolWriter writer(file, 500);
    for (int r = 0; r < 20; ++r) writer.add_row(random_row(random, 500).data(), random_runs(random, 500));
    writer.finish();
  }
  const std::string good = riphost_test::read_file(file);
  std::string flipped = good;
  flipped[20] = static_cast<char>(flipped[20] ^ 0x55);
  std::string huge = good;
  huge[4] = '\xFF';
  huge[7] = '\x7F';
  for (const std::string& bytes : {good.substr(0, good.size() / 2), flipped, huge, std::string()}) {
    write_file(dir / "bad.spool", bytes);
    SpoolReader reader(dir / "bad.spool", 500);
    RunList solids;
    EXPECT_THROW(
        {
          for (int r = 0; r < 20; ++r) reader.next_row(solids);
        },
        HostError);
  }
  EXPECT_THROW(SpoolWriter(file, 500), HostError) << "a spool file is never overwritten";
}

// ---------------------------------------------------------------- screening

struct SeenRun {
  std::uint32_t handle;
  int kind;
  std::int32_t x, length;
  bool operator==(const SeenRun&) const = default;
};
std::vector<SeenRun>* runs_seen = nullptr;
void seen_screen(std::uint32_t h, std::int32_t x, std::int32_t l) { runs_seen->push_back({h, 0, x, l}); }
void seen_solid(std::uint32_t h, std::int32_t x, std::int32_t l) { runs_seen->push_back({h, 1, x, l}); }
const RunCallbacks kSeen{seen_screen, seen_solid, nullptr};

// Ink rows: ramps, paper, full ink, stretches of full ink amid tints, single
// pixels at both ends.
std::vector<std::uint8_t> ink_row(int kind, int width, std::mt19937& random) {
  std::vector<std::uint8_t> ink(static_cast<std::size_t>(width), 0);
  for (int x = 0; x < width; ++x) {
    std::uint8_t& v = ink[static_cast<std::size_t>(x)];
    switch (kind) {
      case 0: v = static_cast<std::uint8_t>(x * 255 / std::max(width - 1, 1)); break;
      case 1: v = 0; break;
      case 2: v = 255; break;
      case 3: v = (x / 50) % 3 == 0 ? 255 : static_cast<std::uint8_t>(random() % 256); break;
      case 4: v = (x == 0 || x == width - 1) ? 255 : 0; break;
      default: v = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 : random() % 256); break;
    }
  }
  return ink;
}

TEST(InkScreening, SpooledRowsReportTheRunsTheScreenerReports) {
  std::mt19937 random(5);
  SelectedScreen screen;
  screen.spec.ruling = 100;
  screen.spec.angle = 15;
  screen.handle = 0x1234;
  for (int width : {1, 33, 64, 997}) {
    ContoneScreener direct(width, 1200, {screen}, {});
    InkScreener ours(width, 1200, screen);
    std::vector<std::uint8_t> expected(row_bytes(width)), bits(row_bytes(width));
    for (int kind = 0; kind < 6; ++kind) {
      for (int y = 0; y < 8; ++y) {
        const std::vector<std::uint8_t> ink = ink_row(kind, width, random);
        std::vector<SeenRun> want, got;
        runs_seen = &want;
        direct.screen_row(y, ink.data(), nullptr, expected.data(), kSeen);
        // Ours reads one ink of chunky pixels: spread the row with a stride.
        std::vector<std::uint8_t> chunky(ink.size() * 8, 0x77);
        for (std::size_t x = 0; x < ink.size(); ++x) chunky[x * 8 + 3] = ink[x];
        RunList solids;
        ours.screen(y, chunky.data() + 3, 8, bits.data(), solids);
        runs_seen = &got;
        report_runs(bits.data(), width, solids, screen.handle, kSeen);
        runs_seen = nullptr;
        ASSERT_EQ(bits, expected) << "width " << width << " kind " << kind << " row " << y;
        ASSERT_EQ(got, want) << "width " << width << " kind " << kind << " row " << y;
      }
    }
  }
}

// -------------------------------------------------------------------- probe

struct ProbeCase {
  const char* name;
  const char* file;         // its extension tells the writer
  DocumentOptions options;
  const char* pages;
  int count;                // pages of the document, or -1 for a failure
  const char* error;        // part of the message
};

std::string document_bytes(const ProbeCase& c) {
  const std::string file = c.file;
  if (file.ends_with(".pdf")) return riphost_test::marks_pdf(c.options);
  if (file.ends_with(".eps")) return riphost_test::marks_eps(c.options);
  if (file.ends_with(".ps")) return riphost_test::marks_postscript(c.options);
  return "{\"jobs\": []}\n";
}

class DocumentProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(DocumentProbe, TellsPagesOrWhatIsWrong) {
  const ProbeCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir / c.file;
  if (std::string(c.file) == "broken") {
    write_file(file, "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n<< >>\n%%EOF\n");
  } else {
    write_file(file, document_bytes(c));
  }
  try {
    const DocumentFacts facts = probe_document(file, c.file, PageList::parse(c.pages));
    ASSERT_EQ(c.error, nullptr) << c.name;
    EXPECT_EQ(facts.page_count, c.count) << c.name;
  } catch (const HostError& error) {
    ASSERT_NE(c.error, nullptr) << c.name << ": " << error.what();
    const std::string message = error.what();
    EXPECT_EQ(message.rfind(c.file, 0), 0u) << "names the file first: " << message;
    EXPECT_NE(message.find(c.error), std::string::npos) << message;
  }
}

DocumentOptions with_pages(int pages, int error_on_page = 0) {
  DocumentOptions o;
  o.pages = pages;
  o.error_on_page = error_on_page;
  return o;
}

DocumentOptions with_spots(std::vector<std::string> spots) {
  DocumentOptions o;
  o.spots = std::move(spots);
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentProbe,
    ::testing::Values(
        ProbeCase{"pdf", "three.pdf", with_pages(3), "", 3, nullptr},
        ProbeCase{"pdf pages", "three.pdf", with_pages(3), "2-3", 3, nullptr},
        ProbeCase{"postscript", "two.ps", with_pages(2), "", 2, nullptr},
        ProbeCase{"eps", "one.eps", with_pages(1), "", 1, nullptr},
        ProbeCase{"pdf beyond", "three.pdf", with_pages(3), "2,5", -1, "page 5 is beyond the last page"},
        ProbeCase{"postscript beyond", "two.ps", with_pages(2), "3-", -1, "page 3 is beyond the last page"},
        ProbeCase{"postscript error", "bad.ps", with_pages(3, 2), "", -1,
                  "page 2: PostScript error: Ghostscript says: Error: /undefined in thisoperatordoesnotexist"},
        ProbeCase{"broken pdf", "broken", {}, "", -1, "Ghostscript says: **** Error: Couldn't initialise file."},
        ProbeCase{"ticket", "job.json", {}, "", -1, "not a PDF, PostScript or EPS file"},
        ProbeCase{"four spots", "four.pdf", with_spots({"S1", "S2", "S3", "S4"}), "", 1, nullptr},
        ProbeCase{"five spots", "five.pdf", with_spots({"S1", "S2", "S3", "S4", "S5"}), "", -1,
                  "page 1 uses 5 spot colours (S1, S2, S3, S4, S5); riphost renders at most 4"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(DocumentProbe, PdfPagesBringTheirBoxesAndSpotColours) {
  TempDir dir;
  DocumentOptions options;
  options.pages = 2;
  options.trim = true;
  options.spots = {"PANTONE 185 C", "Gold (metallic) #1"};
  write_file(dir / "boxes.pdf", riphost_test::marks_pdf(options));
  const DocumentFacts facts = probe_document(dir / "boxes.pdf", "boxes.pdf", PageList::parse("2"));
  ASSERT_EQ(facts.pages.size(), 1u);
  const DocumentPageFacts& page = facts.pages.front();
  EXPECT_EQ(page.number, 2);
  EXPECT_DOUBLE_EQ(page.media.width(), 180.0);
  EXPECT_DOUBLE_EQ(page.media.height(), 144.0);
  ASSERT_TRUE(page.trim.has_value());
  EXPECT_DOUBLE_EQ(page.trim->width(), 162.0);
  EXPECT_EQ(page.spots, (std::vector<std::string>{"PANTONE 185 C", "Gold (metallic) #1"}));
}

// ------------------------------------------------------------------- plates

// TMPDIR pointed at a folder of the test's for as long as it lives.
class TemporaryFolderVariable {
 public:
  explicit TemporaryFolderVariable(const fs::path& folder) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old, had_ = true;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolderVariable() {
    if (had_) {
      setenv("TMPDIR", old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::string old_;
  bool had_ = false;
};

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
    screen.spec.angle = angles[i];
    screen.handle = static_cast<std::uint32_t>(0x100 + i);
    screens.push_back(screen);
  }
  return screens;
}

class DocumentPlates : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentPlates, InksAreTheDocumentsAndPatchesHaveTheirTints) {
  TempDir dir;
  fs::create_directory(dir / "tmp");
  TemporaryFolderVariable tmpdir(dir / "tmp");
  const std::string file = GetParam();
  DocumentOptions options;
  options.pages = 2;
  write_file(dir / file, file.ends_with(".pdf")   ? riphost_test::marks_pdf(options)
                         : file.ends_with(".eps") ? riphost_test::marks_eps(options)
                                                  : riphost_test::marks_postscript(options));
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
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "tmp"), fs::directory_iterator()), 1)
        << "one private folder while the document runs";
    session.close_page(false);
  }
  EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "the private folder is removed with the session";
}

INSTANTIATE_TEST_SUITE_P(Kinds, DocumentPlates, ::testing::Values("marks.pdf", "marks.ps", "marks.eps"),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name.substr(name.find('.') + 1);
                         });

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
  TemporaryFolderVariable tmpdir(dir / "tmp");
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
  TemporaryFolderVariable tmpdir(dir / "tmp");
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

// ---------------------------------------------------------------------- XMP

TEST(PlateXmp, ThePluginsReaderFindsEveryInkWithItsScreen) {
  const std::vector<PlateInk> inks = {{"Cyan", true, 150, 15, {}}, {"Black", true, 133.5, 45, {}},
                                      {"PANTONE 185 C", false, 150, 45, {0, 0.8, 1, 0}},
                                      {"R&D <blue>", false, 120, 22.5, {1, 0.5, 0, 0}},
                                      {"Gr\xFCn\x01", false, 110, 30, {1, 0, 1, 0}}};
  const std::string own = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                          "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                          "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                          "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                          "<dc:format>application/pdf</dc:format></rdf:Description></rdf:RDF></x:xmpmeta>\n"
                          "<?xpacket end=\"w\"?>";
  for (const std::string& document : {std::string(), own}) {
    const std::string packet = plate_xmp(inks, document);
    XMPlib xmp;
    ASSERT_TRUE(xmp.SetXML(packet)) << xmp.LastError() << "\n" << packet;
    std::vector<XMPlInk> found;
    xmp.GetInks(found);
    ASSERT_EQ(found.size(), inks.size()) << packet;
    for (std::size_t i = 0; i < inks.size(); ++i) {
      // A name of Latin-1 bytes comes back as UTF-8, control characters as "?".
      EXPECT_EQ(found[i].name, i == 4 ? std::string("Gr\xC3\xBCn?") : inks[i].name);
      EXPECT_EQ(found[i].group, inks[i].process ? "Process" : "none");
      EXPECT_EQ(found[i].frequency, inks[i].frequency);
      EXPECT_EQ(found[i].angle, inks[i].angle);
    }
    EXPECT_NE(packet.find("<xmpTPg:PlateNames>"), std::string::npos);
    EXPECT_NE(packet.find("<xmpG:swatchName>PANTONE 185 C</xmpG:swatchName>"), std::string::npos);
    if (!document.empty()) {
      EXPECT_NE(packet.find("<dc:format>application/pdf</dc:format>"), std::string::npos);
    }
  }
}

// ------------------------------------------------------------------ tickets

TEST(DocumentScreens, InksTakeNamedScreensElseJobScreensCalledLikeThemElseDefaults) {
  std::vector<ScreenSpec> screens(1);
  screens[0].name = "Black";
  screens[0].ruling = 175;
  DocumentSpec spec;
  choose_document_screens(screens, 120, spec);
  ASSERT_EQ(screens.size(), 5u) << "Cyan, Magenta, Yellow and Spot added; Black is the job's";
  spec.ink_screens = {{"pantone 185 c", 0}};
  const struct {
    const char* ink;
    double ruling;
    double angle;
  } cases[] = {{"Cyan", 120, 15}, {"Magenta", 120, 75}, {"Yellow", 120, 0}, {"Black", 175, 45},
               {"PANTONE 185 C", 175, 45}, {"Gold", 120, 45}, {"cyan", 120, 45}};
  for (const auto& c : cases) {
    const ScreenSpec& screen = screens.at(spec.screen_of(c.ink));
    EXPECT_EQ(screen.ruling, c.ruling) << c.ink;
    EXPECT_EQ(screen.angle, c.angle) << c.ink;
  }
}

TEST(DocumentScreens, InksTakeTheirNamedCurveElseTheDefaultCurve) {
  DocumentSpec spec;
  EXPECT_TRUE(spec.transfer_of("Cyan").empty()) << "no curves: ink as asked";
  spec.ink_transfer = {{"*", {{50, 60}}}, {"pantone 185 c", {{50, 30}}}, {"Black", {}}};
  const struct {
    const char* ink;
    double output;  // at 50 %; -1: no curve
  } cases[] = {{"PANTONE 185 C", 30}, {"Cyan", 60}, {"Gold", 60}, {"Black", -1}};
  for (const auto& c : cases) {
    const TransferCurve curve = spec.transfer_of(c.ink);
    if (c.output < 0) {
      EXPECT_TRUE(curve.empty()) << c.ink;
    } else {
      ASSERT_EQ(curve.size(), 1u) << c.ink;
      EXPECT_EQ(curve[0].output, c.output) << c.ink;
    }
  }
}

TEST(DocumentScreens, TicketNamesAnFmScreenAndCurvesPerInk) {
  TempDir dir;
  write_file(dir / "one.pdf", riphost_test::marks_pdf(DocumentOptions{}));
  riphost_test::write_device_folder(dir / "device");
  const std::string text = R"({"device": "device", "output": "out", "screens": [{"name": "FM2", "dot": "fm",
      "dot_size": 2, "min_dot": 3}], "jobs": [{"name": "a", "document": "one.pdf",
      "ink_screens": {"PANTONE 185 C": "FM2"}, "ink_transfer": {"Cyan": [[0, 0], [50, 40], [100, 100]],
      "*": [[50, 45]]}}]})";
  std::vector<std::string> problems;
  const Ticket ticket = check_ticket_text(text, dir.path(), {}, problems);
  ASSERT_TRUE(problems.empty()) << problems.front();
  const Job& job = ticket.jobs.at(0);
  const DocumentSpec& spec = *job.pages.at(0).document->spec;
  const ScreenSpec& spot = job.screens.at(spec.screen_of("PANTONE 185 C"));
  EXPECT_EQ(spot.type, kFmScreenType);
  EXPECT_EQ(spot.calibration.min_dot, 3.0);
  EXPECT_EQ(job.screens.at(spec.screen_of("Cyan")).type, kOwnScreenType);
  EXPECT_EQ(spec.transfer_of("Cyan").size(), 3u);
  EXPECT_EQ(spec.transfer_of("PANTONE 185 C").size(), 1u);
}

struct TicketCase {
  const char* name;
  const char* job;  // the job's JSON
  std::vector<int> pages;
  const char* problem;  // part of a problem, or null
};

class DocumentTicket : public ::testing::TestWithParam<TicketCase> {};

TEST_P(DocumentTicket, JobsAndPagesTakeTheDocumentsPages) {
  const TicketCase& c = GetParam();
  TempDir dir;
  DocumentOptions options;
  options.pages = 3;
  write_file(dir / "three.pdf", riphost_test::marks_pdf(options));
  options.error_on_page = 2;
  write_file(dir / "bad.ps", riphost_test::marks_postscript(options));
  riphost_test::write_device_folder(dir / "device");
  const std::string text = std::string("{\"device\": \"device\", \"output\": \"out\", \"screens\": "
                                       "[{\"name\": \"S\", \"ruling\": 133, \"angle\": 45}], \"jobs\": [") + c.job + "]}";
  std::vector<std::string> problems;
  const Ticket ticket = check_ticket_text(text, dir.path(), {}, problems);
  if (!c.problem) {
    ASSERT_TRUE(problems.empty()) << problems.front() << (problems.size() > 1 ? "\n" + problems[1] : "");
    std::vector<int> pages;
    for (const Page& page : ticket.jobs.at(0).pages) pages.push_back(page.document ? page.document->number : 0);
    EXPECT_EQ(pages, c.pages);
    return;
  }
  std::string all;
  for (const std::string& problem : problems) all += problem + "\n";
  EXPECT_NE(all.find(c.problem), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Tickets, DocumentTicket,
    ::testing::Values(
        TicketCase{"all", R"({"name": "a", "document": "three.pdf"})", {1, 2, 3}, nullptr},
        TicketCase{"list", R"({"name": "a", "document": "three.pdf", "pages": "3,1", "box": "trim",
                                "ink_screens": {"Spot X": "S"}, "ncopies": 2})", {1, 3}, nullptr},
        TicketCase{"mixed", R"({"name": "a", "pages": [{"document": "three.pdf", "pages": "2"},
                                 {"width": 8, "height": 8, "separations": [{"name": "K", "pattern": "bars"}]},
                                 {"document": "three.pdf", "pages": "3-"}]})", {2, 0, 3}, nullptr},
        TicketCase{"beyond", R"({"name": "a", "document": "three.pdf", "pages": "2-4"})", {},
                   "jobs[0].document: three.pdf: page 4 is beyond the last page of the document (3)"},
        TicketCase{"postscript error", R"({"name": "a", "document": "bad.ps"})", {},
                   "jobs[0].document: bad.ps: page 2: PostScript error"},
        TicketCase{"missing", R"({"name": "a", "document": "none.pdf"})", {}, "jobs[0].document: file not found"},
        TicketCase{"box", R"({"name": "a", "document": "three.pdf", "box": "bleed"})", {},
                   "jobs[0].box: expected \"media\" or \"trim\""},
        TicketCase{"screen", R"({"name": "a", "document": "three.pdf", "ink_screens": {"Cyan": "T"}})", {},
                   "jobs[0].ink_screens.Cyan: no screen called \"T\" in the job"},
        TicketCase{"curve", R"({"name": "a", "document": "three.pdf", "ink_transfer": {"Cyan": [[50, 40], [40, 50]]}})",
                   {}, "jobs[0].ink_transfer.Cyan"},
        TicketCase{"curves", R"({"name": "a", "document": "three.pdf", "ink_transfer": [[50, 40]]})", {},
                   "jobs[0].ink_transfer: expected an object"},
        TicketCase{"page list", R"({"name": "a", "document": "three.pdf", "pages": [1]})", {},
                   "jobs[0].pages: expected a text"},
        TicketCase{"page key", R"({"name": "a", "pages": [{"document": "three.pdf", "separations": []}]})", {},
                   "jobs[0].pages[0].separations: unknown key"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace riphost
