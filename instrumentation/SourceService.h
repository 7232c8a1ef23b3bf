#pragma once
// The instrumentation operations answered from the process's class source: what
// the platform binds to on Linux, and on any platform when a snapshot is opened.
#include <memory>
#include <string>

#include "platform/Instrumentation.h"

namespace brv::wmi {

std::unique_ptr<Services> BindSourceServices(const std::string& moniker);
std::unique_ptr<Object> BindSourceObject(const std::string& moniker);

}  // namespace brv::wmi
