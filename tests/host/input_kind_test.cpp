// Telling what riphost was given: documents and tickets go where they went,
// everything else is named for what it is, with exit status 2.
#include <gtest/gtest.h>

#include <string>

#include "sources/input_kind.h"
#include "test_support.h"

namespace riphost {
namespace {

using riphost_test::TempDir;
using riphost_test::write_file;

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int value : values) text += static_cast<char>(value);
  return text;
}

// The first bytes of a ZIP file whose first entry is name, stored, holding
// content.
std::string zip_entry(const std::string& name, const std::string& content) {
  std::string header = "PK\3\4" + std::string(22, '\0');
  header += static_cast<char>(name.size());
  header += std::string(3, '\0');
  return header + name + content;
}

struct HeadCase {
  const char* name;
  std::string head;
  InputRoute route;
  const char* message;  // part of the message of a refused input
};

TEST(InputKind, EachHeadGoesWhereItBelongsOrIsNamed) {
  const HeadCase cases[] = {
      {"doc.pdf", "%PDF-1.7\n", InputRoute::Document, nullptr},
      {"cut.pdf", "%PDF-1.4\n1 0 obj << >> endobj", InputRoute::Document, nullptr},  // truncated: Ghostscript's
      {"job.prn", "\x1b%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\n\x04%!PS\n", InputRoute::Document, nullptr},
      {"dos.eps", bytes({0xC5, 0xD0, 0xD3, 0xC6, 0x1E, 0, 0, 0}), InputRoute::Document, nullptr},
      {"job.json", "\xEF\xBB\xBF\n  {\"jobs\": []}", InputRoute::Ticket, nullptr},
      {"job", "[1]", InputRoute::Ticket, nullptr},
      {"photo.jpg", bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}) + "JFIF", InputRoute::Refused,
       "photo.jpg is a JPEG image; riphost takes PDF, PostScript, EPS or a JSON job ticket; save a photo as TIFF"},
      {"x.pdf", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR", InputRoute::Refused, "x.pdf is a PNG image, not a PDF; "},
      {"a.tif", std::string("MM\0*\0\0\0\x08", 8), InputRoute::Refused, "a.tif is a TIFF image; "},
      {"a.gif", "GIF89a\x01\0", InputRoute::Refused, "a GIF image"},
      {"a.bmp", "BM" + std::string(24, '\0'), InputRoute::Refused, "a BMP image"},
      {"a.webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), InputRoute::Refused, "a WebP image"},
      {"a.svg", "<?xml version=\"1.0\"?>\n<!-- x -->\n<svg width=\"1\"/>", InputRoute::Refused,
       "an SVG drawing; riphost takes PDF, PostScript, EPS or a JSON job ticket; convert it to PDF or EPS first"},
      {"a.xml", "<?xml version=\"1.0\"?><a/>", InputRoute::Refused, "an XML file"},
      {"a.htm", "\n<!DOCTYPE HTML>\n<html>", InputRoute::Refused, "an HTML page"},
      {"a.docx", zip_entry("[Content_Types].xml", "<Types/>") + zip_entry("word/document.xml", ""),
       InputRoute::Refused, "a Word document (DOCX)"},
      {"a.xlsx", zip_entry("[Content_Types].xml", "") + zip_entry("xl/workbook.xml", ""), InputRoute::Refused,
       "an Excel workbook (XLSX)"},
      {"a.odt", zip_entry("mimetype", "application/vnd.oasis.opendocument.text"), InputRoute::Refused,
       "an OpenDocument text (ODT)"},
      {"a.zip", zip_entry("a.txt", "x"), InputRoute::Refused, "a ZIP archive"},
      {"pdfs.zip", zip_entry("a.pdf", "%PDF-1.4\n"), InputRoute::Refused, "pdfs.zip is a ZIP archive"},
      {"a.rtf", "{\\rtf1\\ansi x}", InputRoute::Refused, "an RTF document"},
      {"a.ps.gz", bytes({0x1F, 0x8B, 8, 0}), InputRoute::Refused, "a.ps.gz is a gzip-compressed file"},
      {"a.pcl", "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E", InputRoute::Refused, "other than PostScript"},
      {"empty.pdf", "", InputRoute::Refused, "empty.pdf is empty; "},
      {"blank", " \n\n", InputRoute::Refused, "blank holds nothing but blanks"},
      {"notes.txt", "Dear printer,\nplease\tprint", InputRoute::Refused,
       "notes.txt is plain text (it starts with \"Dear printer, please pri...\"); riphost takes"},
      {"x.pdf", "Hello, this is no PDF at all, really", InputRoute::Refused,
       "x.pdf does not look like a PDF (it starts with \"Hello, this is no PDF at...\")"},
      {"x.EPS", bytes({0, 1, 2, 0xFF}), InputRoute::Refused,
       "x.EPS does not look like EPS (it starts with the bytes 00 01 02 ff)"},
      {"t.json", "jobs: []", InputRoute::Refused, "t.json does not look like a JSON job ticket (it starts with"},
      {"junk", bytes({0x7F, 'E', 'L', 'F', 2, 1}), InputRoute::Refused,
       "junk is binary data riphost does not know (it starts with the bytes 7f 45 4c 46 02 01)"},
      {"P1.txt", "P1 is a plan", InputRoute::Refused, "is plain text"},
  };
  for (const HeadCase& c : cases) {
    const InputKind kind = tell_input_head(c.head, c.name);
    EXPECT_EQ(kind.route, c.route) << c.name << ": " << kind.problem;
    if (c.message) {
      EXPECT_NE(kind.problem.find(c.message), std::string::npos) << kind.problem;
    }
  }
}

// What cannot be opened is named as such; a missing ".json" name is the
// ticket reader's (which names it "cannot read the ticket"); standard input
// is a ticket.
TEST(InputKind, FilesThatCannotBeReadAreNamed) {
  TempDir dir;
  write_file(dir / "doc.ps", "%!PS\nshowpage\n");
  write_file(dir / "empty.pdf", "");
  std::filesystem::create_directory(dir / "folder.pdf");
  EXPECT_EQ(tell_input(dir / "doc.ps", "doc.ps").document, DocumentKind::PostScript);
  EXPECT_EQ(tell_input(dir / "empty.pdf", "empty.pdf").problem.rfind("empty.pdf is empty", 0), 0u);
  EXPECT_EQ(tell_input(dir / "report.pdf", "report.pdf").problem, "report.pdf: no such file");
  EXPECT_EQ(tell_input(dir / "folder.pdf", "folder.pdf").problem.rfind("folder.pdf is a folder, not a file", 0), 0u);
  EXPECT_EQ(tell_input(dir / "job.json", "job.json").route, InputRoute::Ticket);
  EXPECT_EQ(tell_input("-", "-").route, InputRoute::Ticket);
}

// A ticket on standard input that is something else entirely.
TEST(InputKind, TextThatIsNoTicketSaysWhatItIs) {
  EXPECT_EQ(not_a_ticket("{\"jobs\": []}"), "");
  EXPECT_EQ(not_a_ticket(" \n"), "");
  EXPECT_EQ(not_a_ticket("jobs: []"), "");  // text: the parser says where it goes wrong
  EXPECT_EQ(not_a_ticket(bytes({0xFF, 0xD8, 0xFF, 0xDB})).rfind("this is a JPEG image, not a JSON job ticket", 0), 0u);
  EXPECT_NE(not_a_ticket("%PDF-1.5\n").find("a PDF, not a JSON job ticket; riphost takes a document as a file name"),
            std::string::npos);
  EXPECT_EQ(not_a_ticket(bytes({0, 0, 1})),
            "this is binary data, not a JSON job ticket (it starts with the bytes 00 00 01)");
}

}  // namespace
}  // namespace riphost
