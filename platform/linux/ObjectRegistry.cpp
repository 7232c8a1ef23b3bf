#include "platform/Automation.h"

#include <map>
#include <mutex>

#include "common/Error.h"
#include "platform/standins/resources/Resources.h"

namespace brv {
namespace {

struct Registry {
  Registry() = default;
  Registry(Registry&& other) : factories(std::move(other.factories)) {}
  std::mutex lock;
  std::map<std::string, ObjectFactory> factories;
};

// The classes installed with the program.
Registry& TheRegistry() {
  static Registry registry = [] {
    Registry r;
    r.factories[kResourcesProgId] = CreateResources;
    return r;
  }();
  return registry;
}

}  // namespace

void RegisterClass(const std::string& progId, ObjectFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  if (factory) {
    r.factories[progId] = std::move(factory);
  } else {
    r.factories.erase(progId);
  }
}

std::shared_ptr<AutomationObject> CreateObject(const std::string& progId) {
  ObjectFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.factories.find(progId);
    if (it != r.factories.end()) factory = it->second;
  }
  if (!factory) Raise(err::kCannotCreateObject, "no class is registered as " + progId);
  std::shared_ptr<AutomationObject> object;
  try {
    object = factory();
  } catch (const Error& e) {
    Raise(err::kCannotCreateObject, e.description());
  }
  if (!object) Raise(err::kCannotCreateObject, progId);
  return object;
}

}  // namespace brv
