// The collectors that follow the standard run: each is its category's entry
// in the catalogue, run as declared.
#include "inventory/Catalogue.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetCPUInfo() { return frame::Run(CatalogueOf(Category::CPU)); }
ValueTable GetMemoryInfo() { return frame::Run(CatalogueOf(Category::Memory)); }
ValueTable GetCDDVDInfo() { return frame::Run(CatalogueOf(Category::CDDVD)); }
ValueTable GetModemInfo() { return frame::Run(CatalogueOf(Category::Modem)); }
ValueTable GetBluetoothInfo() { return frame::Run(CatalogueOf(Category::Bluetooth)); }
ValueTable GetBatteryInfo() { return frame::Run(CatalogueOf(Category::BatteryPack)); }
ValueTable GetDockingInfo() { return frame::Run(CatalogueOf(Category::DockingStation)); }
ValueTable GetExternalMonitorInfo() { return frame::Run(CatalogueOf(Category::ExternalMonitor)); }

}  // namespace brv
