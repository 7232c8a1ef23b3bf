#pragma once
// The control a container creates: it shows one category of the machine's
// hardware parts in a two-column grid. Creating it runs start-up; the container
// then drives it through SetSelectItem, directly or by name.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Category.h"
#include "common/Error.h"
#include "common/Variant.h"
#include "platform/Automation.h"
#include "platform/Grid.h"

namespace brv {

class BRVPartsCtl : public AutomationObject {
 public:
  // Sites the grid (the designed one when none is given) and runs start-up. An
  // error that leaves start-up does not stop the creation: it is kept in
  // startupError() for the container to report.
  explicit BRVPartsCtl(std::unique_ptr<Grid> grid = nullptr);

  // Shows instance nIndex (counted from 1) of the category and answers how many
  // instances it has. Raises the errors of the grid and the view.
  int16_t SetSelectItem(std::string& optionStr, Variant& nIndex);

  // For containers that draw a category whole, beside the design's interface:
  // draws instance `index` (counted from 1) of the table shown last without
  // querying again, raising as SetSelectItem does; and answers how many
  // instances the category just shown has to draw (for the display, which
  // keeps no count, 1, or 0 on a machine where nothing answered).
  void ShowInstance(int32_t index);
  int32_t Instances(Category category) const;

  // Scripting safety: what a host may do with the control through script.
  int32_t IObjectSafety_GetInterfaceSafetyOptions(const void* riid, uint32_t& pdwSupportedOptions,
                                                  uint32_t& pdwEnabledOptions);
  int32_t IObjectSafety_SetInterfaceSafetyOptions(const void* riid, uint32_t dwOptionsSetMask,
                                                  uint32_t dwEnabledOptions);

  // Calls a method by name, as a script does: "SetSelectItem" with the category
  // name and the instance number. Unknown names raise 438.
  Variant Call(std::string_view method, std::vector<Variant>& args) override;

  Grid& MSHFlexGrid1() { return *grid_; }
  const Grid& MSHFlexGrid1() const { return *grid_; }
  const std::optional<Error>& startupError() const { return startupError_; }

 private:
  void UserControl_Initialize();

  std::unique_ptr<Grid> grid_;
  std::optional<Error> startupError_;
};

// Sets ComputerName to "." and answers 1.
int32_t InitComputerName();

}  // namespace brv
