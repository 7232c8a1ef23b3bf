#pragma once
// The grid drawn with GDI from the in-memory grid's state, as the layout set
// it: column widths and row heights in twips (through the device's pixels per
// inch), the header row fixed at the top, each cell's fill colour and
// alignment (format codes 0 to 8: left, centre, right by three, top, middle,
// bottom within), grid lines, and the current cell marked. The window paints
// with it, and so does IViewObject::Draw for a container that prints or
// draws the control without a window.
#include <windows.h>

#include "platform/Grid.h"

namespace brv::win {

// Pixels for a length in twips at `dpi` pixels per inch.
int TwipsToPixels(int32_t twips, int dpi);

// What is shown: the header row, then the rows from `firstRow` on (1 when the
// grid is not scrolled).
struct GridPicture {
  int dpiX = 96;
  int dpiY = 96;
  int32_t firstRow = 1;
};

// Draws the grid into `bounds` (clipped to it): cells, lines, texts, the
// current cell; the area past the last row and column in the grid's
// background grey.
void DrawGrid(HDC dc, const RECT& bounds, const GridState& state, const GridPicture& picture);

// The height in pixels the rows from `firstRow` on take, and how many of them
// fit below the header in `height` pixels.
int RowsHeight(const GridState& state, int32_t firstRow, int dpiY);
int32_t RowsThatFit(const GridState& state, int32_t firstRow, int height, int dpiY);

// The colours the grid uses where the layout sets none.
inline constexpr COLORREF kGridBackground = RGB(128, 128, 128);  // past the last row or column
inline constexpr COLORREF kGridLines = RGB(192, 192, 192);
inline constexpr COLORREF kCellColor = RGB(255, 255, 255);
// The header's fill: the system's button face colour.
COLORREF HeaderColor();

}  // namespace brv::win
