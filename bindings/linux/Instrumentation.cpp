// On Linux this system is the instrumentation service itself: every moniker is
// answered by the class source the container chose (the live machine or a snapshot).
#include "instrumentation/SourceService.h"

namespace brv::wmi {

std::unique_ptr<Services> BindServices(const std::string& moniker) { return BindSourceServices(moniker); }
std::unique_ptr<Object> BindObject(const std::string& moniker) { return BindSourceObject(moniker); }

}  // namespace brv::wmi
