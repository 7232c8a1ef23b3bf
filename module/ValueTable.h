#pragma once
// The table every collector hands back: one row per instance (plus an empty last
// row), one column per caption of the category.
#include <cstddef>
#include <vector>

#include "common/Error.h"
#include "common/Variant.h"

namespace brv {

class ValueTable {
 public:
  ValueTable() = default;
  ValueTable(size_t rows, size_t cols) : rows_(rows), cols_(cols), cells_(rows * cols) {}

  size_t rows() const { return rows_; }
  size_t cols() const { return cols_; }
  bool absent() const { return rows_ == 0; }

  // Cell (instance, caption position); an index outside the table raises 9.
  const Variant& at(long row, long col) const { return cells_[Offset(row, col)]; }
  Variant& at(long row, long col) { return cells_[Offset(row, col)]; }

  bool operator==(const ValueTable&) const = default;

 private:
  size_t Offset(long row, long col) const {
    if (row < 0 || col < 0 || static_cast<size_t>(row) >= rows_ || static_cast<size_t>(col) >= cols_) {
      Raise(err::kSubscript);
    }
    return static_cast<size_t>(row) * cols_ + static_cast<size_t>(col);
  }
  size_t rows_ = 0;
  size_t cols_ = 0;
  std::vector<Variant> cells_;
};

}  // namespace brv
