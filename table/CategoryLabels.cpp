#include "table/CategoryLabels.h"

#include "module/EnglishText.h"
#include "module/Module1.h"

namespace brv {

void FillCaptions(const CategoryInfo& category, bool localized, CaptionList& list) {
  list = CaptionList(category.columns.size());
  for (size_t k = 0; k < list.size(); ++k) {
    int32_t number = category.columns[k].caption;
    list[k] = localized ? GetLocalMessage(number) : std::string(EnglishText(number));
  }
}

void BuildCategoryLabels() {
  ModuleState& m = Module();
  const bool localized = CreateResourceProvider();
  for (const CategoryInfo& c : CategoryCatalogue()) {
    auto& list = m.CategoryLabels[IndexOf(c.category)];
    list.emplace();
    FillCaptions(c, localized, *list);
  }
}

}  // namespace brv
