// document_test.cpp - riphost's document source: page lists, the look at a
// document before it runs, the page's XMP packet and the ticket's document
// keys (plates: document_plates_test.cpp; spools: plate_spool_test.cpp).
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
#include "sources/document/spool_file.h"
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

std::vector<std::string> numbered_spots(int count) {
  std::vector<std::string> spots;
  for (int i = 1; i <= count; ++i) spots.push_back("S" + std::to_string(i));
  return spots;
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
        ProbeCase{"five spots", "five.pdf", with_spots({"S1", "S2", "S3", "S4", "S5"}), "", 1, nullptr},
        ProbeCase{"twenty spots", "twenty.pdf", with_spots(numbered_spots(20)), "", 1, nullptr},
        ProbeCase{"twenty-one spots", "many.pdf", with_spots(numbered_spots(21)), "", -1,
                  "page 1 uses 21 spot colours (S1, S2, "},
        ProbeCase{"twenty-one spots in postscript", "many.ps", with_spots(numbered_spots(21)), "", -1,
                  "the program uses at least 20 spot colours (S1, S2, "}),
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

// A PDF page's UserUnit scales its boxes; a unit that is no size is refused
// while the document is checked.
struct UserUnitCase {
  const char* written;
  double unit;  // 0: refused
};

class DocumentUserUnit : public ::testing::TestWithParam<UserUnitCase> {};

TEST_P(DocumentUserUnit, ScalesThePagesTrueSize) {
  TempDir dir;
  DocumentOptions options;
  options.width = 90.0;
  options.height = 72.0;
  options.trim = true;
  options.user_unit = GetParam().written;
  write_file(dir / "unit.pdf", riphost_test::marks_pdf(options));
  if (GetParam().unit == 0.0) {
    try {
      probe_document(dir / "unit.pdf", "unit.pdf", PageList::parse(""));
      ADD_FAILURE() << "a UserUnit of " << GetParam().written << " is refused";
    } catch (const HostError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("unit.pdf: page 1 gives a UserUnit of ") +
                                               GetParam().written + "; a UserUnit must be a positive number of points");
    }
    return;
  }
  const DocumentFacts facts = probe_document(dir / "unit.pdf", "unit.pdf", PageList::parse(""));
  ASSERT_EQ(facts.pages.size(), 1u);
  const DocumentPageFacts& page = facts.pages.front();
  EXPECT_DOUBLE_EQ(page.user_unit, GetParam().unit);
  double width = 0, height = 0;
  rendered_size(page, PageBoxChoice::Media, width, height);
  EXPECT_DOUBLE_EQ(width, 90.0 * GetParam().unit);
  EXPECT_DOUBLE_EQ(height, 72.0 * GetParam().unit);
  rendered_size(page, PageBoxChoice::Trim, width, height);
  EXPECT_DOUBLE_EQ(width, 72.0 * GetParam().unit);
  EXPECT_DOUBLE_EQ(height, 54.0 * GetParam().unit);
}

INSTANTIATE_TEST_SUITE_P(Units, DocumentUserUnit,
                         ::testing::Values(UserUnitCase{"", 1.0}, UserUnitCase{"2", 2.0},
                                           UserUnitCase{"0.5", 0.5}, UserUnitCase{"100000", 100000.0},
                                           UserUnitCase{"0", 0.0}, UserUnitCase{"-2", 0.0}));

// The size a page renders at: the box asked for (media when the page has
// no trim box), times the unit, turned by the rotation.
struct RenderedSizeCase {
  PageBoxChoice box;
  bool trim;
  int rotate;
  double unit;
  double width, height;
};

class DocumentRenderedSize : public ::testing::TestWithParam<RenderedSizeCase> {};

TEST_P(DocumentRenderedSize, IsTheChosenBoxTimesTheUnitTurned) {
  const RenderedSizeCase& c = GetParam();
  DocumentPageFacts page;
  page.media = PageBox{0, 0, 200, 100};
  if (c.trim) page.trim = PageBox{10, 20, 110, 70};
  page.rotate = c.rotate;
  page.user_unit = c.unit;
  double width = 0, height = 0;
  rendered_size(page, c.box, width, height);
  EXPECT_DOUBLE_EQ(width, c.width);
  EXPECT_DOUBLE_EQ(height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DocumentRenderedSize,
    ::testing::Values(RenderedSizeCase{PageBoxChoice::Media, true, 0, 1.0, 200, 100},
                      RenderedSizeCase{PageBoxChoice::Trim, true, 0, 1.0, 100, 50},
                      RenderedSizeCase{PageBoxChoice::Trim, false, 0, 1.0, 200, 100},
                      RenderedSizeCase{PageBoxChoice::Trim, true, 90, 1.0, 50, 100},
                      RenderedSizeCase{PageBoxChoice::Media, true, 270, 3.0, 300, 600},
                      RenderedSizeCase{PageBoxChoice::Trim, true, 180, 2.5, 250, 125}));

// A PostScript program names its spot colours only as it runs: the first
// look finds every one, however many, so that none goes to process inks.
TEST(DocumentProbe, PostScriptProgramsBringEverySpotColourTheyUse) {
  TempDir dir;
  DocumentOptions options;
  options.pages = 2;
  options.spots = {"PANTONE 185 C", "Varnish", "Die line", "Gold (metallic) #1", "S5", "S6", "S7"};
  write_file(dir / "spots.ps", riphost_test::marks_postscript(options));
  const DocumentFacts facts = probe_document(dir / "spots.ps", "spots.ps", PageList::parse(""));
  EXPECT_EQ(facts.page_count, 2);
  EXPECT_EQ(facts.spots, options.spots);
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
