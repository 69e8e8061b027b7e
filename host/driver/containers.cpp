// containers.cpp - building the descriptions the plug-in reads.
#include "driver/containers.h"

#include "ticket/option_value.h"

namespace riphost {

// The job description.
CStringKeyDict job_description(const Job& job) {
  CStringKeyDict dict;
  dict["ppi"] = job.ppi;
  dict["bps"] = job.bps;
  return dict;
}

// The page description.
CStringKeyDict page_description(const Page& page) {
  CStringKeyDict dict;
  dict["height"] = page.height;
  dict["width"] = page.width;
  dict["ncopies"] = page.ncopies;
  if (page.xmp) {
    // Built in place: a list made from braces would copy the packet twice.
    CUnivType::List packets;
    packets.emplace_back(*page.xmp);
    dict["XMPinfo"] = std::move(packets);
  }
  return dict;
}

// The separation description: one separation with its colours and the
// screens it asks for, each screen indexed once.
CStringKeyDict separation_description(const Separation& separation) {
  CUnivType::List colours;
  colours.reserve(separation.inks.size());
  for (const InkName& ink : separation.inks) {
    CStringKeyDict colour;
    colour["inkname"] = ink.ink;
    colour["groupname"] = ink.group;
    colours.emplace_back(colour);
  }
  CUnivType::List screens;
  CUnivType::List indexes;
  screens.reserve(separation.requested_screens.size());
  indexes.reserve(separation.requested_screens.size());
  for (const RequestedScreen& requested : separation.requested_screens) {
    CStringKeyDict screen;
    screen["frequencyreq"] = requested.frequency;
    screen["anglereq"] = requested.angle;
    indexes.emplace_back(static_cast<int>(screens.size()));
    screens.emplace_back(screen);
  }
  // The one separation's entry is built where it stays, so that its XMP
  // packet is copied once.
  CUnivType::List separations;
  separations.emplace_back(CStringKeyDict());
  CStringKeyDict& entry = separations.back().AsDict();
  entry["name"] = separation.name;
  if (separation.xmp) entry["XMPinfo"] = *separation.xmp;
  entry["colorinfo"] = std::move(colours);
  entry["screenidx"] = std::move(indexes);
  CStringKeyDict dict;
  dict["screens"] = std::move(screens);
  dict["separations"] = std::move(separations);
  return dict;
}

// Describes a value for the device description's listing.
std::string describe_value(const CUnivType& value) {
  switch (value.GetKind()) {
    case CUnivType::Kind::Integer: return std::to_string(value.AsInt());
    case CUnivType::Kind::Real: return format_real(value.AsReal());
    case CUnivType::Kind::Text: return "\"" + value.AsText() + "\"";
    case CUnivType::Kind::List: return std::string("[") + std::to_string(value.AsList().size()) + " values]";
    case CUnivType::Kind::Dict: return std::string("{") + std::to_string(value.AsDict().Size()) + " entries}";
    default: return "(undefined)";
  }
}

// Makes an empty container and moves the description into it: the factory
// copies what it is given, and a description may hold a large XMP packet.
ContainerGuard::ContainerGuard(CDictContainerFactory& factory, CStringKeyDict dict, const char* name,
                               MessageSink& sink)
    : factory_(factory), container_(factory.NewDictContainer(CStringKeyDict(), name)), sink_(sink) {
  if (container_) container_->GetDict() = std::move(dict);
}

// Deletes the container; a refusal by the factory is reported, not thrown.
ContainerGuard::~ContainerGuard() {
  try {
    factory_.DeleteDictContainer(container_);
  } catch (const CUnivBaseException& error) {
    sink_.error("cannot delete a description: %s", error.GetMessage().c_str());
  }
}

}  // namespace riphost
