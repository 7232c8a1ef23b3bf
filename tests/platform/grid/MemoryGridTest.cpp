// The grid stand-in honours what the control relies on and refuses what a grid
// would refuse.
#include "platform/grid/MemoryGrid.h"

#include <gtest/gtest.h>

#include "common/Error.h"
#include "containers/common/GridJson.h"
#include "containers/common/GridText.h"

namespace brv {
namespace {

TEST(MemoryGrid, RefusesIndexesOutOfRange) {
  MemoryGrid g(3);
  const std::function<void()> refused[] = {
      [&] { g.SetRow(3); },           [&] { g.SetRow(-1); },           [&] { g.SetCol(2); },
      [&] { g.SetCellText(6, "x"); }, [&] { g.SetCellText(-1, "x"); }, [&] { g.SetRowHeight(3, 400); },
      [&] { g.RowHeight(-1); },       [&] { g.SetColWidth(2, 10); },   [&] { g.SetColFormat(-1, 0); },
      [&] { g.InsertRow(" ", 4); },   [&] { g.InsertRow(" ", -1); },   [&] { g.SetRows(0); },
      [&] { g.SetScrollBars(4); },    [&] { g.SetCellFillColor(0x1000000); },
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

TEST(MemoryGrid, JsonCarriesTheWholeState) {
  MemoryGrid g(2);
  g.SetCellText(2, "Index");
  g.SetRow(1);
  g.SetCellFillColor(0xFEF5F2);
  g.SetScrollBars(1);
  EXPECT_EQ(GridToJson(g.State()), nlohmann::ordered_json::parse(R"({
    "rows": 2, "cols": 2, "text": [["", ""], ["Index", ""]], "rowHeight": [240, 240],
    "colWidth": [960, 960], "fill": [[null, null], [16709106, null]],
    "cellFormat": [[null, null], [null, null]], "colFormat": [null, null],
    "scrollBars": 1, "row": 1, "col": 0, "width": 9450, "height": 4500})"));
}

// The layout of the text (widths, wide characters, padding rows left out) is
// ProgramTest's, against tests/data/expected/laptop.{en,ja}.txt.
TEST(GridText, WideCharactersAndControlCharacters) {
  MemoryGrid g(2);
  g.SetCellText(0, "項目");
  g.SetCellText(1, "値");
  g.SetCellText(2, "名前");
  g.SetCellText(3, "evil\x1b[2Jname");
  const std::string out = RenderGridText(g.State(), {});
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << "escape sequences from values never reach the terminal";
  EXPECT_NE(out.find(" 名前 │ evil\xEF\xBF\xBD[2Jname"), std::string::npos) << out;
  // C1 controls (U+009B is a cursor command to some terminals) and bytes that are not UTF-8.
  g.SetCellText(3, "a\xC2\x9B" "b\x9B" "c\xC0\xAF" "d\xE2\x82");
  EXPECT_NE(RenderGridText(g.State(), {}).find("a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD" "d\xEF\xBF\xBD\xEF\xBF\xBD"),
            std::string::npos);
}

// A table wider than the terminal: the widest column gives way first, and each
// value wraps inside its column, at a space where it can, by display width.
TEST(GridText, WrapsToTheWidthGiven) {
  MemoryGrid g(3);
  const char* texts[] = {"Item", "Value", "Name", "Intel(R) Core(TM) i7-8650U", "名前の長い項目", "値"};
  for (int32_t i = 0; i < 6; ++i) g.SetCellText(i, texts[i]);
  EXPECT_EQ(RenderGridText(g.State(), {.colours = Colours::kNone, .boxDrawing = false, .width = 20}),
            " Item     | Value\n"
            "----------+---------\n"
            " Name     | Intel(R)\n"
            "          | Core(TM)\n"
            "          | i7-8650U\n"
            " 名前の長 | 値\n"
            " い項目   |\n");
  EXPECT_EQ(RenderGridText(g.State(), {.colours = Colours::kNone, .boxDrawing = false, .width = 36}),
            " Item           | Value\n"
            "----------------+-------------------\n"
            " Name           | Intel(R) Core(TM)\n"
            "                | i7-8650U\n"
            " 名前の長い項目 | 値\n");
  // Without a limit, nothing wraps.
  EXPECT_NE(RenderGridText(g.State(), {}).find("│ Intel(R) Core(TM) i7-8650U\n"), std::string::npos);
}

}  // namespace
}  // namespace brv
