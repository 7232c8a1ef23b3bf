#pragma once
// The one choice a container makes about the instrumentation: a captured
// inventory (a snapshot file), a captured tree standing in for /, or this machine.
#include <ostream>
#include <string>

namespace brv {

// Makes the choice for the whole process. A snapshot that cannot be read or a
// tree that is not a folder is reported on `err` in one line ("brvparts: ...")
// and answers false; nothing is chosen then.
bool ChooseClassSource(const std::string& snapshot, const std::string& sysroot, std::ostream& err);

}  // namespace brv
