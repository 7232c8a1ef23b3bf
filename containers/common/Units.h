#pragma once
// Numbers as a person reads them on a terminal: a byte count followed by its
// size in binary units, a clock or a capacity followed by its unit. Scripts,
// JSON and the page keep the bare values the grid holds.
#include <cstdint>
#include <string>

#include "common/Category.h"
#include "inventory/Catalogue.h"

namespace brv {

// The unit of the value in grid row `row` (1 is the instance's number) of a
// category, as the catalogue declares its column.
Unit GridUnit(Category category, int32_t row);

// A byte count in the largest binary unit it fills: "477 GiB", "1.5 KiB", "512 B".
std::string BinarySize(uint64_t bytes);

// The value with its unit: "512110190592 (477 GiB)", "4200 MHz", "47520 mWh".
// A value that is not a whole number ("<Empty>", a text) is returned as it is.
std::string WithUnit(const std::string& value, Unit unit);

}  // namespace brv
