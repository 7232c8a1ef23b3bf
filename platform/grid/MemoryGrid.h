#pragma once
// An in-memory grid component: it honours every operation the control uses,
// refuses what a real grid would refuse, and can be read back whole so that a
// container can draw it (a terminal table, a web page) and tests can compare it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Grid.h"

namespace brv {

class MemoryGrid : public Grid {
 public:
  // The grid as designed on the control: 2 columns, the header row, a 9450 x 4500 site.
  static constexpr int32_t kDesignedCols = 2;
  static constexpr int32_t kDesignedRows = 1;
  static constexpr float kDesignedWidth = 9450;
  static constexpr float kDesignedHeight = 4500;
  // Height and width given to rows and columns the control has not sized.
  static constexpr int32_t kDefaultRowHeight = 240;
  static constexpr int32_t kDefaultColWidth = 960;
  // No grid shows more rows than this; asking for more is refused.
  static constexpr int32_t kMaxRows = 1 << 20;

  MemoryGrid(int32_t rows = kDesignedRows, int32_t cols = kDesignedCols, float width = kDesignedWidth,
             float height = kDesignedHeight);

  int32_t Rows() const override { return static_cast<int32_t>(rows_.size()); }
  void SetRows(int32_t rows) override;
  int32_t Cols() const override { return cols_; }
  void SetRedraw(int32_t value) override { redraw_ = value; }
  int32_t Row() const override { return row_; }
  void SetRow(int32_t row) override;
  void SetCol(int32_t col) override;
  void SetScrollBars(int32_t mode) override;
  void SetCellFillColor(int32_t color) override;
  void SetCellFormat(int16_t code) override;
  void SetCellText(int32_t index, const std::string& text) override;
  void SetColFormat(int32_t col, int16_t code) override;
  void SetColWidth(int32_t col, int32_t width) override;
  int32_t RowHeight(int32_t row) const override;
  void SetRowHeight(int32_t row, int32_t height) override;
  void InsertRow(const std::string& text, int16_t position) override;
  float SiteWidth() const override { return width_; }
  float SiteHeight() const override { return height_; }
  GridState State() const override;

 private:
  struct Cell {
    std::string text;
    std::optional<int32_t> fill;
    std::optional<int16_t> format;
  };
  struct RowData {
    std::vector<Cell> cells;
    int32_t height = kDefaultRowHeight;
  };
  RowData NewRow() const;
  void CheckRow(int32_t row) const;
  void CheckCol(int32_t col) const;
  Cell& Current();

  int32_t cols_;
  float width_;
  float height_;
  std::vector<RowData> rows_;
  std::vector<int32_t> colWidth_;
  std::vector<std::optional<int16_t>> colFormat_;
  std::optional<int32_t> scrollBars_;
  int32_t row_ = 0;
  int32_t col_ = 0;
  int32_t redraw_ = 1;
};

}  // namespace brv
