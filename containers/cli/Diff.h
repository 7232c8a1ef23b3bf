#pragma once
// `brvparts diff OLD NEW`: what changed in a machine between two inventories,
// each a snapshot file or "-" for this machine now, both drawn by the control
// and compared in its terms.
#include <string>

#include "containers/common/GridText.h"

namespace brv::cli {

struct DiffRequest {
  std::string oldSide, newSide;  // a snapshot file, or "-"
  std::string sysroot;           // the tree "-" reads instead of /, when given
  bool json = false;             // one JSON document instead of lines
  bool all = false;              // facts that change by themselves count too
  TextLook look;
};

// Prints the changes and answers as diff(1) does: 0 when no part changed, 1
// when one did, 2 for trouble (a file that cannot be read, a category or fact
// that could not be read on either side; what could be read is still shown).
int RunDiff(const DiffRequest& request);

}  // namespace brv::cli
