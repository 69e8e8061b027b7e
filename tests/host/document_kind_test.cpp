// Telling documents from tickets by their first bytes, and keeping a
// PostScript program off the inks riphost sets up for it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/host_error.h"
#include "document_files.h"
#include "sources/document/document_probe.h"
#include "sources/document/document_session.h"
#include "sources/document/ghostscript_session.h"
#include "test_support.h"

namespace riphost {
namespace {

namespace fs = std::filesystem;
using riphost_test::TempDir;
using riphost_test::write_file;

struct KindCase {
  const char* name;
  std::string head;
  std::optional<DocumentKind> kind;
};

const std::string kPjl = "\x1b%-12345X@PJL JOB NAME=\"a\"\r\n@PJL SET RESOLUTION=600\r\n@PJL ENTER LANGUAGE=";

// Two kilobytes of PJL settings, as a driver may send them.
std::string long_pjl() {
  std::string lines;
  for (int i = 0; i < 64; ++i) lines += "@PJL SET USERNAME=\"someone at a rather long host name\"\r\n";
  return lines;
}

class DocumentKindOf : public ::testing::TestWithParam<KindCase> {};

TEST_P(DocumentKindOf, ComesFromTheFirstBytes) {
  const KindCase& c = GetParam();
  EXPECT_EQ(document_kind(c.head), c.kind) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Heads, DocumentKindOf,
    ::testing::Values(
        KindCase{"postscript", "%!PS-Adobe-3.0\n/a 1 def\n", DocumentKind::PostScript},
        KindCase{"bare postscript", "%!\nshowpage\n", DocumentKind::PostScript},
        KindCase{"eps", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 1 1\n", DocumentKind::Eps},
        KindCase{"eps only on its first line", "%!PS-Adobe-3.0\n%%Title: EPSF\n", DocumentKind::PostScript},
        KindCase{"dos eps", std::string("\xC5\xD0\xD3\xC6\x1e\0\0\0", 8), DocumentKind::Eps},
        KindCase{"ctrl-d first", "\x04%!PS\n", DocumentKind::PostScript},
        KindCase{"blanks first", "\r\n \t\f%!PS-Adobe-3.0 EPSF-3.0\n", DocumentKind::Eps},
        KindCase{"comment first", "% Copyright (C) someone\n%\n/a 1 def\n", DocumentKind::PostScript},
        KindCase{"pjl postscript", kPjl + "POSTSCRIPT\r\n%!PS\n", DocumentKind::PostScript},
        KindCase{"ctrl-d and pjl", "\x04" + kPjl + "POSTSCRIPT\n\x04%!PS-Adobe-3.0 EPSF-3.0\n", DocumentKind::Eps},
        KindCase{"pjl pdf", kPjl + "PDF\r\n%PDF-1.7\n", DocumentKind::Pdf},
        KindCase{"pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", DocumentKind::Pdf},
        KindCase{"pdf after junk", std::string(500, 'x') + "%PDF-1.4\n", DocumentKind::Pdf},
        KindCase{"pdf too late", std::string(1020, 'x') + "%PDF-1.4\n", std::nullopt},
        KindCase{"long pjl header", "\x1b%-12345X" + long_pjl() + "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n%!PS\n",
                 DocumentKind::PostScript},
        KindCase{"postscript naming pdf", "%!PS\n% makes a %PDF-1.4 file\n", DocumentKind::PostScript},
        KindCase{"ticket", "{\"jobs\": []}\n", std::nullopt},
        KindCase{"ticket after blanks", "\n  {\"jobs\": []}\n", std::nullopt},
        KindCase{"pjl alone", kPjl + "PCL\r\n\x1b" "E", std::nullopt},
        KindCase{"empty", "", std::nullopt},
        KindCase{"blanks only", " \n\x04", std::nullopt}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// A program's own page device requests: the keys that decide the inks are
// dropped (a lowered MaxSeparations used to crash Ghostscript), PageSize
// stays the program's, and a change that bypasses the guard refuses the
// program with a message naming the key.
struct DeviceCase {
  const char* name;
  const char* prologue;
  const char* error;  // part of the message, or null
};

class ProgramPageDevice : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(ProgramPageDevice, CannotUndoTheSeparations) {
  const DeviceCase& c = GetParam();
  TempDir dir;
  riphost_test::DocumentOptions options;
  options.spots = {"Varnish"};
  std::string program = riphost_test::marks_postscript(options);
  const std::size_t line = program.find('\n') + 1;
  program.insert(line, std::string(c.prologue) + "\n");
  write_file(dir / "own.ps", program);
  try {
    const DocumentFacts facts = probe_document(dir / "own.ps", "own.ps", PageList::parse(""));
    ASSERT_EQ(c.error, nullptr) << c.name;
    EXPECT_EQ(facts.page_count, 1) << c.name;
    EXPECT_EQ(facts.spots, options.spots) << c.name;
  } catch (const HostError& error) {
    ASSERT_NE(c.error, nullptr) << c.name << ": " << error.what();
    EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ProgramPageDevice,
    ::testing::Values(
        DeviceCase{"page spot colours", "<< /PageSpotColors 0 /PageUsesTransparency true >> setpagedevice", nullptr},
        DeviceCase{"order and names", "<< /SeparationOrder [/Black] /SeparationColorNames [(X)] >> setpagedevice",
                   nullptr},
        DeviceCase{"fewer separations", "<< /MaxSeparations 2 >> setpagedevice", nullptr},
        DeviceCase{"resolution", "<< /HWResolution [36 36] /GrayValues 2 >> setpagedevice", nullptr},
        DeviceCase{"level 1 props", "mark /PageSpotColors 0 currentdevice putdeviceprops pop", nullptr},
        DeviceCase{"page size", "<< /PageSize [300 400] >> setpagedevice", nullptr},
        DeviceCase{"around the guard", "systemdict /setpagedevice get << /PageSpotColors 0 >> exch exec",
                   "page 1: the program changes the page device's PageSpotColors"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// A change the check cannot see (the program sets what the check set up,
// not what rendering sets up) is found when the page goes out: the page is
// refused rather than rendered with its inks in the wrong places.
TEST(ProgramPageDevice, AChangeFoundWhileRenderingRefusesThePage) {
  TempDir dir;
  riphost_test::DocumentOptions options;
  std::string program = riphost_test::marks_postscript(options);
  program.insert(program.find('\n') + 1, "systemdict /setpagedevice get << /PageSpotColors 4 >> exch exec\n");
  write_file(dir / "late.ps", program);
  const auto facts =
      std::make_shared<const DocumentFacts>(probe_document(dir / "late.ps", "late.ps", PageList::parse("")));
  DocumentSession session(facts, {1}, 300, PageBoxChoice::Media, 2);
  try {
    session.open_page(1, nullptr);
    FAIL() << "the page was rendered";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("page 1: Ghostscript could not render it: the program changes the "
                                             "page device's PageSpotColors"),
              std::string::npos)
        << error.what();
  }
}

// PostScript for Ghostscript's command line goes in pieces it reads whole.
struct PiecesCase {
  const char* name;
  std::vector<std::size_t> parts;   // sizes
  std::vector<std::size_t> pieces;  // sizes
  bool refused = false;
};

class CommandPieces : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(CommandPieces, KeepPartsWholeAndUnderTheLimit) {
  const PiecesCase& c = GetParam();
  std::vector<std::string> parts;
  std::string all;
  for (std::size_t i = 0; i < c.parts.size(); ++i) {
    parts.emplace_back(c.parts[i], static_cast<char>('a' + i % 26));
    all += (all.empty() ? "" : " ") + parts.back();
  }
  if (c.refused) {
    EXPECT_THROW(command_pieces(parts), HostError) << c.name;
    return;
  }
  const std::vector<std::string> pieces = command_pieces(parts);
  std::vector<std::size_t> sizes;
  std::string joined;
  for (const std::string& piece : pieces) {
    sizes.push_back(piece.size());
    joined += (joined.empty() ? "" : " ") + piece;
  }
  EXPECT_EQ(sizes, c.pieces) << c.name;
  EXPECT_EQ(joined, all) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CommandPieces,
    ::testing::Values(PiecesCase{"none", {}, {}}, PiecesCase{"one", {10}, {10}},
                      PiecesCase{"joined", {10, 20, 30}, {62}},
                      PiecesCase{"the limit", {1000, 999}, {2000}},
                      PiecesCase{"one over the limit", {1000, 1000}, {1000, 1000}},
                      PiecesCase{"many", {700, 700, 700, 700, 700}, {1401, 1401, 700}},
                      PiecesCase{"too long a part", {10, 2001}, {}, true}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace riphost
