// xmplib.h - the XMP library: reads the inks of a page's XMP packet.
#ifndef XMPLIB_H
#define XMPLIB_H

#include <memory>
#include <string>
#include <vector>

#define XMPLIB_API __attribute__((visibility("default")))

// One ink of the packet.
struct XMPlInk {
  std::string name;      // ink name
  std::string type;      // ink type as the packet gives it
  std::string group;     // group name; "none" when the ink belongs to no group
  std::string cad_name;  // names the ink in its CAD cutting tag
  double frequency = 0.0;  // screen frequency, lines per inch
  double angle = 0.0;      // screen angle, degrees
};

class XMPLIB_API XMPlib {
 public:
  XMPlib();
  ~XMPlib();
  XMPlib(const XMPlib&) = delete;
  XMPlib& operator=(const XMPlib&) = delete;

  // Empty when the library is ready; otherwise why it is not.
  const std::string& ErrStr() const noexcept;
  // Parses the packet; true when it was accepted.
  bool SetXML(const std::string& packet);
  // Appends the inks of the accepted packet, in packet order; returns their number.
  int GetInks(std::vector<XMPlInk>& inks);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif  // XMPLIB_H
