#pragma once
// Capturing an inventory: every class the collectors read, queried from a source
// into a snapshot that answers the same on any machine.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "instrumentation/ClassSource.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace brv {

// The classes the collectors read, in capture order.
const std::vector<std::string>& CollectorClassNames();

// Queries each of those classes (failures are kept as the class's error) and
// records the key properties of the classes that have one.
Snapshot CaptureSnapshot(const ClassSource& source);

// A capture that could not be written: the message names the file and why, on
// one line.
class CaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes `text` as the file `path`, whole or not at all. It goes to a new file
// in the same folder, created exclusively and never through a link, readable by
// its owner alone (a snapshot holds serial numbers and addresses); that file is
// synced, renamed over `path`, and the folder synced. A `path` that exists and
// is not a regular file (a symbolic link, a folder, a device, a pipe) is refused,
// so that nothing is written through it or in its place. On CaptureError `path`
// is as it was.
void WriteFileWhole(const std::string& path, std::string_view text);

}  // namespace brv
