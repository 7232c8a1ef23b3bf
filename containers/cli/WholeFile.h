#pragma once
// Writing a file whole or not at all, as `capture` writes a snapshot.
#include <stdexcept>
#include <string>
#include <string_view>

namespace brv {

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
