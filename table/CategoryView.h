#pragma once
// The category view: runs the category's collector, keeps its table and captions
// as the current table, and writes the captions and one instance's values into
// the grid, padded to the grid's height and shaded.
#include <cstdint>
#include <optional>
#include <string>

#include "common/Category.h"
#include "common/Variant.h"
#include "platform/Grid.h"

namespace brv {

// Shows instance nIndex (counted from 1) of the category named optionStr. An
// unknown name runs nothing and redraws the current table. Raises what the grid,
// the conversions and the table raise.
void ShowCategory(Grid& grid, std::string& optionStr, Variant& nIndex);

// Writes the current table's captions and instance nIndex (counted from 1) into
// the grid, padded to its height and shaded, without querying again.
void DrawCurrent(Grid& grid, Variant& nIndex);

// The count the category's collector kept; nothing for a category that keeps
// none (the display).
std::optional<int32_t> KeptCount(Category category);

// How many instances the current table, the category's, holds: its count, or
// for a category without one, 1 when its first row is numbered and 0 when
// nothing answered (a machine without a display).
int32_t CurrentInstances(Category category);

// Writes caption k and the value of instance `index` (counted from 0) at caption
// position k into grid row k + 1.
void FillRows(Grid& grid, int16_t& index);

}  // namespace brv
