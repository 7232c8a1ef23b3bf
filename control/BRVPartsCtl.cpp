#include "control/BRVPartsCtl.h"

#include "control/Module1.h"
#include "control/ModuleState.h"
#include "platform/MessageBox.h"
#include "table/CategoryLabels.h"
#include "table/CategoryView.h"
#include "table/Layout.h"

namespace brv {

int32_t InitComputerName() {
  Module().ComputerName = ".";
  return 1;
}

BRVPartsCtl::BRVPartsCtl(std::unique_ptr<Grid> grid) : grid_(grid ? std::move(grid) : CreateDesignedGrid()) {
  try {
    UserControl_Initialize();
  } catch (const Error& e) {
    startupError_ = e;
  }
}

void BRVPartsCtl::UserControl_Initialize() {
  ModuleState& m = Module();
  if (CreateResourceProvider()) {
    int32_t number = 211;
    m.EmptyText = GetLocalMessage(number);
  } else {
    m.EmptyText = "<Empty>";
  }
  if (ToInt16(Variant(InitComputerName())) != 0) {
    InitGridLayout(*grid_);
    SetGridHeader(*grid_);
    SetRowColors(*grid_);
    BuildCategoryLabels();
    return;
  }
  const LocalTexts texts;
  const std::string prompt = texts(101, "Computer Name was not found from registry.");
  const std::string title = texts(103, "Parts Information - Error");
  MsgBox(prompt, 0, title);
}

int16_t BRVPartsCtl::SetSelectItem(std::string& optionStr, Variant& nIndex) {
  grid_->SetRedraw(1);
  ShowCategory(*grid_, optionStr, nIndex);
  // The count this very call's collector stored; "Display" keeps none.
  const std::optional<Category> category = CategoryNamed(optionStr);
  if (!category || *category == Category::Display) return 0;
  return Module().CategoryCount[IndexOf(*category)];
}

int32_t BRVPartsCtl::IObjectSafety_GetInterfaceSafetyOptions(const void*, uint32_t&, uint32_t&) {
  return static_cast<int32_t>(0x80004002u);
}

int32_t BRVPartsCtl::IObjectSafety_SetInterfaceSafetyOptions(const void*, uint32_t, uint32_t) {
  return static_cast<int32_t>(0x80004002u);
}

Variant BRVPartsCtl::Call(std::string_view method, std::vector<Variant>& args) {
  if (method == "SetSelectItem") {
    if (args.size() != 2) Raise(err::kInvalidCall, "SetSelectItem takes a category name and an instance number");
    if (!args[0].IsText()) Raise(err::kTypeMismatch, "the category name must be a text");
    std::string optionStr = args[0].get<std::string>();
    return SetSelectItem(optionStr, args[1]);
  }
  Raise(err::kNoSuchMember, std::string(method));
}

}  // namespace brv
