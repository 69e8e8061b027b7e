// containers.h - the job, page and separation descriptions handed to the
// plug-in, made through the host's container factory.
#ifndef RIPHOST_CONTAINERS_H
#define RIPHOST_CONTAINERS_H

#include <string>

#include "drav_dict.h"
#include "common/message.h"
#include "ticket/ticket.h"

namespace riphost {

// {"ppi": real, "bps": integer}
CStringKeyDict job_description(const Job& job);
// {"height", "width", "ncopies"}: integers; "XMPinfo": [packet text] when
// the page has an XMP packet
CStringKeyDict page_description(const Page& page);
// {"screens": [{"frequencyreq", "anglereq"}: reals, ...],
//  "separations": [{"name": text, "XMPinfo": text (when given),
//                   "colorinfo": [{"inkname", "groupname"}: texts, ...],
//                   "screenidx": [0, 1, ...: one index per screen]}]}
CStringKeyDict separation_description(const Separation& separation);

// One value of a dictionary as text, for messages: 2000, 1.5, "text",
// [3 values], {2 entries}.
std::string describe_value(const CUnivType& value);

// A container made by the factory and deleted through it when the guard ends.
class ContainerGuard {
 public:
  // The container holds dict (moved in, not copied). Throws
  // CUnivBaseException when the factory cannot make the container.
  ContainerGuard(CDictContainerFactory& factory, CStringKeyDict dict, const char* name, MessageSink& sink);
  ~ContainerGuard();
  ContainerGuard(const ContainerGuard&) = delete;
  ContainerGuard& operator=(const ContainerGuard&) = delete;

  CDictContainer* get() const noexcept { return container_; }

 private:
  CDictContainerFactory& factory_;
  CDictContainer* container_;
  MessageSink& sink_;
};

}  // namespace riphost

#endif  // RIPHOST_CONTAINERS_H
