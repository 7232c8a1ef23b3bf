#pragma once
// Capturing an inventory: every class the collectors read, queried from a source
// into a snapshot that answers the same on any machine.
#include <string>
#include <vector>

#include "instrumentation/ClassSource.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace brv {

// The classes the collectors read, in capture order.
const std::vector<std::string>& CollectorClassNames();

// Queries each of those classes (failures are kept as the class's error),
// records the key properties of the classes that have one, and where and when
// the source's answers were taken.
Snapshot CaptureSnapshot(const ClassSource& source);

}  // namespace brv
