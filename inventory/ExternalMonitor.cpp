// "External Monitor": one row per external monitor.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetExternalMonitorInfo() {
  return frame::Run({Category::ExternalMonitor,
                     ClassName(InstrumentationClass::ExternalMonitor),
                     4,
                     {{"Manufacturer", 1}, {"Model", 2}, {"SerialNO", 3, true}}});
}

}  // namespace brv
