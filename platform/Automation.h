#pragma once
// Late-bound objects created by programmatic name, the way the control reaches the
// string provider and a script reaches the control: methods are called by name
// with variant arguments passed by reference.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Variant.h"

namespace brv {

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // Calls a method by name. An unknown name raises 438; the object may change
  // the arguments (they are by reference).
  virtual Variant Call(std::string_view method, std::vector<Variant>& args) = 0;
};

using ObjectFactory = std::function<std::shared_ptr<AutomationObject>()>;

// The string provider's programmatic name, by which the control creates it.
inline constexpr const char* kResourcesProgId = "BRVPartsInf.clsResources";

// The classes this process knows by programmatic name. Registering a name again
// replaces its factory; an empty factory removes the name.
void RegisterClass(const std::string& progId, ObjectFactory factory);

// Creates an object by programmatic name. An unknown name, or a factory that
// fails, raises 429.
std::shared_ptr<AutomationObject> CreateObject(const std::string& progId);

}  // namespace brv
