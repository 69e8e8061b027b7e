// document_files.cpp - writing the test documents.
#include "document_files.h"

#include <charconv>
#include <cstdio>

namespace riphost_test {

namespace {

std::string num(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
  return std::string(text, end);
}

std::string rect(const Mark& m) { return num(m.x) + " " + num(m.y) + " " + num(m.w) + " " + num(m.h); }

std::string ps_string(const std::string& text) {
  std::string out = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

std::string pdf_name(const std::string& text) {
  std::string out = "/";
  for (unsigned char c : text) {
    if (c <= 0x20 || c >= 0x7F || std::string("#/()<>[]{}%").find(static_cast<char>(c)) != std::string::npos) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "#%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ps_page(const DocumentOptions& o, int page) {
  const PageMarks m = page_marks(o.width, o.height, o.spots.size());
  std::string s = "0.5 0 0 0 setcmykcolor " + rect(m.cyan50) + " rectfill\n";
  s += "0 0 0 1 setcmykcolor " + rect(m.black100) + " rectfill\n";
  for (std::size_t i = 0; i < o.spots.size(); ++i) {
    s += "[/Separation " + ps_string(o.spots[i]) + " /DeviceCMYK {dup 0 mul exch dup 0.8 mul exch dup 1 mul exch 0 mul}]"
         " setcolorspace 0.4 setcolor " + rect(m.spots40[i]) + " rectfill\n";
  }
  s += "gsave " + rect(m.vignette) + " rectclip << /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [" +
       num(m.vignette.x) + " 0 " + num(m.vignette.x + m.vignette.w) +
       " 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0.5 0] /N 1 >> >> shfill grestore\n";
  s += "/Helvetica-Bold findfont " + num(m.text.h) + " scalefont setfont 0 0 0 1 setcmykcolor " + num(m.text.x) +
       " " + num(m.text.y) + " moveto (Page " + std::to_string(page) + ") show\n";
  return s;
}

// A PDF of numbered objects and a cross-reference table.
class Pdf {
 public:
  int add(const std::string& body) {
    objects_.push_back(body);
    return static_cast<int>(objects_.size());
  }
  void set(int number, const std::string& body) { objects_[static_cast<std::size_t>(number - 1)] = body; }
  static std::string stream(const std::string& dictionary, const std::string& data) {
    return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
  }
  std::string text(int root) const {
    std::string out = "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
      offsets.push_back(out.size());
      out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
      char line[24];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
      out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects_.size() + 1) + " /Root " + std::to_string(root) +
           " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

 private:
  std::vector<std::string> objects_;
};

std::string pdf_content(const DocumentOptions& o, int page) {
  const PageMarks m = page_marks(o.width, o.height, o.spots.size());
  std::string s = "0.5 0 0 0 k " + rect(m.cyan50) + " re f\n0 0 0 1 k " + rect(m.black100) + " re f\n";
  for (std::size_t i = 0; i < o.spots.size(); ++i) {
    s += "/CS" + std::to_string(i) + " cs 0.4 scn " + rect(m.spots40[i]) + " re f\n";
  }
  s += "q " + rect(m.vignette) + " re W n /Sh0 sh Q\n";
  s += "BT /F1 " + num(m.text.h) + " Tf 1 0 0 1 " + num(m.text.x) + " " + num(m.text.y) + " Tm 0 0 0 1 k (Page " +
       std::to_string(page) + ") Tj ET\n";
  return s;
}

}  // namespace

PageMarks page_marks(double width, double height, std::size_t spots) {
  PageMarks m;
  const double w = width / 4.0;
  const double h = height / 4.0;
  const double top = height - h - height / 16.0;
  m.cyan50 = {width / 16.0, top, w, h};
  m.black100 = {width / 16.0 * 2 + w, top, w, h};
  // Spot patches share the third place, side by side.
  for (std::size_t i = 0; i < spots; ++i) {
    const double each = w / static_cast<double>(spots);
    m.spots40.push_back({width / 16.0 * 3 + 2 * w + each * static_cast<double>(i), top, each, h});
  }
  m.vignette = {width / 16.0, height / 3.0, width * 7.0 / 8.0, h};
  m.text = {width / 16.0, height / 12.0, width * 7.0 / 8.0, h / 2.0};
  return m;
}

std::string marks_postscript(const DocumentOptions& o) {
  std::string s = "%!PS-Adobe-3.0\n%%Pages: " + std::to_string(o.pages) + "\n%%EndComments\n";
  for (int page = 1; page <= o.pages; ++page) {
    s += "%%Page: " + std::to_string(page) + " " + std::to_string(page) + "\n";
    s += "<< /PageSize [" + num(o.width) + " " + num(o.height) + "] >> setpagedevice\n" + ps_page(o, page);
    if (page == o.error_on_page) s += "thisoperatordoesnotexist\n";
    s += "showpage\n";
  }
  return s + "%%EOF\n";
}

std::string marks_eps(const DocumentOptions& o) {
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(static_cast<int>(o.width)) + " " +
         std::to_string(static_cast<int>(o.height)) + "\n%%EndComments\n" + ps_page(o, 1) + "%%EOF\n";
}

std::string marks_pdf(const DocumentOptions& o) {
  Pdf pdf;
  const int catalog = pdf.add("");
  const int tree = pdf.add("");
  const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>");
  const int tint = pdf.add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0.8 1 0] /N 1 >>");
  std::string colour_spaces;
  for (std::size_t i = 0; i < o.spots.size(); ++i) {
    const int space = pdf.add("[/Separation " + pdf_name(o.spots[i]) + " /DeviceCMYK " + std::to_string(tint) + " 0 R]");
    colour_spaces += "/CS" + std::to_string(i) + " " + std::to_string(space) + " 0 R ";
  }
  const PageMarks m = page_marks(o.width, o.height, o.spots.size());
  const int shading = pdf.add("<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [" + num(m.vignette.x) + " 0 " +
                              num(m.vignette.x + m.vignette.w) +
                              " 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0.5 0] /N 1 >> >>");
  std::string kids;
  for (int page = 1; page <= o.pages; ++page) {
    const int content = pdf.add(Pdf::stream("", pdf_content(o, page)));
    std::string box = "/MediaBox [0 0 " + num(o.width) + " " + num(o.height) + "]";
    if (o.trim) box += " /TrimBox [9 9 " + num(o.width - 9) + " " + num(o.height - 9) + "]";
    if (!o.user_unit.empty()) box += " /UserUnit " + o.user_unit;
    const int object = pdf.add("<< /Type /Page /Parent " + std::to_string(tree) + " 0 R " + box +
                               " /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> /ColorSpace << " +
                               colour_spaces + ">> /Shading << /Sh0 " + std::to_string(shading) +
                               " 0 R >> >> /Contents " + std::to_string(content) + " 0 R >>");
    kids += std::to_string(object) + " 0 R ";
  }
  pdf.set(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(o.pages) + " >>");
  std::string root = "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R";
  if (!o.xmp.empty()) {
    root += " /Metadata " + std::to_string(pdf.add(Pdf::stream("/Type /Metadata /Subtype /XML", o.xmp))) + " 0 R";
  }
  pdf.set(catalog, root + " >>");
  return pdf.text(catalog);
}

}  // namespace riphost_test
