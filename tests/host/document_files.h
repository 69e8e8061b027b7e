// document_files.h - PostScript programs and PDF files the document tests write.
//
// Every page holds the same marks, in points from the lower-left corner:
// a 50 % cyan patch, a solid black patch, a 40 % patch of each spot colour,
// a vignette (no ink to full magenta and half yellow) and a line of black
// text; page_marks() tells where, so that a test can find them in pixels.
#ifndef RIPHOST_TEST_DOCUMENT_FILES_H
#define RIPHOST_TEST_DOCUMENT_FILES_H

#include <string>
#include <vector>

namespace riphost_test {

struct Mark {
  double x = 0, y = 0, w = 0, h = 0;  // points, y up from the bottom edge
};

struct PageMarks {
  Mark cyan50;
  Mark black100;
  std::vector<Mark> spots40;  // one per spot colour
  Mark vignette;
  Mark text;
};

PageMarks page_marks(double width, double height, std::size_t spots);

struct DocumentOptions {
  double width = 180.0;  // points
  double height = 144.0;
  int pages = 1;
  std::vector<std::string> spots = {"PANTONE 185 C"};
  int error_on_page = 0;    // PostScript: this page calls an undefined operator
  bool trim = false;        // PDF: a TrimBox 9 pt inside the MediaBox
  std::string xmp;          // PDF: the catalog's Metadata packet
  std::string user_unit;    // PDF: the pages' UserUnit as written; none when empty
};

// A PostScript program of the marks.
std::string marks_postscript(const DocumentOptions& options);
// An EPS file of the marks (no page size, a bounding box).
std::string marks_eps(const DocumentOptions& options);
// A PDF file of the marks.
std::string marks_pdf(const DocumentOptions& options);

}  // namespace riphost_test

#endif  // RIPHOST_TEST_DOCUMENT_FILES_H
