#pragma once
// The classes registered in this process by programmatic name. Each platform's
// CreateObject looks here first; on Linux that is all there is, on Windows a
// name not found here goes to the system's object registry.
#include <map>
#include <memory>
#include <string>

#include "platform/Automation.h"

namespace brv {

// The factory registered for a name; empty when there is none.
ObjectFactory RegisteredClass(const std::string& progId);

// Runs a factory; any failure, or no object, is reported as 429.
std::shared_ptr<AutomationObject> MakeObject(const ObjectFactory& factory, const std::string& progId);

// Filled once by the platform, before the first look-up: the classes installed
// with the program.
void AddInstalledClasses(std::map<std::string, ObjectFactory>& classes);

}  // namespace brv
