#pragma once
// The grid drawn as a table for a terminal: captions left, values right, a rule
// under the header. With colour, each row is shaded with its own fill colour.
// Trailing blank rows (the padding that fills the control's height) are left out.
#include <string>

#include "platform/Grid.h"

namespace brv {

std::string RenderGridText(const GridState& state, bool colour);

// Columns a text takes in a terminal (wide East Asian characters take two).
size_t DisplayWidth(const std::string& utf8);

}  // namespace brv
