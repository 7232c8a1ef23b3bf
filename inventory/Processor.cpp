// "CPU": one row per processor package.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetCPUInfo() {
  return frame::Run(
      {Category::CPU,
       ClassName(InstrumentationClass::Processor),
       6,
       {{"Manufacturer", 1}, {"Name", 2}, {"MaxClockSpeed", 4}, {"SocketDesignation", 5}, {"Version", 3, true}}});
}

}  // namespace brv
