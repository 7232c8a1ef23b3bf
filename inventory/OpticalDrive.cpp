// "CD,DVD": one row per optical drive; the drive's identifier is shown as its model.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetCDDVDInfo() {
  return frame::Run({Category::CDDVD,
                     ClassName(InstrumentationClass::CdromDrive),
                     4,
                     {{"DeviceID", 1}, {"SerialNO", 2}, {"FirmwareRevision", 3, true}}});
}

}  // namespace brv
