// The inks of XMP packets, read through XMPlib: our namespace, swatch groups,
// plate names, refused and hostile packets, and numbers under a comma locale.
#include <clocale>
#include <fstream>
#include <locale.h>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xmplib.h"

namespace {

const char* const kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// A complete packet whose one rdf:Description holds `body`.
std::string Packet(const std::string& body) {
  return std::string("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
                     "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='") +
         kRdf +
         "'><rdf:Description rdf:about=''"
         " xmlns:dravInk='http://ns.dravout.example/inks/1.0/'"
         " xmlns:xmpTPg='http://ns.adobe.com/xap/1.0/t/pg/'"
         " xmlns:xmpG='http://ns.adobe.com/xap/1.0/g/'>" +
         body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='r'?>";
}

std::string OwnInk(const std::string& name, const std::string& group, const std::string& cad,
                   const std::string& frequency, const std::string& angle) {
  std::string ink = "<rdf:li rdf:parseType='Resource'><dravInk:name>" + name + "</dravInk:name>";
  if (!group.empty()) ink += "<dravInk:group>" + group + "</dravInk:group>";
  ink += "<dravInk:cadName>" + cad + "</dravInk:cadName><dravInk:frequency>" + frequency +
         "</dravInk:frequency><dravInk:angle>" + angle + "</dravInk:angle></rdf:li>";
  return ink;
}

std::string OwnInks(const std::string& items) {
  return "<dravInk:Inks><rdf:Seq>" + items + "</rdf:Seq></dravInk:Inks>";
}

std::string PlateNames(const std::string& items) {
  return "<xmpTPg:PlateNames><rdf:Seq>" + items + "</rdf:Seq></xmpTPg:PlateNames>";
}

std::string SwatchGroup(const std::string& name, const std::string& colorants) {
  return "<rdf:li rdf:parseType='Resource'><xmpG:groupName>" + name +
         "</xmpG:groupName><xmpG:groupType>0</xmpG:groupType><xmpG:Colorants><rdf:Seq>" +
         colorants + "</rdf:Seq></xmpG:Colorants></rdf:li>";
}

std::string Swatch(const std::string& name, const std::string& type) {
  return "<rdf:li rdf:parseType='Resource'><xmpG:swatchName>" + name +
         "</xmpG:swatchName><xmpG:mode>CMYK</xmpG:mode><xmpG:type>" + type +
         "</xmpG:type><xmpG:cyan>0.000000</xmpG:cyan></rdf:li>";
}

std::string SwatchGroups(const std::string& groups) {
  return "<xmpTPg:SwatchGroups><rdf:Seq>" + groups + "</rdf:Seq></xmpTPg:SwatchGroups>";
}

// The inks of `packet`, or a failure naming why the packet was refused.
std::vector<XMPlInk> Inks(const std::string& packet) {
  XMPlib xmp;
  EXPECT_EQ(xmp.ErrStr(), "");
  std::vector<XMPlInk> inks;
  EXPECT_TRUE(xmp.SetXML(packet)) << xmp.LastError();
  const int count = xmp.GetInks(inks);
  EXPECT_EQ(count, static_cast<int>(inks.size()));
  return inks;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(XmpInks, OwnNamespaceGivesAllValuesInPacketOrder) {
  const std::string packet = ReadFile(XMP_TEST_DIR "/page_inks.xmp");
  ASSERT_FALSE(packet.empty());
  XMPlib xmp;
  ASSERT_EQ(xmp.ErrStr(), "");
  ASSERT_TRUE(xmp.SetXML(packet)) << xmp.LastError();
  std::vector<XMPlInk> inks(1);
  inks[0].name = "earlier";
  ASSERT_EQ(xmp.GetInks(inks), 5);
  ASSERT_EQ(inks.size(), 6u);  // appended, the earlier entry kept
  EXPECT_EQ(inks[0].name, "earlier");
  const char* names[] = {"Cyan", "Magenta", "Yellow", "Black", "Die Cut Line"};
  const char* cads[] = {"C", "M", "Y", "K", "DieCut"};
  const double angles[] = {15, 75, 0, 45, 22.5};
  for (int i = 0; i < 5; ++i) {
    const XMPlInk& ink = inks[i + 1];
    EXPECT_EQ(ink.name, names[i]);
    EXPECT_EQ(ink.cad_name, cads[i]);
    EXPECT_EQ(ink.group, i < 4 ? "Process" : "none");
    EXPECT_EQ(ink.type, i < 4 ? "PROCESS" : "SPOT");
    EXPECT_DOUBLE_EQ(ink.frequency, i < 4 ? 150.0 : 133.5);
    EXPECT_DOUBLE_EQ(ink.angle, angles[i]);
  }

  // The namespace counts, not the prefix the packet picked; an empty group
  // is no group, and items that name no ink are skipped.
  std::string other = Packet(
      "<ink:Inks xmlns:ink='http://ns.dravout.example/inks/1.0/'><rdf:Seq>"
      "<rdf:li>not a struct</rdf:li>"
      "<rdf:li rdf:parseType='Resource'><ink:group>G</ink:group></rdf:li>"
      "<rdf:li rdf:parseType='Resource'><ink:name>Varnish</ink:name><ink:group></ink:group>"
      "<ink:cadName>V</ink:cadName><ink:frequency>60</ink:frequency><ink:angle>-30</ink:angle>"
      "</rdf:li></rdf:Seq></ink:Inks>");
  const auto varnish = Inks(other);
  ASSERT_EQ(varnish.size(), 1u);
  EXPECT_EQ(varnish[0].name, "Varnish");
  EXPECT_EQ(varnish[0].group, "none");
  EXPECT_EQ(varnish[0].cad_name, "V");
  EXPECT_DOUBLE_EQ(varnish[0].frequency, 60.0);
  EXPECT_DOUBLE_EQ(varnish[0].angle, -30.0);
  EXPECT_EQ(varnish[0].type, "");
}

TEST(XmpInks, SourcesWinInOrderOwnSwatchesPlates) {
  const std::string own = OwnInks(OwnInk("Gold", "Metallic", "Au", "120", "30"));
  const std::string swatches = SwatchGroups(
      SwatchGroup("Default Swatch Group", Swatch("Cyan", "PROCESS") + Swatch("Pantone 123", "SPOT")) +
      SwatchGroup("Brand", Swatch("Brand Red", "SPOT") + "<rdf:li>odd</rdf:li>") +
      SwatchGroup("", Swatch("Loose", "SPOT")));
  const std::string plates = PlateNames("<rdf:li>Black</rdf:li><rdf:li></rdf:li><rdf:li>Silver</rdf:li>");

  auto inks = Inks(Packet(plates + swatches + own));
  ASSERT_EQ(inks.size(), 1u);
  EXPECT_EQ(inks[0].name, "Gold");
  EXPECT_EQ(inks[0].group, "Metallic");

  inks = Inks(Packet(plates + swatches));
  ASSERT_EQ(inks.size(), 4u);
  EXPECT_EQ(inks[0].name, "Cyan");
  EXPECT_EQ(inks[0].group, "none");  // the default swatch group is no group
  EXPECT_EQ(inks[0].type, "PROCESS");
  EXPECT_EQ(inks[1].name, "Pantone 123");
  EXPECT_EQ(inks[1].group, "none");
  EXPECT_EQ(inks[2].name, "Brand Red");
  EXPECT_EQ(inks[2].group, "Brand");
  EXPECT_EQ(inks[2].type, "SPOT");
  EXPECT_EQ(inks[3].name, "Loose");
  EXPECT_EQ(inks[3].group, "none");  // empty group name
  for (const XMPlInk& ink : inks) {
    EXPECT_EQ(ink.cad_name, "");
    EXPECT_EQ(ink.frequency, 0.0);
    EXPECT_EQ(ink.angle, 0.0);
  }

  inks = Inks(Packet(plates));
  ASSERT_EQ(inks.size(), 2u);  // the empty plate name is skipped
  EXPECT_EQ(inks[0].name, "Black");
  EXPECT_EQ(inks[1].name, "Silver");
  for (const XMPlInk& ink : inks) {
    EXPECT_EQ(ink.group, "none");
    EXPECT_EQ(ink.type, "");
    EXPECT_EQ(ink.cad_name, "");
  }

  // A source that gives no ink gives way to the next one.
  inks = Inks(Packet(OwnInks("") + plates));
  ASSERT_EQ(inks.size(), 2u);
  EXPECT_EQ(inks[0].name, "Black");
  // A bare rdf:RDF element (no x:xmpmeta around it, with or without a byte
  // order mark and XML declaration) is read too.
  const std::string bare = std::string("<rdf:RDF xmlns:rdf='") + kRdf +
                           "'><rdf:Description rdf:about=''"
                           " xmlns:xmpTPg='http://ns.adobe.com/xap/1.0/t/pg/'>" +
                           plates + "</rdf:Description></rdf:RDF>";
  for (const std::string& packet :
       {bare, "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n" + bare,
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" + bare + "<?xpacket end='r'?>"}) {
    inks = Inks(packet);
    ASSERT_EQ(inks.size(), 2u) << packet;
    EXPECT_EQ(inks[1].name, "Silver");
  }
  // A packet without inks is accepted and gives none.
  EXPECT_TRUE(Inks(Packet("<dc:format xmlns:dc='http://purl.org/dc/elements/1.1/'>x</dc:format>"))
                  .empty());
}

TEST(XmpInks, RefusedPacketGivesNoInks) {
  const std::string good = Packet(PlateNames("<rdf:li>Black</rdf:li>"));
  std::string with_nul = good;
  with_nul.insert(with_nul.find("Black"), 1, '\0');
  const std::string refused[] = {
      "",
      "plain text, no XML",
      "<a><b></a>",
      good.substr(0, good.size() / 2),  // cut short
      with_nul,
      "<?xml version='1.0'?><!DOCTYPE x [<!ENTITY e 'eeee'>]>" + Packet("<dc:f xmlns:dc='d:'>&e;</dc:f>"),
      Packet("<xmpTPg:PlateNames><rdf:Seq><rdf:li>A</rdf:Seq></xmpTPg:PlateNames>"),
  };
  XMPlib xmp;
  for (const std::string& packet : refused) {
    // An accepted packet first: a refused one must drop it.
    ASSERT_TRUE(xmp.SetXML(good)) << xmp.LastError();
    EXPECT_FALSE(xmp.SetXML(packet)) << packet;
    EXPECT_NE(xmp.LastError(), "") << packet;
    std::vector<XMPlInk> inks;
    EXPECT_EQ(xmp.GetInks(inks), 0) << packet;
    EXPECT_TRUE(inks.empty()) << packet;
  }
  // No SetXML at all: nothing.
  XMPlib fresh;
  std::vector<XMPlInk> inks;
  EXPECT_EQ(fresh.GetInks(inks), 0);
  EXPECT_TRUE(inks.empty());
  EXPECT_EQ(fresh.ErrStr(), "");
}

TEST(XmpInks, HugeAndDeepPacketsDoNotCrash) {
  XMPlib xmp;
  std::vector<XMPlInk> inks;

  // Far deeper than any packet: refused before Exempi's recursive parser sees it.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  EXPECT_FALSE(xmp.SetXML(Packet(deep)));
  EXPECT_NE(xmp.LastError().find("nests deeper"), std::string::npos) << xmp.LastError();
  EXPECT_EQ(xmp.GetInks(inks), 0);

  // Nested RDF structs exactly at the limit (x:xmpmeta, rdf:RDF and
  // rdf:Description are three levels, the leaf one) are parsed and hold no
  // inks; one level more is refused.
  const auto structs = [](int levels) {
    std::string body;
    for (int i = 0; i < levels; ++i) body += "<dravInk:s rdf:parseType='Resource'>";
    body += "<dravInk:leaf>x</dravInk:leaf>";
    for (int i = 0; i < levels; ++i) body += "</dravInk:s>";
    return Packet(body);
  };
  EXPECT_TRUE(xmp.SetXML(structs(XMPlib::kMaxNesting - 4))) << xmp.LastError();
  EXPECT_EQ(xmp.GetInks(inks), 0);
  EXPECT_FALSE(xmp.SetXML(structs(XMPlib::kMaxNesting - 3)));

  // Larger than the limit: refused without parsing.
  std::string huge = Packet(std::string(XMPlib::kMaxPacketBytes, ' '));
  EXPECT_FALSE(xmp.SetXML(huge));
  EXPECT_NE(xmp.LastError().find("larger"), std::string::npos) << xmp.LastError();

  // Many inks, under the limit: all read, in order.
  std::string items;
  for (int i = 0; i < 5000; ++i) {
    items += OwnInk("Ink " + std::to_string(i), "", std::to_string(i), "100", "0");
  }
  ASSERT_TRUE(xmp.SetXML(Packet(OwnInks(items)))) << xmp.LastError();
  ASSERT_EQ(xmp.GetInks(inks), 5000);
  EXPECT_EQ(inks.front().name, "Ink 0");
  EXPECT_EQ(inks.back().name, "Ink 4999");
  EXPECT_EQ(inks.back().cad_name, "4999");
}

TEST(XmpInks, NumbersReadWithDecimalPointUnderCommaLocale) {
  locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (comma == static_cast<locale_t>(0)) GTEST_SKIP() << "locale de_DE.UTF-8 is missing";
  const locale_t previous = uselocale(comma);
  ASSERT_STREQ(localeconv()->decimal_point, ",");

  const auto inks = Inks(Packet(OwnInks(OwnInk("A", "", "", "133.5", " -22.5 ") +
                                         OwnInk("B", "", "", "12,5", "x"))));
  EXPECT_EQ(uselocale(previous), comma);  // the thread's locale was left alone
  freelocale(comma);

  ASSERT_EQ(inks.size(), 2u);
  EXPECT_DOUBLE_EQ(inks[0].frequency, 133.5);
  EXPECT_DOUBLE_EQ(inks[0].angle, -22.5);
  EXPECT_EQ(inks[1].frequency, 0.0);  // a comma is no decimal point here
  EXPECT_EQ(inks[1].angle, 0.0);
}

}  // namespace
