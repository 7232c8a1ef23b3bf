#pragma once
// One collector per category. Each queries the instrumentation, traps every
// failure of its own (showing the failure box), stores its count and returns the
// category's table.
#include <cstdint>

#include "common/Variant.h"
#include "module/ValueTable.h"
#include "platform/Instrumentation.h"

namespace brv {

ValueTable GetCPUInfo();
ValueTable GetMemoryInfo();
ValueTable GetDisplayInfo();
ValueTable GetHDDInfo();
ValueTable GetCDDVDInfo();
ValueTable GetModemInfo();
ValueTable GetBluetoothInfo();
ValueTable GetBatteryInfo();
ValueTable GetDockingInfo();
ValueTable GetNetworkInfo();
ValueTable GetExternalMonitorInfo();

// The first IP address of the network adapter whose configuration has this index:
// its text, EmptyText when the adapter has none, or "" when it cannot be read.
Variant GetIPAddress(int32_t index);

// Whether the network adapter is one the category shows (a MAC address, a maker
// other than "Microsoft"). Leaves any failure of its reads pending.
bool ShownAdapter(const wmi::Object* adapter);

}  // namespace brv
