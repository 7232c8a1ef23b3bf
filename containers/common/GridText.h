#pragma once
// The grid drawn as a table for a terminal: captions left, values right, a rule
// under the header. With colour, each row is shaded with its own fill colour.
// Trailing blank rows (the padding that fills the control's height) are left out.
#include <cstddef>
#include <string>

#include "platform/Grid.h"

namespace brv {

// How many colours the terminal shows: none, the 8 basic ones, 256, or 24-bit.
enum class Colours { kNone, kBasic, k256, kTrue };

// What the terminal can show.
struct TextLook {
  Colours colours = Colours::kNone;
  bool boxDrawing = true;  // │ ─ ┼, else | - +
  size_t width = 0;        // columns the table may take; 0 for no limit
};

std::string RenderGridText(const GridState& state, const TextLook& look);

}  // namespace brv
