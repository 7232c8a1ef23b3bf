// "Modem": one row per telephone-line modem.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetModemInfo() {
  return frame::Run(
      {Category::Modem,
       ClassName(InstrumentationClass::Modem),
       6,
       {{"AttachedTo", 1}, {"Caption", 2}, {"Description", 3}, {"DeviceID", 4}, {"DeviceType", 5, true}}});
}

}  // namespace brv
