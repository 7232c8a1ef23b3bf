// "Memory": one row per memory device.
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"

namespace brv {

ValueTable GetMemoryInfo() {
  return frame::Run(
      {Category::Memory, ClassName(InstrumentationClass::MemoryDevice), 3, {{"Index", 1}, {"Size", 2, true}}});
}

}  // namespace brv
