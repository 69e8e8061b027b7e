// pdf_structure_test.cpp - what riphost finds in a PDF's structure before
// Ghostscript runs it: broken page trees, page boxes that are no page size,
// files outside the document, and encryption.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "document_files.h"
#include "sources/document/pdf_structure.h"
#include "sources/document/separation_planes.h"
#include "test_support.h"

namespace riphost {
namespace {

namespace fs = std::filesystem;

// A PDF of the given objects, numbered from 1; object 1 is the catalog.
std::string pdf_of(const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.6\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    out += line;
  }
  return out + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
}

std::string stream(const std::string& dictionary, const std::string& data) {
  return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

std::string page(int parent, const std::string& rest) {
  return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R " + rest + " >>";
}

class PdfStructureTest : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const std::string& bytes) {
    riphost_test::write_file(dir_.path() / name, bytes);
    return dir_.path() / name;
  }
  PdfStructure read(const std::string& name, const std::vector<std::string>& objects, const char* pages = "") {
    return read_pdf_structure(write(name, pdf_of(objects)), name, "", PageList::parse(pages));
  }
  // The reader's message for the objects; empty when it took them.
  std::string problem(const std::string& name, const std::vector<std::string>& objects) {
    try {
      read(name, objects);
      return {};
    } catch (const HostError& error) {
      return error.what();
    }
  }

  riphost_test::TempDir dir_;
};

TEST_F(PdfStructureTest, BrokenPageTreesAreRefusedQuickly) {
  // A tree 5000 levels deep, each level one node above the next.
  std::vector<std::string> deep = {kCatalog};
  for (int level = 0; level < 5000; ++level) {
    const int self = level + 2;
    deep.push_back("<< /Type /Pages /Kids [" + std::to_string(self + 1) + " 0 R] /Count 1 >>");
  }
  deep.push_back(page(5001, "/MediaBox [0 0 10 10]"));
  const struct {
    const char* name;
    std::vector<std::string> objects;
    const char* message;
  } cases[] = {
      {"loop.pdf",
       {kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 2 0 R] /Count 1 >>", page(3, "/MediaBox [0 0 10 10]")},
       "loop.pdf: the page tree is broken: object 2 is among its own kids (a loop)"},
      {"twice.pdf", {kCatalog, "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>", page(2, "/MediaBox [0 0 9 9]")},
       "twice.pdf: the page tree is broken: object 3 is reached twice (a page would print twice)"},
      {"hole.pdf", {kCatalog, "<< /Type /Pages /Kids [3 0 R 9 0 R] /Count 2 >>", page(2, "/MediaBox [0 0 9 9]")},
       "hole.pdf: the page tree is broken: entry 2 of the /Kids of object 2 is no page"},
      {"empty.pdf", {kCatalog, "<< /Type /Pages /Kids [] /Count 0 >>"},
       "empty.pdf: no page can be read from this PDF: its page tree is empty"},
      {"deep.pdf", deep, "deep.pdf: the page tree is broken: it is more than 64 levels deep"},
  };
  const auto start = std::chrono::steady_clock::now();
  for (const auto& c : cases) EXPECT_EQ(problem(c.name, c.objects), c.message) << c.name;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(PdfStructureTest, PageBoxesMustBePageSizes) {
  const struct {
    const char* own;
    const char* inherited;  // on the page tree node above the page
    const char* message;    // null: taken
    double width, height, unit;
    int rotate;
  } cases[] = {
      {"/MediaBox [0 0 200 100]", "", nullptr, 200, 100, 1, 0},
      {"/MediaBox [200 100 0 0]", "", nullptr, 200, 100, 1, 0},  // corners the other way round
      {"", "/MediaBox [0 0 300 150] /Rotate 450", nullptr, 300, 150, 1, 90},
      {"/MediaBox [0 0 200 100] /Rotate -90.0", "", nullptr, 200, 100, 1, 270},
      {"/MediaBox [0 0 100 50] /UserUnit 2 /TrimBox [0 0 abc 5]", "", nullptr, 100, 50, 2, 0},
      {"", "", "bad.pdf: page 1 has no MediaBox, so its size is unknown", 0, 0, 0, 0},
      {"/MediaBox [0 0 0 100]", "", "bad.pdf: page 1: its MediaBox encloses no area (0 x 100 points)", 0, 0, 0, 0},
      {"/MediaBox [0 0 200]", "", "bad.pdf: page 1: its MediaBox [ 0 0 200 ] is not a rectangle of four numbers",
       0, 0, 0, 0},
      {"/MediaBox [0 0 nan 100]", "", "is not a rectangle of four numbers", 0, 0, 0, 0},
      {"/MediaBox [0 0 14400 100] /UserUnit 1000", "",
       "bad.pdf: page 1: its MediaBox is 14400000 x 100000 points, larger than any page", 0, 0, 0, 0},
      {"/MediaBox [0 0 200 100] /UserUnit -1", "",
       "bad.pdf: page 1 gives a UserUnit of -1; a UserUnit must be a positive number of points", 0, 0, 0, 0},
      {"/MediaBox [0 0 200 100] /Rotate 45", "", "bad.pdf: page 1 turns by 45; a page turns by multiples of 90", 0, 0,
       0, 0},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> objects = {
        kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + std::string(c.inherited) + " >>", page(2, c.own)};
    if (c.message) {
      EXPECT_NE(problem("bad.pdf", objects).find(c.message), std::string::npos)
          << c.own << c.inherited << ": " << problem("bad.pdf", objects);
      continue;
    }
    const PdfStructure structure = read("good.pdf", objects);
    ASSERT_EQ(structure.pages.size(), 1u) << c.own;
    const PdfPageStructure& taken = structure.pages[0];
    EXPECT_EQ(taken.media.width(), c.width) << c.own << c.inherited;
    EXPECT_EQ(taken.media.height(), c.height) << c.own << c.inherited;
    EXPECT_EQ(taken.user_unit, c.unit) << c.own;
    EXPECT_EQ(taken.rotate, c.rotate) << c.inherited;
    EXPECT_FALSE(taken.trim) << "a TrimBox that is no rectangle counts as none";
  }
  const PdfStructure trimmed =
      read("trim.pdf", {kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                        page(2, "/MediaBox [0 0 200 100] /TrimBox [10 10 190 90]")});
  ASSERT_TRUE(trimmed.pages.at(0).trim);
  EXPECT_EQ(trimmed.pages[0].trim->width(), 180.0);
}

TEST_F(PdfStructureTest, FilesOutsideTheDocumentAreNamedWithTheirPage) {
  const std::string image = "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                            "/BitsPerComponent 8 /F (/tmp/x)";
  const std::vector<std::string> objects = {
      kCatalog,
      "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 100 100] >>",
      // Page 1: an external image, a reference form whose font is external
      // too, and a link to page 3 (whose things are not page 1's).
      page(2, "/Resources << /XObject << /Im0 6 0 R /Fm0 7 0 R >> >> /Annots [<< /Subtype /Link /Rect [0 0 9 9] "
              "/Dest [5 0 R /Fit] /A << /S /Launch /F (run.sh) >> >>]"),
      // Page 2: its content in another file (a name with a line break).
      page(2, "/Contents 8 0 R"),
      // Page 3: the same image as page 1.
      page(2, "/Resources << /XObject << /Im0 6 0 R /Im1 12 0 R >> >>"),
      stream(image, ""),
      stream("/Type /XObject /Subtype /Form /BBox [0 0 9 9] /Ref << /F << /UF (other.pdf) >> /Page 1 >> "
             "/Resources << /Font << /F1 9 0 R >> >>",
             ""),
      stream("/F (/data/a\\nb.bin) /FFilter /FlateDecode", ""),
      "<< /Type /Font /Subtype /TrueType /BaseFont /A /FontDescriptor 10 0 R >>",
      "<< /Type /FontDescriptor /FontName /A /FontFile2 11 0 R >>",
      stream("/F (fonts/a.ttf)", ""),
      stream("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8", "x"),
  };
  const PdfStructure structure = read("refs.pdf", objects);
  ASSERT_EQ(structure.pages.size(), 3u);
  std::vector<std::vector<std::string>> named(3);
  for (const PdfPageStructure& taken : structure.pages) {
    for (const PdfFileReference& reference : taken.external) {
      named[static_cast<std::size_t>(taken.number - 1)].push_back(external_file_warning("refs.pdf", taken.number, reference));
    }
  }
  const std::vector<std::vector<std::string>> expected = {
      {"refs.pdf: page 1: a reference form refers to the external file other.pdf, which is not read",
       "refs.pdf: page 1: a font refers to the external file fonts/a.ttf, which is not read",
       "refs.pdf: page 1: an image refers to the external file /tmp/x, which is not read"},
      {"refs.pdf: page 2: the page's content refers to the external file /data/a?b.bin, which is not read"},
      {"refs.pdf: page 3: an image refers to the external file /tmp/x, which is not read"},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    std::sort(named[i].begin(), named[i].end());
    std::vector<std::string> want = expected[i];
    std::sort(want.begin(), want.end());
    EXPECT_EQ(named[i], want) << "page " << i + 1;
  }
  EXPECT_FALSE(structure.references_incomplete);
  // Only the pages a job takes are looked at.
  EXPECT_EQ(read("refs.pdf", objects, "2").pages.at(0).external.size(), 1u);
}

TEST_F(PdfStructureTest, AnEncryptedPdfOpensWithItsPasswordOnlyAndItIsNeverShown) {
  const fs::path plain = write("plain.pdf", riphost_test::marks_pdf({}));
  const fs::path locked = dir_.path() / "locked.pdf";
  {
    QPDF pdf;
    pdf.processFile(plain.c_str());
    QPDFWriter writer(pdf, locked.c_str());
    writer.setR6EncryptionParameters("s3cret word", "owner", true, true, true, true, true, true, qpdf_r3p_full, true);
    writer.write();
  }
  const auto refusal = [&](const std::string& password) {
    try {
      read_pdf_structure(locked, "locked.pdf", password, PageList::parse(""));
      return std::string();
    } catch (const HostError& error) {
      return std::string(error.what());
    }
  };
  EXPECT_EQ(refusal(""), "locked.pdf: the PDF is encrypted and needs a password to be opened (give it with "
                         "--password, or a ticket's \"password\")");
  EXPECT_EQ(refusal("wrong"), "locked.pdf: the password given does not open this encrypted PDF");
  const PdfStructure open = read_pdf_structure(locked, "locked.pdf", "s3cret word", PageList::parse(""));
  EXPECT_TRUE(open.encrypted);
  EXPECT_EQ(open.page_count, 1);

  // Ghostscript's separation device is given the password in a file of
  // its private folder, never on its command line.
  PlaneJob job;
  job.document = locked;
  job.password = "s3cret word";
  const fs::path folder = dir_.path() / "planes";
  fs::create_directory(folder);
  write_password_file(job, folder);
  std::vector<std::string> args = plane_job_arguments(job, folder);
  EXPECT_EQ(args.end()[-2], (folder / "password.ps").string());
  for (const std::string& arg : args) EXPECT_EQ(arg.find("s3cret"), std::string::npos) << arg;
  EXPECT_EQ(fs::status(folder / "password.ps").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // The whole run: refused without the password, nothing written; with it
  // the plates come, and not even -vv shows the password.
  const std::string out = (dir_.path() / "out").string();
  const std::vector<std::string> base = {"--plugin", DRAVOUT_PLUGIN_PATH, locked.string(), "-o", out, "--ppi", "300",
                                         "--screens", "50", "-vv"};
  riphost_test::RunResult refused = riphost_test::run_in_process(base);
  EXPECT_EQ(refused.status, 2) << refused.err;
  EXPECT_NE(refused.err.find("needs a password"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(out));
  std::vector<std::string> with = base;
  with.insert(with.end(), {"--password", "s3cret word"});
  riphost_test::RunResult run = riphost_test::run_in_process(with);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("locked-p1-PANTONE_185_C-"), std::string::npos) << run.out;
  EXPECT_EQ((run.out + run.err).find("s3cret"), std::string::npos);

  // A ticket gives the password with the document.
  riphost_test::write_device_folder(dir_.path() / "dev");
  riphost_test::write_file(dir_.path() / "job.json",
                           R"({"device": "dev", "output": "plates", "jobs": [{"name": "j", "ppi": 1200,
                               "document": "locked.pdf", "password": "s3cret word"}]})");
  const std::string ticket = (dir_.path() / "job.json").string();
  riphost_test::RunResult checked = riphost_test::run_in_process({"--plugin", DRAVOUT_PLUGIN_PATH, "--check", ticket});
  EXPECT_EQ(checked.status, 0) << checked.err;
  riphost_test::write_file(dir_.path() / "job.json",
                           R"({"device": "dev", "output": "plates", "jobs": [{"name": "j", "ppi": 1200,
                               "document": "locked.pdf"}]})");
  checked = riphost_test::run_in_process({"--plugin", DRAVOUT_PLUGIN_PATH, "--check", ticket});
  EXPECT_EQ(checked.status, 2) << checked.err;
  EXPECT_NE(checked.err.find("jobs[0].document: locked.pdf: the PDF is encrypted and needs a password"),
            std::string::npos)
      << checked.err;
}

}  // namespace
}  // namespace riphost
