// "Battery Pack": one row per battery pack; the design capacity is shown as the source reports it.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetBatteryInfo() {
  return frame::Run({Category::BatteryPack,
                     ClassName(InstrumentationClass::PortableBattery),
                     3,
                     {{"PortableBatterySerialNumber", 1}, {"PortableBatteryDesignCapacity", 2, true}}});
}

}  // namespace brv
