// tag_vocabulary.h - the words of the TAV files' own tags, shared by the
// plug-in's tag writers and by tavinfo, which reads them back: the tag
// names, the lines of the screen-information tag (written and parsed here,
// one format), and the scrambling of the cutting texts (both directions).
// A change of any of these is made here and reaches writer and reader alike.
#ifndef TAGS_TAG_VOCABULARY_H
#define TAGS_TAG_VOCABULARY_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tagvocab {

// Tag names.
inline constexpr char kXmpTag[] = "_KVT_XMP";                         // the separation's XMP text
inline constexpr char kScreenInfoTag[] = "_KVT_RIPINFO0";             // screens, coverage, area
inline constexpr char kPreviewTag[] = "_KVTVIEW.PNG";                 // PNG picture of the separation
inline constexpr char kStaggerTag[] = "_KVT_STAGGER";                 // transformation + common staggered cut
inline constexpr char kTransformationTag[] = "_KVT_TRANSFORMATION";   // the transformation text
inline constexpr char kStaggeredCutTag[] = "_KVT_STAGGEREDCUT";       // scrambled staggered cut of the first ink
inline constexpr char kCadTagPrefix[] = "_KVT_CAD_";                  // + the ink's CAD name: scrambled CAD text

// "_KVT_CAD_" followed by the ink's CAD name.
std::string cad_tag_name(std::string_view cad_name);

// True for the tags whose text is scrambled with the file's transformation
// text: "_KVT_STAGGEREDCUT" and every "_KVT_CAD_<ink>".
bool is_scrambled_tag(std::string_view name);

// Lines of the screen-information tag: "COUNT=<n>\n", then n screen lines,
// each in the plain form "LC=%f A=%f S=%s\n" or the counted form
// "LC=%f A=%f S=%s COV=%f AREA=%d,%d,%d,%d\n" (ruling, angle, name, share
// of the page, left, top, right, bottom). Numbers are in the "C" locale.
// A line longer than kScreenLineLimit characters is cut there (and loses
// its line feed).
inline constexpr int kScreenLineLimit = 255;
using ScreenLineBuffer = char[kScreenLineLimit + 1];

// Names of the lines that stand for no screen of the selection.
inline constexpr char kSolidName[] = "SOLID";      // solid tone: the line of a tag with nothing else
inline constexpr char kUnknownName[] = "UNKNOWN";  // foreign screens and screens not in the selection
inline constexpr char kCopydotName[] = "CPP";      // copydot data

// Area in pixels of the file: left and top inclusive, right one past the
// last pixel, bottom the last line.
struct ScreenArea {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The first line, "COUNT=<lines>\n".
std::string count_line(int lines);

// One screen line into line (cut at kScreenLineLimit characters); returns
// the length the whole line has, which is more than kScreenLineLimit when
// it was cut, negative when it cannot be formatted.
int format_plain_line(ScreenLineBuffer& line, double ruling, double angle, const char* name);
int format_counted_line(ScreenLineBuffer& line, double ruling, double angle, const char* name, double coverage,
                        const ScreenArea& area);

// One screen line as read back.
struct ScreenLine {
  double ruling = 0.0;   // lines per inch
  double angle = 0.0;    // degrees
  std::string name;      // dot shape, or UNKNOWN / CPP / SOLID
  bool counted = false;  // the counted form: coverage and area follow
  double coverage = 0.0; // share of the page, 0 to 1
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // pixels of the file
};

// The screen lines of a screen-information text (without its zero byte);
// none when the text is not of that form (also when a line was cut).
std::optional<std::vector<ScreenLine>> parse_screen_info(std::string_view text);

// A cutting text scrambled with the transformation text t: byte i becomes
// text[i] XOR t[L - 1 - (i mod L)], L the length of t; an empty t changes
// nothing. The tag value is the scrambled bytes and one zero byte.
std::string scramble(std::string_view text, std::string_view t);

// The clear text of a scrambled tag value (its bytes before a final zero
// byte), given the file's transformation text t (without its zero byte).
std::string unscramble(std::span<const uint8_t> value, std::string_view t);

}  // namespace tagvocab

#endif  // TAGS_TAG_VOCABULARY_H
