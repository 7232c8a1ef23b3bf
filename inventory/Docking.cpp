// "Docking Station": one row per docking station; its serial number is the docking reference number.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetDockingInfo() {
  return frame::Run({Category::DockingStation,
                     ClassName(InstrumentationClass::DockingStation),
                     3,
                     {{"status", 2, true}, {"SerialNO", 1}}});
}

}  // namespace brv
