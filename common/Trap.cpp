#include "common/Trap.h"

namespace brv {

PendingError& ThreadError() {
  thread_local PendingError state;
  return state;
}

}  // namespace brv
