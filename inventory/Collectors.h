#pragma once
// One collector per category. Each queries the instrumentation, traps every
// failure of its own (showing the failure box), stores its count and returns the
// category's table.
#include "inventory/ValueTable.h"

namespace brv {

ValueTable GetCPUInfo();

}  // namespace brv
