// The filter that hands Exempi only the ink properties of a packet: what it
// keeps and how it writes it, the bound on the nodes it keeps, and the inks
// of large packets read through XMPlib with it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xmp_filter.h"
#include "xmplib.h"

namespace {

const std::vector<dravxmp::PropertyName> kInkProperties = {
    {XMPlib::kInkNamespace, "Inks"},
    {"http://ns.adobe.com/xap/1.0/t/pg/", "SwatchGroups"},
    {"http://ns.adobe.com/xap/1.0/t/pg/", "PlateNames"}};

const std::string kHead =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:xmpTPg='http://ns.adobe.com/xap/1.0/t/pg/'>";
const std::string kTail = "</rdf:Description></rdf:RDF></x:xmpmeta>";

// What the filter writes for packet; "refused: <why>" when it refuses it.
std::string Kept(const std::string& packet) {
  std::string out;
  std::string error;
  if (!dravxmp::KeepProperties(packet, kInkProperties, dravxmp::kMaxInkNodes, dravxmp::kMaxInkBytes, out, error)) {
    return "refused: " + error;
  }
  EXPECT_EQ(error, "");
  return out;
}

// The plate names of a packet made of kHead, body and kTail, through XMPlib.
std::vector<std::string> Plates(const std::string& body) {
  XMPlib xmp;
  EXPECT_TRUE(xmp.SetXML(kHead + body + kTail)) << xmp.LastError();
  std::vector<XMPlInk> inks;
  xmp.GetInks(inks);
  std::vector<std::string> names;
  for (const XMPlInk& ink : inks) names.push_back(ink.name);
  return names;
}

struct FilterCase {
  const char* what;
  std::string packet;
  std::string kept;
};

class XmpFilterWrites : public ::testing::TestWithParam<FilterCase> {};

TEST_P(XmpFilterWrites, OnlyTheInkPropertiesAndWhatHoldsThem) { EXPECT_EQ(Kept(GetParam().packet), GetParam().kept); }

const char* const kRdfNs = " xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
const char* const kTpgNs = " xmlns:xmpTPg=\"http://ns.adobe.com/xap/1.0/t/pg/\"";

std::string Wrapped(const std::string& description_body) {
  return std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF") + kRdfNs +
         "><rdf:Description" + kTpgNs + " rdf:about=\"\">" + description_body +
         "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

INSTANTIATE_TEST_SUITE_P(
    Packets, XmpFilterWrites,
    ::testing::Values(
        FilterCase{"other_properties_and_attributes_dropped",
                   "<?xpacket begin=''?>" + kHead.substr(0, kHead.size() - 1) +
                       " xmpTPg:NPages='3' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                       "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>T</rdf:li></rdf:Alt></dc:title>"
                       "<!-- note --><xmpTPg:PlateNames><rdf:Seq><rdf:li>K</rdf:li></rdf:Seq></xmpTPg:PlateNames>"
                       "<xmpTPg:Fonts><rdf:Bag/></xmpTPg:Fonts>" +
                       kTail + "<?xpacket end='r'?>",
                   std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF") + kRdfNs + "><rdf:Description" +
                       kTpgNs + " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" rdf:about=\"\">"
                                "<xmpTPg:PlateNames><rdf:Seq><rdf:li>K</rdf:li></rdf:Seq></xmpTPg:PlateNames>"
                                "</rdf:Description></rdf:RDF></x:xmpmeta>"},
        FilterCase{"blanks_between_elements_dropped_blank_values_kept",
                   kHead + "\n <xmpTPg:PlateNames>\n  <rdf:Seq>\n   <rdf:li> </rdf:li>\n   <rdf:li>A B</rdf:li>\n"
                           "  </rdf:Seq>\n </xmpTPg:PlateNames>\n" + kTail,
                   Wrapped("<xmpTPg:PlateNames><rdf:Seq><rdf:li> </rdf:li><rdf:li>A B</rdf:li></rdf:Seq>"
                           "</xmpTPg:PlateNames>")},
        FilterCase{"markup_in_texts_and_attributes_survives",
                   kHead + "<xmpTPg:PlateNames><rdf:Seq><rdf:li q='a&quot;b&apos;&apos;c&#10;'>"
                           "R&amp;D &lt;1&gt; <![CDATA[x]]]]><![CDATA[>y]]></rdf:li></rdf:Seq></xmpTPg:PlateNames>" + kTail,
                   Wrapped("<xmpTPg:PlateNames><rdf:Seq><rdf:li q=\"a&quot;b''c&#10;\">"
                           "<![CDATA[R&D <1> x]]]]><![CDATA[>y]]></rdf:li></rdf:Seq></xmpTPg:PlateNames>")},
        FilterCase{"no_ink_property_leaves_the_frame",
                   kHead + "<xmpTPg:MaxPageSize rdf:parseType='Resource'><a:w xmlns:a='a:'>1</a:w></xmpTPg:MaxPageSize>" +
                       kTail,
                   Wrapped("")},
        FilterCase{"doctype_refused",
                   "<!DOCTYPE x [<!ENTITY e 'eeee'>]>" + kHead + kTail,
                   "refused: the XMP packet holds a document type declaration (DOCTYPE)"},
        FilterCase{"malformed_refused", kHead + "<xmpTPg:PlateNames>" + kTail,
                   "refused: the XMP packet is not well-formed XML (line 1: mismatched tag)"}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.what); });

TEST(XmpFilter, NodesAndBytesUpToTheBoundsAreKeptAndMoreIsRefused) {
  // x:xmpmeta, rdf:RDF, rdf:Description, their three namespace
  // declarations, the property and rdf:Seq, then an element and a text for
  // each plate name, and an empty item when one node is left.
  constexpr std::size_t kFrame = 8;
  const std::size_t plates = (dravxmp::kMaxInkNodes - kFrame) / 2;
  std::string items;
  for (std::size_t i = 0; i < plates; ++i) items += "<rdf:li>P" + std::to_string(i) + "</rdf:li>";
  const auto packet = [&](const std::string& list) {
    return kHead + "<xmpTPg:PlateNames><rdf:Seq>" + list + "</rdf:Seq></xmpTPg:PlateNames>" + kTail;
  };
  const std::string exact = packet(items + ((dravxmp::kMaxInkNodes - kFrame) % 2 == 1 ? "<rdf:li/>" : ""));
  EXPECT_EQ(Kept(exact).rfind("refused", 0), std::string::npos);
  EXPECT_EQ(Kept(packet(items + "<rdf:li/><rdf:li/>")),
            "refused: the XMP packet's ink properties hold more than 65536 elements, attributes, namespace "
            "declarations and texts");
  // A packet of nothing but plate names up to the size limit is refused
  // by the bound, before Exempi would hold a node for each.
  std::string dense;
  while (dense.size() < XMPlib::kMaxPacketBytes - 4096) dense += "<rdf:li>P</rdf:li>";
  XMPlib xmp;
  EXPECT_FALSE(xmp.SetXML(packet(dense)));
  EXPECT_NE(xmp.LastError().find("more than 65536 elements"), std::string::npos) << xmp.LastError();
  // Namespace declarations count too: Exempi would register each one.
  std::string declarations;
  for (std::size_t i = 0; i < dravxmp::kMaxInkNodes; ++i) declarations += " xmlns:n" + std::to_string(i) + "='u:'";
  EXPECT_EQ(Kept("<x:xmpmeta xmlns:x='adobe:ns:meta/'" + declarations + "/>"),
            "refused: the XMP packet's ink properties hold more than 65536 elements, attributes, namespace "
            "declarations and texts");
  // Few nodes holding much text: up to the bound in bytes, not past it.
  const std::string name(dravxmp::kMaxInkBytes / 2, 'n');
  EXPECT_EQ(Kept(packet("<rdf:li>" + name + "</rdf:li>")).rfind("refused", 0), std::string::npos);
  EXPECT_EQ(Kept(packet("<rdf:li>" + name + "</rdf:li><rdf:li>" + name + "</rdf:li>")),
            "refused: the XMP packet's ink properties take more than 4 MiB");
}

TEST(XmpFilter, InksOfLargePacketsAreReadPastWhatIsLeftOut) {
  const std::string plates = "<xmpTPg:PlateNames><rdf:Seq><rdf:li>Cyan</rdf:li><rdf:li>Die &amp; Cut</rdf:li>"
                             "</rdf:Seq></xmpTPg:PlateNames>";
  // A history of 100,000 events and a 10 MiB thumbnail around the plates:
  // neither is counted nor given to Exempi.
  std::string history = "<xmpMM:History xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/' "
                        "xmlns:stEvt='http://ns.adobe.com/xap/1.0/sType/ResourceEvent#'><rdf:Seq>";
  for (int i = 0; i < 100000; ++i) history += "<rdf:li stEvt:action='saved' stEvt:when='2020'/>";
  history += "</rdf:Seq></xmpMM:History>";
  const std::string thumbnail =
      "<xmp:Thumb xmlns:xmp='http://ns.adobe.com/xap/1.0/'>" + std::string(10u << 20, 'A') + "</xmp:Thumb>";
  const std::vector<std::string> expected = {"Cyan", "Die & Cut"};
  EXPECT_EQ(Plates(history + plates + thumbnail), expected);
  // Descriptions split over several rdf:Description elements, with
  // attribute properties, and a wrapper without x:xmpmeta.
  EXPECT_EQ(Plates("</rdf:Description><rdf:Description rdf:about='' xmlns:xmpTPg='http://ns.adobe.com/xap/1.0/t/pg/'"
                   " xmpTPg:NPages='1'>" + plates),
            expected);
  XMPlib xmp;
  ASSERT_TRUE(xmp.SetXML("<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                         "rdf:about='' xmlns:xmpTPg='http://ns.adobe.com/xap/1.0/t/pg/'>" + history + plates +
                         "</rdf:Description></rdf:RDF>"))
      << xmp.LastError();
  std::vector<XMPlInk> inks;
  EXPECT_EQ(xmp.GetInks(inks), 2);
}

}  // namespace
