// document_warnings.cpp - substituted fonts and foreign colour, found by
// watching Ghostscript read the document.
#include "sources/document/document_warnings.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <sstream>

#include "common/host_error.h"
#include "sources/document/ghostscript_session.h"
#include "sources/document/page_watch.h"

namespace riphost {

namespace {

// The watch of a PostScript program, run before it. Every piece is whole
// procedures and stays under Ghostscript's command line limit. A watcher
// that goes wrong leaves the program's stacks as they were (safely), and
// each wrapped operator then does what it always does (without operands,
// it reports its own error).
constexpr const char* kWatch[] = {
    "userdict /RiphostWatch 24 dict dup begin /page -1 def /fonts 16 dict def /colours 4 dict def"
    " /subs 64 dict def /own 64 dict def /realfindfont /findfont load def /realdefinefont /definefont load def"
    " /realdefineresource /defineresource load def /realsetrgbcolor /setrgbcolor load def"
    " /realsethsbcolor /sethsbcolor load def /realsetcolorspace /setcolorspace load def"
    " /realcolorimage /colorimage load def end put",
    "//RiphostWatch begin "
    "/safely {countdictstack 3 1 roll mark 3 1 roll stopped cleartomark countdictstack exch sub {end} repeat}"
    " bind def "
    "/hex {dup type /stringtype ne {dup length string cvs} if"
    " {16#100 add 16 3 string cvrs 1 2 getinterval print} forall} bind def "
    "/turn {currentpagedevice /PageCount get 1 add dup page ne"
    " {/page exch def /fonts 16 dict def /colours 4 dict def} {pop} ifelse} bind def end",
    "//RiphostWatch begin "
    "/colour {//RiphostWatch begin turn colours 1 index known {pop}"
    " {colours 1 index true put (RIPHOST-COLOUR ) print page =only ( ) print =} ifelse end} bind def "
    "/record {//RiphostWatch begin aload pop /wanted exch def /got exch def turn"
    " subs wanted known not {subs wanted got /FontInfo known {got /FontInfo get dup /FullName known"
    " {/FullName get} {pop got /FontName get} ifelse} {got /FontName get} ifelse put} if"
    " fonts wanted known not {fonts wanted true put (RIPHOST-FONT ) print page =only ( ) print"
    " wanted hex ( ) print subs wanted get hex (\\n) print} if end} bind def end",
    "//RiphostWatch begin "
    "/space {dup type /nametype eq {1 array astore} if dup type /arraytype eq {dup length 0 gt} {//false} ifelse"
    " {dup 0 get dup /DeviceRGB eq 1 index /CalRGB eq or {pop pop /RGB //RiphostWatch /colour get exec}"
    " {dup /Lab eq {pop pop /Lab //RiphostWatch /colour get exec}"
    " {dup /ICCBased eq {pop 1 get dup type /dicttype eq {dup /N known {/N get 3 eq} {pop //false} ifelse}"
    " {pop //false} ifelse {/RGB //RiphostWatch /colour get exec} if}"
    " {dup /Indexed eq exch /Pattern eq or {dup length 1 gt {1 get //RiphostWatch /space get exec} {pop} ifelse}"
    " {pop} ifelse} ifelse} ifelse} ifelse} {pop} ifelse} bind def "
    "/watched {//RiphostWatch /subs get 1 index known {pop //true} {//RiphostWatch /own get exch known not} ifelse}"
    " bind def "
    "/copied {dup type /dicttype eq {dup /FontName known} {//false} ifelse {/FontName get //RiphostWatch /subs get"
    " 1 index known {//RiphostWatch /subs get exch get //true} {pop //false} ifelse} {pop //false} ifelse}"
    " bind def end",
    "userdict /definefont {dup //RiphostWatch /copied get exec {//RiphostWatch /subs get 3 index 3 -1 roll put}"
    " {//RiphostWatch /own get 2 index //true put} ifelse //RiphostWatch /realdefinefont get exec} bind put "
    "userdict /defineresource {dup /Font eq 1 index /CIDFont eq or {//RiphostWatch /own get 3 index //true put} if"
    " //RiphostWatch /realdefineresource get exec} bind put",
    "userdict /setrgbcolor {/RGB //RiphostWatch /colour get //RiphostWatch /safely get exec"
    " //RiphostWatch /realsetrgbcolor get exec} bind put "
    "userdict /sethsbcolor {/RGB //RiphostWatch /colour get //RiphostWatch /safely get exec"
    " //RiphostWatch /realsethsbcolor get exec} bind put",
    "userdict /setcolorspace {count 0 gt {dup //RiphostWatch /space get //RiphostWatch /safely get exec} if"
    " //RiphostWatch /realsetcolorspace get exec} bind put "
    "userdict /colorimage {count 0 gt {dup 3 eq {/RGB //RiphostWatch /colour get //RiphostWatch /safely get exec} if}"
    " if //RiphostWatch /realcolorimage get exec} bind put",
    "userdict /findfont {count 0 eq {//RiphostWatch /realfindfont get exec} {"
    " dup dup //RiphostWatch /watched get exec exch //RiphostWatch /realfindfont get exec exch"
    " {dup 3 -1 roll 2 array astore //RiphostWatch /record get //RiphostWatch /safely get exec} {exch pop} ifelse}"
    " ifelse} bind put "
    "userdict /selectfont {exch findfont exch dup type /arraytype eq {makefont} {scalefont} ifelse setfont} bind put",
};

// The look at a PDF's pages through the older PDF interpreter's objects:
// for each page "RIPHOST-PAGE n", then a line per font its content selects
// ("RIPHOST-FONT <hex name>", Tf) and per foreign colour it uses
// ("RIPHOST-COLOUR RGB" or "Lab": rg and RG, the colour spaces cs and CS
// and inline images name, the images and forms Do paints, the shadings sh
// paints and the patterns scn and SCN set; forms and patterns read in turn,
// 8 levels deep and 200 a page). A content stream is read token by token
// up to its first inline image, whose data cannot be.
constexpr const char* kPdfLook[] = {
    "/riphex {dup type /stringtype ne {dup length string cvs} if"
    " {16#100 add 16 3 string cvrs 1 2 getinterval print} forall} bind def "
    "/ripsafely {countdictstack 3 1 roll mark 3 1 roll stopped cleartomark countdictstack exch sub {end} repeat}"
    " bind def "
    "/riplook {3 1 roll knownoget {exch knownoget} {pop //false} ifelse} bind def",
    "/ripspace {oforce dup type /nametype eq {1 array astore} if dup type /arraytype eq {dup length 0 gt} {//false}"
    " ifelse {dup 0 oget dup /DeviceRGB eq 1 index /CalRGB eq or 1 index /RGB eq or"
    " {pop pop (RIPHOST-COLOUR RGB\n) print} {dup /Lab eq {pop pop (RIPHOST-COLOUR Lab\n) print}"
    " {dup /ICCBased eq {pop 1 oget dup type /dicttype eq {/N knownoget {3 eq} {//false} ifelse} {pop //false}"
    " ifelse {(RIPHOST-COLOUR RGB\n) print} if}"
    " {dup /Indexed eq 1 index /I eq or exch /Pattern eq or {dup length 1 gt {1 oget ripspace} {pop} ifelse}"
    " {pop} ifelse} ifelse} ifelse} ifelse} {pop} ifelse} bind def",
    "/ripfont {oforce dup type /dicttype eq {/BaseFont knownoget {(RIPHOST-FONT ) print riphex (\n) print} if}"
    " {pop} ifelse} bind def "
    "/ripshading {oforce dup type /dicttype eq {/ColorSpace knownoget {ripspace} if} {pop} ifelse} bind def "
    "/ripinline {1 index /CS eq 2 index /ColorSpace eq or {dup ripspace} if} bind def",
    "/ripobject {exch oforce dup type /dicttype ne {pop pop} {"
    " dup /Subtype knownoget not {/None} if dup /Image eq {pop /ColorSpace knownoget {ripspace} if pop}"
    " {dup /Form eq exch /Pattern eq or 1 index /PatternType knownoget {1 eq} {//false} ifelse or"
    " {1 index 8 lt ripforms 200 lt and {userdict /ripforms ripforms 1 add put"
    " dup /Resources knownoget not {0 dict} if 3 -1 roll 1 add 3 -1 roll 3 array astore"
    " {aload pop ripcontent} ripsafely} {pop pop} ifelse}"
    " {dup /Shading knownoget {ripshading} if pop pop} ifelse} ifelse} ifelse} bind def",
    "/ripop {dup /rg eq 1 index /RG eq or {(RIPHOST-COLOUR RGB\n) print} if"
    " dup /ID eq {pop //true} {dup /Do eq 1 index /scn eq or 1 index /SCN eq or"
    " {/Do eq {/XObject} {/Pattern} ifelse 4 index exch 2 index riplook {3 index ripobject} if //false}"
    " {dup /cs eq 1 index /CS eq or {pop 3 index /ColorSpace 2 index riplook {ripspace} {dup ripspace} ifelse //false}"
    " {dup /sh eq {pop 3 index /Shading 2 index riplook {ripshading} if //false}"
    " {/Tf eq {3 index /Font 2 index riplook {ripfont} if} if //false} ifelse} ifelse} ifelse} ifelse} bind def",
    "/ripcontent {//true resolvestream //null"
    " {1 index token not {exit} if dup type /nametype eq"
    " {dup xcheck {ripop {exit} if} {ripinline exch pop} ifelse} {pop} ifelse} loop"
    " pop closefile pop pop} bind def",
    "/rippage {dup (RIPHOST-PAGE ) print = userdict /ripforms 0 put pdfgetpage dup //null eq {pop} {"
    " dup /Resources pget not {0 dict} if exch /Contents knownoget"
    " {dup type /arraytype eq {{oforce 1 index exch 0 exch 3 array astore {aload pop ripcontent} ripsafely} forall}"
    " {1 index exch 0 exch 3 array astore {aload pop ripcontent} ripsafely} ifelse} if pop} ifelse} bind def",
};

// "Loading font Arial (or substitute) from /usr/.../NimbusSans-Regular":
// the font and the file's name.
bool loading_line(std::string_view line, std::string& font, std::string& substitute) {
  constexpr std::string_view kFont = "Loading font ";
  constexpr std::string_view kCid = "Loading CIDFont ";
  std::string_view middle;
  if (line.starts_with(kFont)) {
    line.remove_prefix(kFont.size());
    middle = " (or substitute) from ";
  } else if (line.starts_with(kCid)) {
    line.remove_prefix(kCid.size());
    middle = " substitute from ";
  } else {
    return false;
  }
  const std::size_t at = line.find(middle);
  if (at == std::string_view::npos) return false;
  font = std::string(line.substr(0, at));
  std::string_view file = line.substr(at + middle.size());
  while (!file.empty() && (file.back() == '\r' || file.back() == ' ')) file.remove_suffix(1);
  const std::size_t slash = file.find_last_of('/');
  substitute = std::string(slash == std::string_view::npos ? file : file.substr(slash + 1));
  return !font.empty();
}

int page_number(std::string_view text) {
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

void add_font(DocumentWarnings& warnings, FontSubstitution font) {
  if (font.page <= 0 || font.font.empty()) return;
  if (std::find(warnings.fonts.begin(), warnings.fonts.end(), font) == warnings.fonts.end()) {
    warnings.fonts.push_back(std::move(font));
  }
}

void add_colour(DocumentWarnings& warnings, int page, std::string_view kind) {
  if (page <= 0 || (kind != "RGB" && kind != "Lab")) return;
  auto entry = std::find_if(warnings.colours.begin(), warnings.colours.end(),
                            [&](const PageColours& colours) { return colours.page == page; });
  if (entry == warnings.colours.end()) entry = warnings.colours.insert(warnings.colours.end(), PageColours{page});
  (kind == "RGB" ? entry->rgb : entry->lab) = true;
}

// The words of a line.
std::vector<std::string> words_of(const std::string& line) {
  std::istringstream in(line);
  return std::vector<std::string>(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
}

}  // namespace

std::vector<std::string> postscript_watch() { return std::vector<std::string>(std::begin(kWatch), std::end(kWatch)); }

DocumentWarnings postscript_warnings(std::string_view output) {
  DocumentWarnings warnings;
  std::istringstream lines{std::string(output)};
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> words = words_of(line);
    if (words.size() == 3 && words[0] == "RIPHOST-COLOUR") add_colour(warnings, page_number(words[1]), words[2]);
    if (words.size() == 4 && words[0] == "RIPHOST-FONT") {
      add_font(warnings, FontSubstitution{page_number(words[1]), from_hex(words[2]), from_hex(words[3])});
    }
  }
  return warnings;
}

DocumentWarnings pdf_warnings(std::string_view font_run, std::string_view resources) {
  DocumentWarnings warnings;
  std::vector<std::pair<std::string, std::string>> substituted;  // font, substitute
  std::istringstream run{std::string(font_run)};
  std::string line;
  int page = 0;
  while (std::getline(run, line)) {
    std::string font, substitute;
    if (line.starts_with("Page ")) page = page_number(std::string_view(line).substr(5));
    if (!loading_line(line, font, substitute)) continue;
    substituted.emplace_back(font, substitute);
    add_font(warnings, FontSubstitution{page, font, substitute});
  }
  std::istringstream look{std::string(resources)};
  page = 0;
  while (std::getline(look, line)) {
    const std::vector<std::string> words = words_of(line);
    if (words.size() != 2) continue;
    if (words[0] == "RIPHOST-PAGE") page = page_number(words[1]);
    if (words[0] == "RIPHOST-COLOUR") add_colour(warnings, page, words[1]);
    if (words[0] != "RIPHOST-FONT") continue;
    const std::string font = from_hex(words[1]);
    for (const auto& [name, substitute] : substituted) {
      if (name == font) add_font(warnings, FontSubstitution{page, name, substitute});
    }
  }
  return warnings;
}

std::vector<std::string> pdf_resource_query(const std::vector<int>& pages) {
  std::vector<std::string> parts(std::begin(kPdfLook), std::end(kPdfLook));
  parts.push_back("RipDocument (r) file runpdfbegin");
  std::string list;
  for (int number : pages) {
    if (list.size() > 1500) {
      parts.push_back(list);
      list.clear();
    }
    list += (list.empty() ? "" : " ") + std::to_string(number) + " rippage";
  }
  if (!list.empty()) parts.push_back(list);
  parts.push_back("runpdfend");
  return parts;
}

DocumentWarnings look_at_pdf(const std::filesystem::path& file, const std::vector<int>& pages,
                             const std::string& password, const DocumentLimits& limits) {
  if (pages.empty()) return {};
  std::string list;
  for (int number : pages) list += (list.empty() ? "" : ",") + std::to_string(number);
  std::string font_run, resources;
  try {
    {
      // One session at a time: this one ends before the next starts.
      GhostscriptSession fonts(limits.memory_bytes);
      const auto watch = check_watch(limits.page_seconds, [&] { return file.string(); });
      fonts.permit_reading(file.string());
      // Not quiet: Ghostscript then says which fonts it loads from its own.
      std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=nullpage", "-sPageList=" + list};
      if (!password.empty()) args.push_back("-sPDFPassword=" + password);
      args.insert(args.end(), {"-f", file.string()});
      fonts.run(args);
      font_run = fonts.output();
    }
    GhostscriptSession look(limits.memory_bytes);
    const auto watch = check_watch(limits.page_seconds, [&] { return file.string(); });
    look.permit_reading(file.string());
    std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNODISPLAY", "-q", "-dNEWPDF=false"};
    if (!password.empty()) args.push_back("-sPDFPassword=" + password);
    args.insert(args.end(), {"-sRipDocument=" + file.string(), "-c"});
    for (std::string& piece : command_pieces(pdf_resource_query(pages))) args.push_back(std::move(piece));
    look.run(args);
    resources = look.output();
  } catch (const HostError&) {
    // Nothing found: the document's own check says what is wrong with it.
  }
  return pdf_warnings(font_run, resources);
}

void report_page_warnings(const DocumentWarnings& warnings, const std::string& name, int page, MessageSink& sink) {
  for (const FontSubstitution& font : warnings.fonts) {
    if (font.page != page) continue;
    sink.warning("%s: page %d: font %s is not embedded; Ghostscript substitutes %s", name.c_str(), page,
                 font.font.c_str(), font.substitute.c_str());
  }
  for (const PageColours& colours : warnings.colours) {
    if (colours.page != page) continue;
    const char* what = colours.rgb && colours.lab ? "RGB and Lab colour are"
                       : colours.rgb                ? "RGB colour is"
                                                    : "Lab colour is";
    sink.warning("%s: page %d: %s converted to CMYK by Ghostscript's default colour conversion", name.c_str(), page,
                 what);
  }
}

}  // namespace riphost
