#include "containers/windows/GridPainter.h"

#include <algorithm>
#include <string>

#include "platform/windows/Com.h"

namespace brv::win {

int TwipsToPixels(int32_t twips, int dpi) { return MulDiv(twips, dpi, 1440); }

COLORREF HeaderColor() { return GetSysColor(COLOR_BTNFACE); }

int RowsHeight(const GridState& state, int32_t firstRow, int dpiY) {
  int height = 0;
  for (int32_t r = std::max(firstRow, 1); r < state.rows; ++r) height += TwipsToPixels(state.rowHeight[r], dpiY);
  return height;
}

int32_t RowsThatFit(const GridState& state, int32_t firstRow, int height, int dpiY) {
  int y = state.rows > 0 ? TwipsToPixels(state.rowHeight[0], dpiY) : 0;
  int32_t fit = 0;
  for (int32_t r = std::max(firstRow, 1); r < state.rows; ++r) {
    y += TwipsToPixels(state.rowHeight[r], dpiY);
    if (y > height) break;
    ++fit;
  }
  return fit;
}

namespace {

// The DrawText flags of a format code (an unset or unknown code: left, middle).
UINT AlignmentOf(std::optional<int16_t> code) {
  const int c = code.value_or(1);
  if (c < 0 || c > 8) return DT_LEFT | DT_VCENTER;
  const UINT horizontal = c / 3 == 0 ? DT_LEFT : c / 3 == 1 ? DT_CENTER : DT_RIGHT;
  const UINT vertical = c % 3 == 0 ? DT_TOP : c % 3 == 1 ? DT_VCENTER : DT_BOTTOM;
  return horizontal | vertical;
}

void Fill(HDC dc, const RECT& r, COLORREF color) {
  const COLORREF before = SetBkColor(dc, color);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  SetBkColor(dc, before);
}

}  // namespace

void DrawGrid(HDC dc, const RECT& bounds, const GridState& state, const GridPicture& picture) {
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  Fill(dc, bounds, kGridBackground);

  // The font follows the device: 8 points at its pixels per inch.
  HFONT font =
      CreateFontW(-MulDiv(8, picture.dpiY, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg");
  HGDIOBJ oldFont = SelectObject(dc, font);
  HPEN pen = CreatePen(PS_SOLID, 1, kGridLines);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));

  const int padding = std::max(1, TwipsToPixels(45, picture.dpiX));
  int y = bounds.top;
  for (int32_t r = 0; r < state.rows && y < bounds.bottom;
       r = r == 0 ? std::max<int32_t>(picture.firstRow, 1) : r + 1) {
    const int height = TwipsToPixels(state.rowHeight[r], picture.dpiY);
    int x = bounds.left;
    for (int32_t c = 0; c < state.cols && x < bounds.right; ++c) {
      const int width = TwipsToPixels(state.colWidth[c], picture.dpiX);
      const RECT cell{x, y, x + width, y + height};
      const auto& fill = state.fill[r][c];
      Fill(dc, cell, fill ? static_cast<COLORREF>(*fill) : r == 0 ? HeaderColor() : kCellColor);
      // Lines along the right and bottom edges.
      MoveToEx(dc, cell.right - 1, cell.top, nullptr);
      LineTo(dc, cell.right - 1, cell.bottom - 1);
      LineTo(dc, cell.left - 1, cell.bottom - 1);
      const std::string& text = state.text[r][c];
      if (!text.empty()) {
        const std::wstring wide = Wide(text);
        RECT inside{cell.left + padding, cell.top, cell.right - padding - 1, cell.bottom - 1};
        const auto format = state.cellFormat[r][c] ? state.cellFormat[r][c] : state.colFormat[c];
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &inside,
                  AlignmentOf(format) | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      }
      if (r != 0 && r == state.row && c == state.col) {
        RECT focus{cell.left + 1, cell.top + 1, cell.right - 2, cell.bottom - 2};
        DrawFocusRect(dc, &focus);
      }
      x += width;
    }
    y += height;
  }

  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  RestoreDC(dc, saved);
}

}  // namespace brv::win
