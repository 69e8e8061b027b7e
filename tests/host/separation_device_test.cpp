// separation_device_test.cpp - which documents go to Ghostscript's separation
// device, and how its files are matched to inks and read back.
#include <gtest/gtest.h>

#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/document/document_marks.h"
#include "document_files.h"
#include "common/host_error.h"
#include "sources/document/ghostscript_program.h"
#include "sources/document/ink_passes.h"
#include "sources/document/plane_strips.h"
#include "sources/document/separation_planes.h"

namespace riphost {
namespace {

struct MarkCase {
  const char* text;
  DocumentKind kind;
  bool needs;
};

TEST(DocumentMarks, OverprintAndTransparencyAreFound) {
  const MarkCase cases[] = {
      {"<< /Type /ExtGState /OP true /OPM 1 >>", DocumentKind::Pdf, true},
      {"<</op\ntrue>>", DocumentKind::Pdf, true},
      {"<</OP true/op true>>", DocumentKind::Pdf, true},
      {"<< /OP false /op false /OPM 1 >>", DocumentKind::Pdf, false},
      {"<< /OPM 1 >> /opacity", DocumentKind::Pdf, false},
      {"0 0 0 1 k 0 0 10 10 re f", DocumentKind::Pdf, false},
      {"true setoverprint 0 0 moveto", DocumentKind::PostScript, true},
      {"0.5 .setfillconstantalpha", DocumentKind::PostScript, true},
      {"[ /SetTransparency pdfmark", DocumentKind::Eps, true},
      {"<< /PageSpotColors 0 >> setpagedevice", DocumentKind::PostScript, false},
      {"0 0 0 1 setcmykcolor 0 0 10 10 rectfill showpage", DocumentKind::PostScript, false},
  };
  for (const MarkCase& c : cases) {
    EXPECT_EQ(names_overprint_or_transparency(c.text, c.kind), c.needs) << c.text;
  }
}

TEST(DocumentMarks, AWordAcrossTwoPiecesOfAFileIsFound) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("marks-" + std::to_string(getpid()) + ".pdf");
  for (std::size_t before : {std::size_t{0}, (std::size_t{1} << 20) - 4, std::size_t{3} << 20}) {
    {
      std::FILE* out = std::fopen(file.c_str(), "wb");
      ASSERT_NE(out, nullptr);
      const std::string filler(before, 'x');
      std::fputs(filler.c_str(), out);
      std::fputs("/OP true", out);
      std::fclose(out);
    }
    EXPECT_TRUE(document_needs_separation_device(file, DocumentKind::Pdf)) << before;
  }
  std::filesystem::remove(file);
  EXPECT_FALSE(document_needs_separation_device(file, DocumentKind::Pdf));
}

// A PDF whose only graphics state sits in a compressed object stream.
std::string pdf_with_object_stream(const std::string& objects, bool flate) {
  std::string data = objects;
  if (flate) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    data.resize(libdeflate_zlib_compress_bound(compressor, objects.size()));
    data.resize(libdeflate_zlib_compress(compressor, objects.data(), objects.size(), data.data(), data.size()));
    libdeflate_free_compressor(compressor);
  }
  return "%PDF-1.5\n1 0 obj\n<< /Type /ObjStm /N 1 /First 5" + std::string(flate ? " /Filter /FlateDecode" : "") +
         " /Length " + std::to_string(data.size()) + " >>\nstream\r\n" + data + "\nendstream\nendobj\n%%EOF\n";
}

// The stream says it is Flate-compressed but is not.
std::string flate_in_name_only(std::string pdf) {
  return pdf.insert(pdf.find(" /Length"), " /Filter /FlateDecode");
}

TEST(DocumentMarks, OverprintInACompressedObjectStreamIsFound) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("objstm-" + std::to_string(getpid()) + ".pdf");
  const std::string padding(3u << 20, ' ');  // the stream starts past the first piece read
  const struct {
    std::string pdf;
    bool needs;
  } cases[] = {
      {pdf_with_object_stream("2 0 << /Type /ExtGState /OP true /OPM 1 >>", true), true},
      {pdf_with_object_stream("2 0 << /Type /ExtGState /op true >>" + padding, true), true},
      {"%PDF-1.5\n" + padding + pdf_with_object_stream("2 0 << /op true >>", true).substr(9), true},
      {pdf_with_object_stream("2 0 << /Type /ExtGState /OP false /CA 1 >>", true), false},
      // A stream that cannot be inflated may hide anything.
      {flate_in_name_only(pdf_with_object_stream("2 0 << /Type /ExtGState /CA 1 >>", false)), true},
  };
  for (const auto& c : cases) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(c.pdf.data(), 1, c.pdf.size(), out);
    std::fclose(out);
    EXPECT_EQ(document_needs_separation_device(file, DocumentKind::Pdf), c.needs) << c.pdf.substr(0, 120);
  }
  std::filesystem::remove(file);
}

TEST(SeparationPlanes, FileNamesGiveTheirInks) {
  const std::pair<const char*, const char*> cases[] = {
      {"page(Cyan).tif", "Cyan"},
      {"page(PANTONE%20185%20C).tif", "PANTONE 185 C"},
      {"page(100%25%20Red).tif", "100% Red"},
      {"page(%C3%A9t%C3%A9).tif", "\xC3\xA9t\xC3\xA9"},
      {"page(Bad%2).tif", "Bad%2"},
      {"page.tif", ""},
      {"gs.log", ""},
      {"page().tif", ""},
  };
  for (const auto& [file, ink] : cases) EXPECT_EQ(ink_of_plane_file(file), ink) << file;
}

TEST(SeparationPlanes, ArgumentsRenderOnePageOfItsSizeWithItsSpots) {
  PlaneJob job;
  job.document = "/docs/a.pdf";
  job.page = 7;
  job.ppi = 2400;
  job.width = 19850;
  job.height = 28067;
  job.first_row = 10000;
  job.rows = 9000;
  job.trim_box = true;
  job.spots = {"PANTONE 185 C"};
  const std::vector<std::string> args = plane_job_arguments(job, "/tmp/f");
  const auto has = [&](const std::string& word) { return std::find(args.begin(), args.end(), word) != args.end(); };
  for (const char* word : {"-dSAFER", "-sDEVICE=tiffsep", "-sCompression=lzw", "-r2400", "-sPageList=7",
                           "-sOutputFile=/tmp/f/page.tif", "-dFIXEDMEDIA", "-g19850x9000", "-dUseTrimBox"}) {
    EXPECT_TRUE(has(word)) << word;
  }
  // The strip's rows 10000 to 19000 of 28067: the 9067 rows below it go
  // under the device's bottom edge, in points.
  std::string all;
  for (const std::string& arg : args) all += arg + "\n";
  for (const char* setup : {"<< /Install {0 -272.01 translate} >> setpagedevice",
                            "<< /SeparationColorNames [ <50414E544F4E45203138352043> ] >> setpagedevice"}) {
    EXPECT_NE(all.find(setup), std::string::npos) << setup;
  }
  EXPECT_EQ(args.back(), "/docs/a.pdf");
}

TEST(GhostscriptProgram, AStoppedChildIsKilledAtOnce) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("program-" + std::to_string(getpid()) + ".log");
  EXPECT_EQ(run_program("/bin/sh", {"-c", "echo 'Error: /undefined in foo'; echo last"}, log, {}), ProgramEnd::Done);
  EXPECT_EQ(ghostscript_error_in(log), "Error: /undefined in foo");
  EXPECT_EQ(run_program("/bin/sh", {"-c", "echo fine; echo '  the end  '; exit 1"}, log, {}), ProgramEnd::Failed);
  EXPECT_EQ(ghostscript_error_in(log), "the end");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run_program("/bin/sh", {"-c", "sleep 30"}, log, [] { return true; }), ProgramEnd::Stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  std::filesystem::remove(log);
}

TEST(SeparationPlanes, OnlyFoldersOfGoneProcessesAreRemoved) {
  const std::filesystem::path temp =
      std::filesystem::temp_directory_path() / ("planes-" + std::to_string(getpid()));
  std::filesystem::create_directories(temp);
  char host[64] = "host";
  gethostname(host, sizeof host - 1);
  const std::string prefix = "riphost-planes." + std::string(host) + ".";
  // A process id that cannot be running: above the kernel's largest.
  const std::string gone = prefix + "2147483646.abc123";
  const std::string alive = prefix + std::to_string(getpid()) + ".abc123";
  const std::string other_host = "riphost-planes.elsewhere.2147483646.abc123";
  const std::string unlike = prefix + "x.abc123";
  for (const std::string& name : {gone, alive, other_host, unlike}) {
    std::filesystem::create_directories(temp / name);
    std::FILE* file = std::fopen((temp / name / "page(Cyan).tif").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  EXPECT_EQ(remove_abandoned_plane_folders(temp), 1);
  EXPECT_FALSE(std::filesystem::exists(temp / gone));
  for (const std::string& name : {alive, other_host, unlike}) EXPECT_TRUE(std::filesystem::exists(temp / name));
  std::filesystem::remove_all(temp);
}

TEST(PlaneStrips, StripsKeepTheCompositeUnderItsLimitAndAreAlike) {
  struct Case {
    int width, height;
    std::uint64_t limit;
    int rows;
  };
  const Case cases[] = {
      {100, 50, 100 * 4 * 50, 50},             // fits: one strip
      {100, 50, 100 * 4 * 49, 25},             // just too big: two alike
      {100, 101, 100 * 4 * 50, 34},            // three strips of 34, 34, 33
      {10, 7, 1, 1},                           // a row is more than the limit: rows one by one
      {56133, 79467, std::uint64_t{1} << 30, 4675},  // A1 at 2400 ppi: 17 strips, each under 1 GiB
  };
  for (const Case& c : cases) {
    const int rows = plane_strip_rows(c.width, c.height, c.limit);
    EXPECT_EQ(rows, c.rows) << c.width << " x " << c.height;
    EXPECT_LE(std::uint64_t{4} * static_cast<std::uint64_t>(c.width) * static_cast<std::uint64_t>(rows),
              std::max<std::uint64_t>(c.limit, std::uint64_t{4} * static_cast<std::uint64_t>(c.width)));
  }
}

// A page of the marks written as kind, and the separation device's job of it
// at 300 ppi.
struct StripDocument {
  std::filesystem::path folder;
  PlaneJob job;
  std::vector<std::string> inks = {"Cyan", "Magenta", "Yellow", "Black", "PANTONE 185 C"};

  StripDocument(DocumentKind kind, bool trim, const std::vector<std::string>& spots = {"PANTONE 185 C"},
                const std::string& before_marks = {}) {
    static int made = 0;
    folder = std::filesystem::temp_directory_path() /
             ("strips-" + std::to_string(getpid()) + "-" + std::to_string(++made));
    std::filesystem::create_directories(folder / "temp");
    riphost_test::DocumentOptions options;
    options.trim = trim;
    options.spots = spots;
    std::string text = kind == DocumentKind::Pdf ? riphost_test::marks_pdf(options)
                        : kind == DocumentKind::Eps ? riphost_test::marks_eps(options)
                                                    : riphost_test::marks_postscript(options);
    // PostScript of a test's own after the program's first line.
    if (!before_marks.empty()) text.insert(text.find('\n') + 1, before_marks + "\n");
    job.document = folder / "page";
    std::FILE* out = std::fopen(job.document.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    job.kind = kind;
    job.ppi = 300;
    job.trim_box = trim;
    job.width = trim ? 675 : 750;
    job.height = trim ? 525 : 600;
    job.spots = spots;
    inks.resize(4);
    inks.insert(inks.end(), spots.begin(), spots.end());
  }
  ~StripDocument() { std::filesystem::remove_all(folder); }
  std::filesystem::path temp() const { return folder / "temp"; }

  // Every row of every ink, read through strips of strip_rows.
  std::vector<std::uint8_t> read(int strip_rows, int* runs) {
    PlaneStrips strips(job, inks, temp(), {}, strip_rows);
    std::vector<std::uint8_t> pixels(inks.size() * static_cast<std::size_t>(job.width * job.height));
    for (int y = 0; y < job.height; ++y) {
      for (std::size_t ink = 0; ink < inks.size(); ++ink) {
        const std::size_t at = (ink * static_cast<std::size_t>(job.height) + static_cast<std::size_t>(y)) *
                               static_cast<std::size_t>(job.width);
        EXPECT_TRUE(strips.read_row(ink, y, pixels.data() + at, 1));
      }
    }
    *runs = strips.runs();
    return pixels;
  }
};

TEST(PlaneStrips, StitchedStripsAreTheWholePage) {
  if (ghostscript_program().empty()) GTEST_SKIP() << "no gs program";
  const std::pair<DocumentKind, bool> cases[] = {
      {DocumentKind::Pdf, false}, {DocumentKind::Pdf, true}, {DocumentKind::PostScript, false},
      {DocumentKind::Eps, false}};
  for (const auto& [kind, trim] : cases) {
    StripDocument document(kind, trim);
    int whole_runs = 0, strip_runs = 0;
    const std::vector<std::uint8_t> whole = document.read(document.job.height, &whole_runs);
    // Uneven strips: the last is shorter.
    const std::vector<std::uint8_t> stitched = document.read(170, &strip_runs);
    EXPECT_EQ(whole_runs, 1);
    EXPECT_EQ(strip_runs, 4);
    std::size_t differ = 0, first = 0;
    int most = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      if (whole[i] == stitched[i]) continue;
      if (differ++ == 0) first = i;
      most = std::max(most, std::abs(whole[i] - stitched[i]));
    }
    // Ghostscript divides a smooth shading by the area it is drawn into, so
    // a strip may round a few pixels of the vignette one level the other
    // way; everything else is the same pixels.
    EXPECT_LE(most, 1) << "first at " << first;
    EXPECT_LE(differ, whole.size() / 10000) << "first at " << first;
    EXPECT_GT(std::count_if(whole.begin(), whole.end(), [](std::uint8_t v) { return v != 0; }), 1000);
    EXPECT_TRUE(std::filesystem::is_empty(document.temp()));
  }
}

TEST(PlaneStrips, AStopDuringTheSecondStripLeavesNothing) {
  if (ghostscript_program().empty()) GTEST_SKIP() << "no gs program";
  StripDocument document(DocumentKind::Pdf, false);
  bool stop = false;
  PlaneStrips strips(document.job, document.inks, document.temp(), [&] { return stop; }, 200);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(document.job.width));
  for (int y = 0; y < 200; ++y) ASSERT_TRUE(strips.read_row(0, y, row.data(), 1));
  stop = true;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(strips.read_row(0, 200, row.data(), 1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(strips.runs(), 2);
  EXPECT_TRUE(std::filesystem::is_empty(document.temp()));
}

TEST(SeparationPlanes, EveryInkHasItsPlaneOrThePageFails) {
  const std::string whole = "Long Spot " + std::string(60, 'X');
  const std::string cut = whole.substr(0, kReportedInkNameBytes);
  // The display device reports a name of more than 62 bytes cut to 63.
  EXPECT_EQ(whole_ink_name(cut, {"Cyan", whole}), whole);
  EXPECT_EQ(whole_ink_name(cut, {cut, whole}), cut);                  // the name itself first
  EXPECT_EQ(whole_ink_name(cut, {whole, whole + "Y"}), cut);          // two could be meant: none
  EXPECT_EQ(whole_ink_name("PANTONE 185 C", {"PANTONE 185 C 2"}), "PANTONE 185 C");  // a short name is whole
  if (ghostscript_program().empty()) GTEST_SKIP() << "no gs program";

  // tiffsep names the plane file with the whole name: the cut name the
  // layout knows takes that plane, and the spot patch is there.
  StripDocument document(DocumentKind::Pdf, false, {whole});
  document.job.rows = document.job.height;
  SeparationPlanes planes(document.job, document.temp(), {});
  planes.open({"Cyan", "Magenta", "Yellow", "Black", cut}, document.job.width, document.job.height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(document.job.width));
  std::size_t inked = 0;
  for (int y = 0; y < document.job.height; ++y) {
    planes.read_row(4, y, row.data(), 1);
    inked += static_cast<std::size_t>(std::count_if(row.begin(), row.end(), [](std::uint8_t v) { return v > 90; }));
  }
  EXPECT_GT(inked, 1000u);

  // An ink without a plane fails the page, named, instead of an empty plate.
  SeparationPlanes again(document.job, document.temp(), {});
  try {
    again.open({"Cyan", "Magenta", "Yellow", "Black", "Nowhere Blue"}, document.job.width, document.job.height);
    ADD_FAILURE() << "an ink without a plane was opened";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("no plane of the ink Nowhere Blue"), std::string::npos) << error.what();
  }

  // A program that sends the device's output elsewhere, past the guard on
  // setpagedevice, is refused; nothing lands where it pointed.
  const std::string elsewhere = (std::filesystem::temp_directory_path() / ("elsewhere-" + std::to_string(getpid()) + ".tif")).string();
  StripDocument redirected(DocumentKind::PostScript, false, {"PANTONE 185 C"},
                           "systemdict /setpagedevice get << /OutputFile (" + elsewhere + ") >> exch exec");
  redirected.job.rows = redirected.job.height;
  try {
    SeparationPlanes planes_elsewhere(redirected.job, redirected.temp(), {});
    ADD_FAILURE() << "a program that moved the output was rendered";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("changes the page device's OutputFile"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(std::filesystem::exists(elsewhere));
  EXPECT_TRUE(std::filesystem::is_empty(redirected.temp()));
}

}  // namespace
}  // namespace riphost
