#pragma once
// The grid component the control draws its table on, as the control uses it.
// Lengths are in twips; colours are 0x00BBGGRR. Every operation can raise an
// Error (an index out of range, a refused value); the control traps none of them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brv {

// Everything a container needs to show the grid, read back whole.
struct GridState {
  int32_t rows = 0;
  int32_t cols = 0;
  std::vector<std::vector<std::string>> text;             // rows x cols
  std::vector<int32_t> rowHeight;                         // rows
  std::vector<int32_t> colWidth;                          // cols
  std::vector<std::vector<std::optional<int32_t>>> fill;  // rows x cols, unset = nullopt
  std::vector<std::vector<std::optional<int16_t>>> cellFormat;
  std::vector<std::optional<int16_t>> colFormat;
  std::optional<int32_t> scrollBars;
  int32_t row = 0;
  int32_t col = 0;
  int32_t redraw = 0;
  float width = 0;
  float height = 0;
  bool operator==(const GridState&) const = default;
};

class Grid {
 public:
  virtual ~Grid() = default;

  // Row count, header row included. Setting n keeps rows 0 to n-1 (row 0 always).
  virtual int32_t Rows() const = 0;
  virtual void SetRows(int32_t rows) = 0;
  // Column count.
  virtual int32_t Cols() const = 0;
  // Turns drawing on (1) before a category is shown.
  virtual void SetRedraw(int32_t value) = 0;
  // The current cell, which the per-cell settings act on.
  virtual int32_t Row() const = 0;
  virtual void SetRow(int32_t row) = 0;
  virtual void SetCol(int32_t col) = 0;
  // Scroll-bar mode: 1 while all rows fit, 3 when they overflow.
  virtual void SetScrollBars(int32_t mode) = 0;
  // Fill colour and format code of the current cell.
  virtual void SetCellFillColor(int32_t color) = 0;
  virtual void SetCellFormat(int16_t code) = 0;
  // Text of the cell numbered row x column count + column.
  virtual void SetCellText(int32_t index, const std::string& text) = 0;
  // Per-column format code and width; per-row height.
  virtual void SetColFormat(int32_t col, int16_t code) = 0;
  virtual void SetColWidth(int32_t col, int32_t width) = 0;
  virtual int32_t RowHeight(int32_t row) const = 0;
  virtual void SetRowHeight(int32_t row, int32_t height) = 0;
  // Inserts one row at the position (later rows move down) with the text in its first cell.
  virtual void InsertRow(const std::string& text, int16_t position) = 0;
  // The size of the grid as sited on the control.
  virtual float SiteWidth() const = 0;
  virtual float SiteHeight() const = 0;

  virtual GridState State() const = 0;
};

}  // namespace brv

namespace brv {
// The grid as designed on the control, before start-up: 2 columns, the header
// row, sited at 9450 x 4500 twips. The platform provides it.
std::unique_ptr<Grid> CreateDesignedGrid();
}  // namespace brv
