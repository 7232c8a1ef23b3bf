#include <gtest/gtest.h>

#include "common/Error.h"
#include "platform/grid/MemoryGrid.h"
#include "table/Layout.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(Layout, CellIndex) {
  MemoryGrid g;
  const struct { int16_t row, col, index; } cases[] = {{0, 0, 0}, {0, 1, 1}, {3, 1, 7}, {16383, 1, 32767}};
  for (auto c : cases) {
    int16_t r = c.row, col = c.col;
    EXPECT_EQ(GetCellIndex(g, r, col), c.index);
  }
  int16_t r = 16384, col = 0;
  EXPECT_EQ(test::ErrorNumberOf([&] { GetCellIndex(g, r, col); }), err::kOverflow);
}

TEST(Layout, AddBlankRows) {
  const struct {
    int16_t rows, lastRow, afterRow, expectedRows;
  } cases[] = {
      {7, 5, 5, 7},    // nothing to add; the last row is still sized
      {7, 10, 6, 11},  // rows 7..10 appended
      {3, 0, 5, 3},
  };
  for (auto c : cases) {
    MemoryGrid g(c.rows);
    int16_t last = c.lastRow, after = c.afterRow;
    AddBlankRows(g, last, after);
    const GridState s = g.State();
    EXPECT_EQ(s.rows, c.expectedRows);
    EXPECT_EQ(s.rowHeight.back(), 400);
    for (int r = c.afterRow + 1; r <= c.lastRow; ++r) {
      EXPECT_EQ(s.text[r][0], " ");
      EXPECT_EQ(s.rowHeight[r], 400);
    }
  }
  MemoryGrid g;
  int16_t last = 0, after = 32767;
  EXPECT_THROW(AddBlankRows(g, last, after), Error);
}

TEST(Layout, ColumnWidthsAreHalfTheSiteRoundedToEven) {
  for (auto [width, expected] : {std::pair{9450.f, 4725}, {9451.f, 4726}, {9449.f, 4724}, {1.f, 0}}) {
    MemoryGrid g(1, 2, width, 4500);
    InitGridLayout(g);
    EXPECT_EQ(g.State().colWidth, (std::vector<int32_t>{expected, expected})) << width;
  }
}

}  // namespace
}  // namespace brv
