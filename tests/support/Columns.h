#pragma once
// A class's answer as rows of the named properties, for comparing with a table.
#include <algorithm>
#include <vector>

#include "instrumentation/ClassSource.h"

namespace brv::test {

using Rows = std::vector<std::vector<Variant>>;

// The named properties of every instance (null when absent), address lists
// sorted: the files list addresses in numeric order, the kernel in the order
// they were configured.
inline Rows Columns(const ClassAnswer& answer, const std::vector<const char*>& names) {
  Rows rows;
  for (const Instance& instance : answer.instances) {
    auto& row = rows.emplace_back();
    for (const char* name : names) {
      const Property* p = instance.Find(name);
      Variant value = p ? p->value : Variant();
      if (const auto* list = value.get_if<Variant::Array>()) {
        Variant::Array sorted = *list;
        std::sort(sorted.begin(), sorted.end(), [](auto& x, auto& y) { return TextOf(x) < TextOf(y); });
        value = Variant(std::move(sorted));
      }
      row.push_back(std::move(value));
    }
  }
  return rows;
}

}  // namespace brv::test
