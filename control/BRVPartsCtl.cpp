#include "control/BRVPartsCtl.h"

#include "module/EnglishText.h"
#include "module/Module1.h"
#include "module/ModuleState.h"
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
    m.EmptyText = EnglishText(211);
  }
  if (ToInt16(Variant(InitComputerName())) != 0) {
    InitGridLayout(*grid_);
    SetGridHeader(*grid_);
    SetRowColors(*grid_);
    BuildCategoryLabels();
    return;
  }
  const LocalTexts texts;
  const LocalTexts::Box box = texts.ForBox(101, 103);
  MsgBox(box.prompt, 0, box.title);
}

int16_t BRVPartsCtl::SetSelectItem(std::string& optionStr, Variant& nIndex) {
  grid_->SetRedraw(1);
  ShowCategory(*grid_, optionStr, nIndex);
  // The count this very call's collector stored; 0 for a category that keeps none.
  const std::optional<Category> category = CategoryNamed(optionStr);
  if (!category) return 0;
  return static_cast<int16_t>(KeptCount(*category).value_or(0));
}

void BRVPartsCtl::ShowInstance(int32_t index) {
  grid_->SetRedraw(1);
  Variant nIndex = index;
  DrawCurrent(*grid_, nIndex);
}

int32_t BRVPartsCtl::Instances(Category category) const { return CurrentInstances(category); }

namespace {

constexpr int32_t kSOk = 0;
constexpr int32_t kENoInterface = static_cast<int32_t>(0x80004002u);
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
constexpr uint32_t kSafeForUntrustedCaller = 1;  // may be driven by script
constexpr uint32_t kSafeForUntrustedData = 2;    // may be initialized from persisted data

constexpr const char* kIDispatch = "{00020400-0000-0000-C000-000000000046}";
constexpr const char* kInitializationInterfaces[] = {
    "{0000010A-0000-0000-C000-000000000046}",  // IPersistStorage
    "{00000109-0000-0000-C000-000000000046}",  // IPersistStream
    "{37D84F60-42CB-11CE-8135-00AA004BB851}",  // IPersistPropertyBag
};

// The option the control offers for an interface, 0 for an interface it does not know.
uint32_t OfferedOption(const void* riid) {
  const std::string id = GetGuidString(riid);
  if (id == kIDispatch) return kSafeForUntrustedCaller;
  for (const char* persist : kInitializationInterfaces) {
    if (id == persist) return kSafeForUntrustedData;
  }
  return 0;
}

}  // namespace

int32_t BRVPartsCtl::IObjectSafety_GetInterfaceSafetyOptions(const void* riid, uint32_t& pdwSupportedOptions,
                                                             uint32_t& pdwEnabledOptions) {
  pdwSupportedOptions = kSafeForUntrustedCaller | kSafeForUntrustedData;
  const uint32_t offered = OfferedOption(riid);
  if (offered == 0) return kENoInterface;
  pdwEnabledOptions = offered;
  return kSOk;
}

int32_t BRVPartsCtl::IObjectSafety_SetInterfaceSafetyOptions(const void* riid, uint32_t dwOptionsSetMask,
                                                             uint32_t dwEnabledOptions) {
  const uint32_t offered = OfferedOption(riid);
  if (offered == 0) return kENoInterface;
  // Exactly the one option the interface has: both at once, or none, is refused.
  return (dwOptionsSetMask & dwEnabledOptions) == offered ? kSOk : kEFail;
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
