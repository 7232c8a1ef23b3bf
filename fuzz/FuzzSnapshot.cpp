// Any bytes as a snapshot file: either a snapshot or a short one-line refusal
// free of control characters, and what is read can be written and read again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "instrumentation/snapshot/Snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const brv::Snapshot s = brv::ParseSnapshot(text, "fuzz");
    brv::ParseSnapshot(brv::WriteSnapshot(s), "again");
  } catch (const brv::SnapshotError& e) {
    // One short line, whatever the file holds: no control character from it.
    const std::string what = e.what();
    if (what.size() > 1024) __builtin_trap();
    for (const char c : what) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
    }
  }
  return 0;
}
