#pragma once
// The table's fixed geometry and colours: a header row of "Item" and "Value" over
// rows of height 400, two columns of half the grid's width, rows shaded by parity.
#include <cstdint>

#include "platform/Grid.h"

namespace brv {

inline constexpr int32_t kRowHeight = 400;
inline constexpr int32_t kOddRowColor = 0xFEF5F2;   // RGB(242, 245, 254)
inline constexpr int32_t kEvenRowColor = 0xE6D4CD;  // RGB(205, 212, 230)
inline constexpr int16_t kHeaderCellFormat = 4;
inline constexpr const char* kBlankRowText = " ";

// Header height, column widths, ten blank rows below the header, column formats.
void InitGridLayout(Grid& grid);
// "Item" and "Value" (messages 201 and 202) in the header, with its format code.
void SetGridHeader(Grid& grid);
// Shades every row below the header by the parity of its number.
void SetRowColors(Grid& grid);
// The linear number of a cell, column count x row + column; 6 when it passes 16 bits.
int16_t GetCellIndex(Grid& grid, int16_t& row, int16_t& col);
// Inserts blank rows afterRow + 1 to lastRow, then gives the last row height 400.
void AddBlankRows(Grid& grid, int16_t& lastRow, int16_t& afterRow);

// Narrows a whole number to 16 bits, raising 6 when it does not fit.
int16_t Narrow16(int64_t value);

}  // namespace brv
