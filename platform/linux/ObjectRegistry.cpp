// Object creation by programmatic name on Linux: the classes of this process are
// all there is; the string provider is installed with the program.
#include "common/Error.h"
#include "platform/automation/ClassTable.h"
#include "platform/strings/Resources.h"

namespace brv {

void AddInstalledClasses(std::map<std::string, ObjectFactory>& classes) { classes[kResourcesProgId] = CreateResources; }

std::shared_ptr<AutomationObject> CreateObject(const std::string& progId) {
  const ObjectFactory factory = RegisteredClass(progId);
  if (!factory) Raise(err::kCannotCreateObject, "no class is registered as " + progId);
  return MakeObject(factory, progId);
}

}  // namespace brv
