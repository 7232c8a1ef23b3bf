#include "module/ModuleState.h"

namespace brv {

ModuleState& Module() {
  thread_local ModuleState state;
  return state;
}

}  // namespace brv
