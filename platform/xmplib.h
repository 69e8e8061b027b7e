// xmplib.h - the XMP library (libdravxmp.so): reads the inks of a page's XMP
// packet through Exempi.
//
// Use, once per page:
//
//   XMPlib xmp;
//   if (!xmp.ErrStr().empty()) { /* library not ready: no inks */ }
//   else if (xmp.SetXML(packet)) xmp.GetInks(inks);   // appends, packet order
//
// Where the inks come from (first source that gives at least one ink wins):
// our own array dravInk:Inks (namespace kInkNamespace), else the swatch groups
// of xmpTPg:SwatchGroups, else the plate names of xmpTPg:PlateNames.
// docs/xmp-inks.md describes the properties and gives an example packet.
//
// One XMPlib object is used by one thread at a time. Nothing in the process
// locale matters: numbers in the packet are always read with a decimal point.
#ifndef XMPLIB_H
#define XMPLIB_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#define XMPLIB_API __attribute__((visibility("default")))

// One ink of the packet. Ink number n is the n-th ink GetInks delivers.
struct XMPlInk {
  std::string name;      // ink name, as the packet gives it (not trimmed)
  std::string type;      // ink type as the packet gives it (e.g. "PROCESS",
                         // "SPOT"); empty when the packet gives none
  std::string group;     // group name; "none" when the ink belongs to no group
  std::string cad_name;  // names the ink in its CAD cutting tag
                         // ("_KVT_CAD_<cad_name>"); empty when the packet
                         // names no CAD ink
  double frequency = 0.0;  // screen frequency, lines per inch; 0 when absent
                           // or not a number
  double angle = 0.0;      // screen angle, degrees; 0 when absent or not a number
};

class XMPLIB_API XMPlib {
 public:
  // Our namespace for the inks, and the prefix we ask Exempi to use for it.
  static constexpr const char* kInkNamespace = "http://ns.dravout.example/inks/1.0/";
  static constexpr const char* kInkPrefix = "dravInk";
  // Packets larger than this are refused without parsing.
  static constexpr std::size_t kMaxPacketBytes = std::size_t{16} << 20;
  // Packets whose XML elements nest deeper than this are refused without
  // parsing (Exempi's parser recurses once per level).
  static constexpr int kMaxNesting = 256;

  XMPlib();
  ~XMPlib();
  XMPlib(const XMPlib&) = delete;
  XMPlib& operator=(const XMPlib&) = delete;

  // Empty when the library is ready; otherwise why it is not (Exempi could
  // not start). Then SetXML always returns false.
  const std::string& ErrStr() const noexcept;
  // Parses the packet (UTF-8 XMP; the <?xpacket?> wrapper and the x:xmpmeta
  // element are optional); true when it was accepted. A refused packet
  // (empty, too large, too deeply nested, NUL bytes, not XMP) drops any
  // earlier packet: GetInks then appends nothing. Never throws.
  bool SetXML(const std::string& packet);
  // Appends the inks of the accepted packet, in packet order; returns their
  // number (0 when no packet was accepted). On failure appends nothing and
  // returns 0. Never throws.
  int GetInks(std::vector<XMPlInk>& inks);
  // Why the last SetXML or GetInks failed; empty after a success.
  const std::string& LastError() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif  // XMPLIB_H
