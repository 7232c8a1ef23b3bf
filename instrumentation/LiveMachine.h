#pragma once
// This machine's instrumentation as the containers open it, whatever the
// operating system: each system's live source implements it in its own folder.
#include <memory>
#include <string>

#include "instrumentation/ClassSource.h"

namespace brv {

// The classes answered from the running machine, read through `root` ("/" for
// this machine; a captured tree in its place where the system reads files).
std::shared_ptr<const ClassSource> OpenLiveMachine(const std::string& root);

}  // namespace brv
