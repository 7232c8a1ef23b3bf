#pragma once
// The state the whole library shares. There is one copy per thread: every control
// created on a thread shares it, controls on different threads never do, so
// nothing here needs a lock.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Category.h"
#include "module/ValueTable.h"
#include "platform/Automation.h"

namespace brv {

using CaptionList = std::vector<std::string>;

struct ModuleState {
  // The machine whose instrumentation is queried; "." is the local one.
  std::string ComputerName;
  // Shown for a value that is null or cannot be read.
  std::string EmptyText;
  // Row captions of every category, built at start-up; absent until then.
  std::array<std::optional<CaptionList>, kCategoryCount> CategoryLabels;
  // Instance count of each category, as its collector last stored it.
  std::array<int16_t, kCategoryCount> CategoryCount{};
  // The table and captions shown last.
  ValueTable CurrentValues;
  std::optional<CaptionList> CurrentLabels;
  // The localized-string provider created last, if any.
  std::shared_ptr<AutomationObject> ResourceProvider;
};

// This thread's copy.
ModuleState& Module();

}  // namespace brv
