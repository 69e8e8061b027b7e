// device_guard.cpp - the PostScript that keeps a program off riphost's inks.
#include "sources/document/device_guard.h"

#include <iterator>

namespace riphost {

namespace {

constexpr const char kMarker[] = "RIPHOST-INKS-CHANGED ";

// Keys a program may not set: those that decide the inks, their order and
// places, the pixel layout and the resolution of the display device, and
// where its output goes. PageSize stays the program's: it sizes the page.
// The device's values after riphost's setup are kept, and before each page
// goes out the keys that decide which ink lands where are compared with
// them (arrays element by element: names and strings by their text); a
// change stops the run with the marker. OutputFile is compared too: the
// separation device's planes must land where riphost reads them. MaxSeparations is not compared:
// Ghostscript's display device goes back to 8 when a program sets keys of
// its own (PageUsesTransparency, GrayValues) and takes no more after that;
// a page rendered in several passes checks the inks each pass renders.
// Pieces of at most a few hundred bytes each, whole procedures, so that the
// guard goes on Ghostscript's command line in pieces it reads whole.
constexpr const char* kGuard[] = {
    "userdict /RiphostDevice 12 dict dup begin "
    "/keys [/PageSpotColors /SeparationOrder /SeparationColorNames /MaxSeparations /ProcessColorModel"
    " /HWResolution /DisplayFormat /DisplayHandle /BitsPerPixel /OutputFile /OutputDevice] def "
    "/checked [/PageSpotColors /SeparationOrder /HWResolution /OutputFile] def "
    "/props {currentdevice getdeviceprops >>} bind def /expected props def",
    "/realsetpagedevice /setpagedevice load def /realputdeviceprops /putdeviceprops load def "
    "/realshowpage /showpage load def",
    "/same {1 index type /arraytype eq 1 index type /arraytype eq and"
    " {2 copy length exch length eq"
    "  {true 0 1 3 index length 1 sub {dup 3 index exch get exch 4 index exch get eq and} for 3 1 roll pop pop}"
    "  {pop pop false} ifelse}"
    " {eq} ifelse} bind def",
    "/changed {//props exec null //checked {//expected 1 index known"
    " {2 index 1 index get //expected 2 index get //same exec not {exch pop} {pop} ifelse} {pop} ifelse}"
    " forall exch pop} bind def",
    "/check {//changed exec dup null eq {pop}"
    " {(RIPHOST-INKS-CHANGED ) print =only (\\n) print flush"
    "  /showpage errordict /configurationerror get exec} ifelse} bind def "
    "end put",
    "userdict /setpagedevice {dup length dict copy //RiphostDevice /keys get {1 index exch undef} forall"
    " //RiphostDevice /realsetpagedevice get exec} bind put",
    "userdict /putdeviceprops {counttomark 1 add 1 roll >> //RiphostDevice /keys get {1 index exch undef} forall"
    " mark exch {} forall counttomark 1 add index //RiphostDevice /realputdeviceprops get exec exch pop} bind put",
    "userdict /showpage {//RiphostDevice /check get exec //RiphostDevice /realshowpage get exec} bind put",
};

}  // namespace

std::vector<std::string> page_device_guard() {
  return std::vector<std::string>(std::begin(kGuard), std::end(kGuard));
}

std::optional<std::string> changed_device_key(const std::string& output) {
  const std::size_t at = output.find(kMarker);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t from = at + sizeof kMarker - 1;
  return output.substr(from, output.find('\n', from) - from);
}

std::string changed_inks_problem(const std::string& key) {
  return "the program changes the page device's " + key +
         ", which riphost sets to separate its inks; its plates would be wrong, so it is refused";
}

}  // namespace riphost
