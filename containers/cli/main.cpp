#include <unistd.h>

#include <iostream>

#include "control/BRVPartsCtl.h"
#include "platform/standins/grid/GridText.h"

int main() {
  brv::BRVPartsCtl control;
  if (control.startupError()) {
    std::cerr << "brvparts: start-up failed: " << control.startupError()->description() << '\n';
    return 1;
  }
  std::cout << brv::RenderGridText(control.MSHFlexGrid1().State(), isatty(STDOUT_FILENO) != 0);
  return 0;
}
