#include "table/Layout.h"

#include <limits>

#include "common/Error.h"
#include "common/Variant.h"
#include "module/Module1.h"

namespace brv {

int16_t Narrow16(int64_t value) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    Raise(err::kOverflow);
  }
  return static_cast<int16_t>(value);
}

namespace {

int32_t Narrow32(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    Raise(err::kOverflow);
  }
  return static_cast<int32_t>(value);
}

constexpr int16_t kColumns = 2;

}  // namespace

void InitGridLayout(Grid& grid) {
  grid.SetRowHeight(0, kRowHeight);
  for (int32_t c = 0; c < kColumns; ++c) {
    grid.SetColWidth(c, RoundToInt32(static_cast<double>(grid.SiteWidth()) / 2.0));
  }
  for (int16_t r = 1; r <= 10; ++r) {
    grid.InsertRow(kBlankRowText, r);
    grid.SetRowHeight(r, kRowHeight);
  }
  for (int32_t c = 0; c < kColumns; ++c) grid.SetColFormat(c, 0);
}

void SetGridHeader(Grid& grid) {
  const LocalTexts texts;
  int16_t row = 0, col = 0;
  grid.SetCellText(GetCellIndex(grid, row, col), texts(201));
  col = 1;
  grid.SetCellText(GetCellIndex(grid, row, col), texts(202));
  grid.SetRow(0);
  for (int32_t c = 0; c < kColumns; ++c) {
    grid.SetCol(c);
    grid.SetCellFormat(kHeaderCellFormat);
  }
}

void SetRowColors(Grid& grid) {
  const int32_t n = grid.Rows();
  for (int32_t r = 1; r <= n - 1; ++r) {
    grid.SetRow(r);
    for (int32_t c = 0; c < kColumns; ++c) {
      grid.SetCol(c);
      grid.SetCellFillColor(grid.Row() % 2 == 0 ? kEvenRowColor : kOddRowColor);
    }
  }
}

int16_t GetCellIndex(Grid& grid, int16_t& row, int16_t& col) {
  const int64_t cols = grid.Cols();
  return Narrow16(Narrow32(cols * row) + static_cast<int64_t>(col));
}

void AddBlankRows(Grid& grid, int16_t& lastRow, int16_t& afterRow) {
  const int16_t first = Narrow16(static_cast<int64_t>(afterRow) + 1);
  const int16_t last = lastRow;
  for (int32_t r = first; r <= last; ++r) {
    grid.InsertRow(kBlankRowText, static_cast<int16_t>(r));
    grid.SetRowHeight(r, kRowHeight);
  }
  grid.SetRowHeight(grid.Rows() - 1, kRowHeight);
}

}  // namespace brv
