#pragma once
// The category view: runs the category's collector, keeps its table and captions
// as the current table, and writes the captions and one instance's values into
// the grid, padded to the grid's height and shaded.
#include <cstdint>
#include <string>

#include "common/Variant.h"
#include "platform/Grid.h"

namespace brv {

// Shows instance nIndex (counted from 1) of the category named optionStr. An
// unknown name runs nothing and redraws the current table. Raises what the grid,
// the conversions and the table raise.
void ShowCategory(Grid& grid, std::string& optionStr, Variant& nIndex);

// Writes caption k and the value of instance `index` (counted from 0) at caption
// position k into grid row k + 1.
void FillRows(Grid& grid, int16_t& index);

}  // namespace brv
