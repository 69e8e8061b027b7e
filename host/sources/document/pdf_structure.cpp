// pdf_structure.cpp - a PDF's page tree, boxes and external files, by qpdf.
#include "sources/document/pdf_structure.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <utility>

#include "sources/document/pdf_references.h"

namespace riphost {

namespace {

using Handle = QPDFObjectHandle;

// A leaf of the page tree with what it inherits from the nodes above it.
struct PageNode {
  Handle page = Handle::newNull();
  Handle media = Handle::newNull();
  Handle rotate = Handle::newNull();
  Handle resources = Handle::newNull();
};

// A node of the page tree being walked, with the next of its kids.
struct TreeFrame {
  Handle node;
  PageNode inherited;
  int next_kid = 0;
};

std::string object_name(Handle& object) {
  return object.isIndirect() ? "object " + std::to_string(object.getObjectID()) : "a direct object";
}

std::string number_text(double value) {
  char text[32] = {};
  std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general, 8);
  return text;
}

// The inheritable attributes of node over those of the nodes above it.
PageNode inherit(Handle& node, const PageNode& above) {
  PageNode own = above;
  own.page = node;
  if (node.hasKey("/MediaBox")) own.media = node.getKey("/MediaBox");
  if (node.hasKey("/Rotate")) own.rotate = node.getKey("/Rotate");
  if (node.hasKey("/Resources")) own.resources = node.getKey("/Resources");
  return own;
}

bool is_pages_node(Handle& node) {
  if (node.getKey("/Type").isNameAndEquals("/Pages")) return true;
  return !node.hasKey("/Type") && node.getKey("/Kids").isArray();
}

// The leaves of the page tree in order. Refuses a loop, a node reached
// twice, a tree deeper than kMaxPageTreeDepth and a kid that is no
// dictionary: Ghostscript would fail on them, or render a page twice.
std::vector<PageNode> page_nodes(QPDF& pdf, const std::string& name) {
  Handle root = pdf.getRoot().getKey("/Pages");
  if (!root.isDictionary()) throw HostError(name + ": the PDF has no page tree (its catalog names no /Pages)");
  std::vector<PageNode> leaves;
  std::set<QPDFObjGen> seen;  // every indirect node met so far
  std::vector<TreeFrame> path = {TreeFrame{root, inherit(root, PageNode{}), 0}};
  if (root.isIndirect()) seen.insert(root.getObjGen());
  const std::string broken = name + ": the page tree is broken: ";
  while (!path.empty()) {
    TreeFrame& frame = path.back();
    Handle kids = frame.node.getKey("/Kids");
    const int count = kids.isArray() ? kids.getArrayNItems() : 0;
    if (frame.next_kid >= count) {
      path.pop_back();
      continue;
    }
    Handle kid = kids.getArrayItem(frame.next_kid++);
    if (!kid.isDictionary()) {
      throw HostError(broken + "entry " + std::to_string(frame.next_kid) + " of the /Kids of " +
                      object_name(frame.node) + " is no page");
    }
    if (kid.isIndirect() && !seen.insert(kid.getObjGen()).second) {
      const bool loop = std::any_of(path.begin(), path.end(), [&](const TreeFrame& above) {
        return above.node.isIndirect() && above.node.getObjGen() == kid.getObjGen();
      });
      throw HostError(broken + (loop ? object_name(kid) + " is among its own kids (a loop)"
                                     : object_name(kid) + " is reached twice (a page would print twice)"));
    }
    PageNode node = inherit(kid, frame.inherited);
    if (!is_pages_node(kid)) {
      leaves.push_back(std::move(node));
      if (static_cast<int>(leaves.size()) > kMaxPageNumber) {
        throw HostError(name + ": the PDF has more than " + std::to_string(kMaxPageNumber) + " pages");
      }
    } else if (static_cast<int>(path.size()) >= kMaxPageTreeDepth) {
      throw HostError(broken + "it is more than " + std::to_string(kMaxPageTreeDepth) + " levels deep");
    } else {
      path.push_back(TreeFrame{kid, std::move(node), 0});
    }
  }
  return leaves;
}

// A box of four finite numbers, or nothing.
std::optional<PageBox> read_box(Handle box) {
  if (!box.isArray() || box.getArrayNItems() != 4) return std::nullopt;
  double values[4] = {};
  for (int i = 0; i < 4; ++i) {
    Handle item = box.getArrayItem(i);
    if (!item.isNumber()) return std::nullopt;
    values[i] = item.getNumericValue();
    if (!std::isfinite(values[i])) return std::nullopt;
  }
  return PageBox{values[0], values[1], values[2], values[3]};
}

// The page's MediaBox, UserUnit, TrimBox and Rotate, checked.
void read_page_geometry(PageNode node, const std::string& where, PdfPageStructure& page) {
  Handle dict = node.page;
  Handle unit = dict.getKey("/UserUnit");
  if (!unit.isNull()) {
    page.user_unit = unit.isNumber() ? unit.getNumericValue() : 0.0;
    if (!(page.user_unit > 0.0) || !std::isfinite(page.user_unit)) {
      throw HostError(where + " gives a UserUnit of " +
                      (unit.isNumber() ? number_text(page.user_unit) : unit.unparse().substr(0, 40)) +
                      "; a UserUnit must be a positive number of points");
    }
  }
  if (node.media.isNull()) throw HostError(where + " has no MediaBox, so its size is unknown");
  const std::optional<PageBox> media = read_box(node.media);
  if (!media) {
    throw HostError(where + ": its MediaBox " + node.media.unparse().substr(0, 80) +
                    " is not a rectangle of four numbers");
  }
  const double width = media->width() * page.user_unit;
  const double height = media->height() * page.user_unit;
  if (!(width > 0.0 && height > 0.0)) {
    throw HostError(where + ": its MediaBox encloses no area (" + number_text(width) + " x " + number_text(height) +
                    " points)");
  }
  if (!(width <= kMaxPageSide && height <= kMaxPageSide)) {
    throw HostError(where + ": its MediaBox is " + number_text(width) + " x " + number_text(height) +
                    " points, larger than any page");
  }
  page.media = *media;
  // A TrimBox that is no rectangle with an area counts as none: the media
  // box gives the size, as for a page without one.
  const std::optional<PageBox> trim = read_box(dict.getKey("/TrimBox"));
  if (trim && trim->width() > 0.0 && trim->height() > 0.0 && trim->width() * page.user_unit <= kMaxPageSide &&
      trim->height() * page.user_unit <= kMaxPageSide) {
    page.trim = trim;
  }
  if (Handle rotate = node.rotate; !rotate.isNull()) {
    const double turn = rotate.isNumber() ? rotate.getNumericValue() : 1.0;
    if (!std::isfinite(turn) || std::fmod(turn, 90.0) != 0.0) {
      throw HostError(where + " turns by " + rotate.unparse().substr(0, 40) + "; a page turns by multiples of 90");
    }
    const double within = std::fmod(turn, 360.0);
    page.rotate = static_cast<int>(within < 0.0 ? within + 360.0 : within);
  }
}

}  // namespace

PdfStructure read_pdf_structure(const std::filesystem::path& file, const std::string& name,
                                const std::string& password, const PageList& pages) {
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.setAttemptRecovery(true);
  try {
    pdf.processFile(file.c_str(), password.empty() ? nullptr : password.c_str());
  } catch (const QPDFExc& problem) {
    if (problem.getErrorCode() != qpdf_e_password) throw PdfUnreadable(name + ": " + problem.getMessageDetail());
    throw HostError(password.empty() ? name + ": the PDF is encrypted and needs a password to be opened (give it "
                                              "with --password, or a ticket's \"password\")"
                                     : name + ": the password given does not open this encrypted PDF");
  } catch (const std::exception& problem) {
    throw PdfUnreadable(name + ": " + problem.what());
  }
  PdfStructure structure;
  try {
    structure.encrypted = pdf.isEncrypted();
    const std::vector<PageNode> nodes = page_nodes(pdf, name);
    structure.page_count = static_cast<int>(nodes.size());
    if (structure.page_count == 0) throw HostError(name + ": no page can be read from this PDF: its page tree is empty");
    std::vector<int> numbers;
    try {
      numbers = pages.pages(structure.page_count);
    } catch (const HostError& problem) {
      throw HostError(name + ": " + problem.what());
    }
    long budget = kMaxObjectsLookedAt;
    for (int number : numbers) {
      const PageNode& node = nodes[static_cast<std::size_t>(number - 1)];
      PdfPageStructure page;
      page.number = number;
      read_page_geometry(node, name + ": page " + std::to_string(number), page);
      page.external = external_references(node.page, node.resources, budget);
      structure.pages.push_back(std::move(page));
    }
    structure.references_incomplete = budget <= 0;
  } catch (const HostError&) {
    throw;
  } catch (const std::exception& problem) {
    throw PdfUnreadable(name + ": " + problem.what());
  }
  return structure;
}

}  // namespace riphost
