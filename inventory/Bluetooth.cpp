// "Bluetooth": one row per Bluetooth device.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetBluetoothInfo() {
  return frame::Run({Category::Bluetooth,
                     ClassName(InstrumentationClass::Bluetooth),
                     5,
                     {{"Description", 1}, {"MACAddress", 2}, {"Manufacturer", 3}, {"Name", 4, true}}});
}

}  // namespace brv
