// Any bytes as a snapshot file: either a snapshot or a one-line refusal, and what
// is read can be written and read again.
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
    if (std::string(e.what()).find('\n') != std::string::npos) __builtin_trap();
  }
  return 0;
}
