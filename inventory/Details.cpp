#include "inventory/Details.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "common/Text.h"
#include "common/Trap.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"
#include "module/ModuleState.h"

namespace brv {
namespace {

using Objects = std::vector<std::unique_ptr<wmi::Object>>;

// Every instance of a class, in the service's order, at most as many as the
// control can number; none when the class cannot be queried.
Objects AllOf(InstrumentationClass cls) {
  Objects out;
  try {
    auto services = wmi::BindServices(frame::Moniker());
    auto answer = services->ExecQuery("select * from " + std::string(ClassName(cls)));
    auto enumerator = answer->Enumerate();
    while (out.size() < static_cast<size_t>(frame::kMaxInstances)) {
      auto next = enumerator->Next();
      if (!next) break;
      out.push_back(std::move(next));
    }
  } catch (...) {
    // A class the machine does not answer has no details to give.
  }
  return out;
}

Variant Get(const wmi::Object* object, std::string_view property) {
  if (!object || property.empty()) return {};
  try {
    Variant v = object->Get(property);
    return v.IsNull() ? Variant() : v;
  } catch (...) {
    return {};
  }
}

}  // namespace

std::vector<std::vector<PartDetail>> ReadDetails(Category category, int32_t instances) {
  const CategoryInfo& info = CatalogueOf(category);
  std::vector<std::vector<PartDetail>> parts(static_cast<size_t>(std::max(instances, 0)));
  if (info.details.empty() || parts.empty()) return parts;
  // A pending error of the control's run stays what it was.
  const PendingError saved = ThreadError();

  std::map<InstrumentationClass, Objects> classes;
  for (const Detail& d : info.details) {
    if (!classes.count(d.source)) classes.emplace(d.source, AllOf(d.source));
  }
  // The category's own instances as the grid numbers them: the network adapters
  // it shows are those its filter keeps.
  std::vector<const wmi::Object*> own;
  if (const auto it = classes.find(info.source); it != classes.end()) {
    for (const auto& object : it->second) {
      if (category != Category::NetworkAdapter || ShownAdapter(object.get())) own.push_back(object.get());
    }
  }
  const auto at = [](const Objects& list, size_t i) -> const wmi::Object* {
    return i < list.size() ? list[i].get() : nullptr;
  };

  for (size_t i = 0; i < parts.size(); ++i) {
    for (const Detail& d : info.details) {
      const wmi::Object* object = nullptr;
      std::unique_ptr<wmi::Object> bound;
      if (d.source == info.source) {
        object = i < own.size() ? own[i] : nullptr;
      } else if (d.source == InstrumentationClass::NetworkAdapterConfiguration) {
        // An adapter's configuration is the one with the adapter's index.
        const Variant index = Get(i < own.size() ? own[i] : nullptr, "Index");
        if (index.IsInteger()) {
          for (const auto& candidate : classes[d.source]) {
            const Variant other = Get(candidate.get(), "Index");
            if (other.IsInteger() && TextOf(other) == TextOf(index)) {
              object = candidate.get();
              break;
            }
          }
        }
      } else {
        object = at(classes[d.source], i);
      }
      PartDetail part{&d, Get(object, d.property), Get(object, d.second)};
      if (d.shown == DetailShown::OfTotal) {
        // The slots of every array, and the modules installed in them.
        int64_t slots = 0;
        bool known = false;
        for (const auto& array : classes[d.source]) {
          const Variant v = Get(array.get(), d.property);
          if (v.IsInteger()) {
            slots += ParseInteger<int64_t>(TextOf(v)).value_or(0);
            known = true;
          }
        }
        part.value = known ? Variant(slots) : Variant();
        part.second = static_cast<int64_t>(classes[InstrumentationClass::PhysicalMemory].size());
      }
      parts[i].push_back(std::move(part));
    }
  }
  ThreadError() = saved;
  return parts;
}

}  // namespace brv
