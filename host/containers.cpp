// containers.cpp - building the descriptions the plug-in reads.
#include "containers.h"

#include "option_value.h"

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
  return dict;
}

// The separation description: one separation, no screens.
CStringKeyDict separation_description(const Separation& separation) {
  CStringKeyDict entry;
  entry["name"] = separation.name;
  entry["colorinfo"] = CUnivType::List{};
  entry["screenidx"] = CUnivType::List{};
  CStringKeyDict dict;
  dict["screens"] = CUnivType::List{};
  dict["separations"] = CUnivType::List{CUnivType(entry)};
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

// Makes the container.
ContainerGuard::ContainerGuard(CDictContainerFactory& factory, const CStringKeyDict& dict, const char* name,
                               MessageSink& sink)
    : factory_(factory), container_(factory.NewDictContainer(dict, name)), sink_(sink) {}

// Deletes the container; a refusal by the factory is reported, not thrown.
ContainerGuard::~ContainerGuard() {
  try {
    factory_.DeleteDictContainer(container_);
  } catch (const CUnivBaseException& error) {
    sink_.error("cannot delete a description: %s", error.GetMessage().c_str());
  }
}

}  // namespace riphost
