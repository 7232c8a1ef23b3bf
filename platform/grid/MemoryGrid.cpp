#include "platform/grid/MemoryGrid.h"

#include <string>

#include "common/Error.h"

namespace brv {

MemoryGrid::MemoryGrid(int32_t rows, int32_t cols, float width, float height)
    : cols_(cols), width_(width), height_(height), colWidth_(cols, kDefaultColWidth), colFormat_(cols) {
  if (rows < 1 || cols < 1) Raise(err::kInvalidPropertyValue, "a grid has at least one row and one column");
  rows_.assign(rows, NewRow());
}

MemoryGrid::RowData MemoryGrid::NewRow() const {
  RowData r;
  r.cells.resize(cols_);
  return r;
}

void MemoryGrid::CheckRow(int32_t row) const {
  if (row < 0 || row >= Rows()) Raise(err::kInvalidPropertyIndex, "row " + std::to_string(row) + " is not in the grid");
}

void MemoryGrid::CheckCol(int32_t col) const {
  if (col < 0 || col >= cols_)
    Raise(err::kInvalidPropertyIndex, "column " + std::to_string(col) + " is not in the grid");
}

void MemoryGrid::SetRows(int32_t rows) {
  // The header row always stays.
  if (rows < 1 || rows > kMaxRows) Raise(err::kInvalidPropertyValue, "row count " + std::to_string(rows));
  rows_.resize(rows, NewRow());
  if (row_ >= rows) row_ = rows - 1;
}

void MemoryGrid::SetRow(int32_t row) {
  CheckRow(row);
  row_ = row;
}

void MemoryGrid::SetCol(int32_t col) {
  CheckCol(col);
  col_ = col;
}

void MemoryGrid::SetScrollBars(int32_t mode) {
  if (mode < 0 || mode > 3) Raise(err::kInvalidPropertyValue, "scroll-bar mode " + std::to_string(mode));
  scrollBars_ = mode;
}

MemoryGrid::Cell& MemoryGrid::Current() { return rows_[row_].cells[col_]; }

void MemoryGrid::SetCellFillColor(int32_t color) {
  if (color < 0 || color > 0xFFFFFF) Raise(err::kInvalidPropertyValue, "colour " + std::to_string(color));
  Current().fill = color;
}

void MemoryGrid::SetCellFormat(int16_t code) {
  if (code < 0 || code > 9) Raise(err::kInvalidPropertyValue, "format code " + std::to_string(code));
  Current().format = code;
}

void MemoryGrid::SetCellText(int32_t index, const std::string& text) {
  if (index < 0 || index / cols_ >= Rows()) {
    Raise(err::kInvalidPropertyIndex, "cell " + std::to_string(index) + " is not in the grid");
  }
  rows_[index / cols_].cells[index % cols_].text = text;
}

void MemoryGrid::SetColFormat(int32_t col, int16_t code) {
  CheckCol(col);
  if (code < 0 || code > 9) Raise(err::kInvalidPropertyValue, "format code " + std::to_string(code));
  colFormat_[col] = code;
}

void MemoryGrid::SetColWidth(int32_t col, int32_t width) {
  CheckCol(col);
  if (width < 0) Raise(err::kInvalidPropertyValue, "width " + std::to_string(width));
  colWidth_[col] = width;
}

int32_t MemoryGrid::RowHeight(int32_t row) const {
  CheckRow(row);
  return rows_[row].height;
}

void MemoryGrid::SetRowHeight(int32_t row, int32_t height) {
  CheckRow(row);
  if (height < 0) Raise(err::kInvalidPropertyValue, "height " + std::to_string(height));
  rows_[row].height = height;
}

void MemoryGrid::InsertRow(const std::string& text, int16_t position) {
  if (position < 0 || position > Rows()) Raise(err::kSubscript, "row position " + std::to_string(position));
  if (Rows() >= kMaxRows) Raise(err::kInvalidPropertyValue, "the grid is full");
  RowData r = NewRow();
  r.cells[0].text = text;
  rows_.insert(rows_.begin() + position, std::move(r));
}

GridState MemoryGrid::State() const {
  GridState s;
  s.rows = Rows();
  s.cols = cols_;
  for (const RowData& r : rows_) {
    auto& text = s.text.emplace_back();
    auto& fill = s.fill.emplace_back();
    auto& format = s.cellFormat.emplace_back();
    for (const Cell& c : r.cells) {
      text.push_back(c.text);
      fill.push_back(c.fill);
      format.push_back(c.format);
    }
    s.rowHeight.push_back(r.height);
  }
  s.colWidth = colWidth_;
  s.colFormat = colFormat_;
  s.scrollBars = scrollBars_;
  s.row = row_;
  s.col = col_;
  s.redraw = redraw_;
  s.width = width_;
  s.height = height_;
  return s;
}

}  // namespace brv

namespace brv {
std::unique_ptr<Grid> CreateDesignedGrid() { return std::make_unique<MemoryGrid>(); }
}  // namespace brv
