#include "table/CategoryView.h"

#include "common/Error.h"
#include "inventory/Catalogue.h"
#include "module/ModuleState.h"
#include "table/Layout.h"

namespace brv {
namespace {

constexpr int32_t kPaddingAllowance = 80;  // twips kept free below the last padded row

}  // namespace

void ShowCategory(Grid& grid, std::string& optionStr, Variant& nIndex) {
  ModuleState& m = Module();
  // The first exact, case-sensitive match wins.
  for (const CategoryInfo& c : CategoryCatalogue()) {
    if (c.name() == optionStr) {
      m.CurrentValues = c.collector();
      m.CurrentLabels = m.CategoryLabels[IndexOf(c.category)];
      break;
    }
  }
  DrawCurrent(grid, nIndex);
}

void DrawCurrent(Grid& grid, Variant& nIndex) {
  const ModuleState& m = Module();
  // Nothing shown yet on this thread: there is no caption list to show.
  if (!m.CurrentLabels) Raise(err::kSubscript, "no category has been shown yet");
  const int64_t u = static_cast<int64_t>(m.CurrentLabels->size()) - 1;
  grid.SetRows(static_cast<int32_t>(u + 2));

  int16_t index = ToInt16(Subtract(nIndex, 1));
  FillRows(grid, index);

  const float height = grid.SiteHeight();
  const int64_t headerHeight = grid.RowHeight(0);
  const bool fit = height > static_cast<float>(headerHeight * grid.Rows());
  int32_t mode = 3;
  if (fit) {
    const int32_t hr = grid.RowHeight(0);
    const double h = grid.SiteHeight();
    if (hr == 0) Raise(11, "Division by zero");
    const int16_t v = RoundToInt16((h - kPaddingAllowance) / hr);
    int16_t lastRow = Narrow16(static_cast<int64_t>(v) - 1);
    int16_t afterRow = Narrow16(u + 1);
    AddBlankRows(grid, lastRow, afterRow);
    mode = 1;
  }
  grid.SetScrollBars(mode);
  SetRowColors(grid);
  grid.SetRow(1);
  grid.SetCol(0);
}

void FillRows(Grid& grid, int16_t& index) {
  const ModuleState& m = Module();
  const int16_t k = Narrow16(static_cast<int64_t>(m.CurrentLabels->size()));
  for (int32_t next = 1; next <= k; ++next) {
    int16_t r = static_cast<int16_t>(next), c0 = 0, c1 = 1;
    grid.SetCellText(GetCellIndex(grid, r, c0), (*m.CurrentLabels)[r - 1]);
    grid.SetCellText(GetCellIndex(grid, r, c1), TextOf(m.CurrentValues.at(index, r - 1)));
  }
}

}  // namespace brv

namespace brv {

std::optional<int32_t> KeptCount(Category category) {
  if (!CatalogueOf(category).keepsCount) return std::nullopt;
  return Module().CategoryCount[IndexOf(category)];
}

int32_t CurrentInstances(Category category) {
  if (const std::optional<int32_t> count = KeptCount(category)) return *count;
  // A category without a count holds one instance, numbered in its first row;
  // when nothing answered, that row is empty texts: no instance.
  const ValueTable& values = Module().CurrentValues;
  return values.rows() > 0 && values.cols() > 0 && !TextOf(values.at(0, 0)).empty() ? 1 : 0;
}

}  // namespace brv
