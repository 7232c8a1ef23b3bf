// The grid stand-in honours what the control relies on and refuses what a grid
// would refuse.
#include <gtest/gtest.h>

#include "common/Error.h"
#include "platform/grid/MemoryGrid.h"

namespace brv {
namespace {

TEST(MemoryGrid, RefusesIndexesOutOfRange) {
  MemoryGrid g(3);
  const std::function<void()> refused[] = {
      [&] { g.SetRow(3); },
      [&] { g.SetRow(-1); },
      [&] { g.SetCol(2); },
      [&] { g.SetCellText(6, "x"); },
      [&] { g.SetCellText(-1, "x"); },
      [&] { g.SetRowHeight(3, 400); },
      [&] { g.RowHeight(-1); },
      [&] { g.SetColWidth(2, 10); },
      [&] { g.SetColFormat(-1, 0); },
      [&] { g.InsertRow(" ", 4); },
      [&] { g.InsertRow(" ", -1); },
      [&] { g.SetRows(0); },
      [&] { g.SetScrollBars(4); },
      [&] { g.SetCellFillColor(0x1000000); },
  };
  for (size_t i = 0; i < std::size(refused); ++i) EXPECT_THROW(refused[i](), Error) << i;
  EXPECT_EQ(g.State(), MemoryGrid(3).State()) << "a refused operation changes nothing";
}

TEST(MemoryGrid, RowsKeepTheirSettingsThroughInsertAndResize) {
  MemoryGrid g;
  g.SetCellText(0, "Item");
  g.SetRows(4);
  g.SetRowHeight(2, 400);
  g.SetRow(2);
  g.SetCol(1);
  g.SetCellFillColor(0xE6D4CD);
  g.SetCellText(5, "two");
  g.InsertRow(" ", 1);  // row 2 moves to 3
  const GridState s = g.State();
  EXPECT_EQ(s.rows, 5);
  EXPECT_EQ(s.text[1][0], " ");
  EXPECT_EQ(s.text[3][1], "two");
  EXPECT_EQ(s.rowHeight[3], 400);
  EXPECT_EQ(s.fill[3][1], 0xE6D4CD);
  g.SetRows(2);
  EXPECT_EQ(g.Row(), 1) << "the current row stays inside the grid";
  g.SetRows(4);
  EXPECT_EQ(g.State().text[0][0], "Item");
  EXPECT_EQ(g.State().text[3][1], "") << "rows added again come back blank";
  EXPECT_EQ(g.RowHeight(3), MemoryGrid::kDefaultRowHeight);
}

}  // namespace
}  // namespace brv
