#include "containers/common/SourceChoice.h"

#include <filesystem>
#include <memory>

#include "instrumentation/LiveMachine.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace brv {

bool ChooseClassSource(const std::string& snapshot, const std::string& sysroot, std::ostream& err) {
  if (!snapshot.empty()) {
    try {
      UseClassSource(SnapshotSource::FromFile(snapshot));
      return true;
    } catch (const SnapshotError& e) {
      err << "brvparts: " << e.what() << "\n";
      return false;
    }
  }
  std::error_code ec;
  if (!sysroot.empty() && !std::filesystem::is_directory(sysroot, ec)) {
    err << "brvparts: " << sysroot << ": not a folder\n";
    return false;
  }
  UseClassSource(OpenLiveMachine(sysroot.empty() ? "/" : sysroot));
  return true;
}

}  // namespace brv
