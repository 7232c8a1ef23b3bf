#include "platform/automation/ClassTable.h"

#include <mutex>

#include "common/Error.h"

namespace brv {
namespace {

struct Table {
  std::mutex lock;
  std::map<std::string, ObjectFactory> factories;
};

Table& TheTable() {
  static Table* table = [] {
    auto* t = new Table;
    AddInstalledClasses(t->factories);
    return t;
  }();
  return *table;
}

}  // namespace

void RegisterClass(const std::string& progId, ObjectFactory factory) {
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  if (factory) {
    t.factories[progId] = std::move(factory);
  } else {
    t.factories.erase(progId);
  }
}

ObjectFactory RegisteredClass(const std::string& progId) {
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  auto it = t.factories.find(progId);
  return it == t.factories.end() ? ObjectFactory() : it->second;
}

std::shared_ptr<AutomationObject> MakeObject(const ObjectFactory& factory, const std::string& progId) {
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
