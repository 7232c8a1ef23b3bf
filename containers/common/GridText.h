#pragma once
// The grid drawn as a table for a terminal: captions left, values right, a rule
// under the header. With colour, each row is shaded with its own fill colour.
// Trailing blank rows (the padding that fills the control's height) are left out.
#include <cstddef>
#include <cstdint>
#include <optional>
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

// Control characters would move the terminal's cursor or change its state: a
// device name must never be able to do that. C0 and C1 controls, DEL and bytes
// that are not UTF-8 are shown as U+FFFD.
std::string Printable(const std::string& text);

// The escape that shades text with the nearest of the colours the terminal
// shows to `fill` (0x00BBGGRR), as a background under black text; "" without
// colour or fill.
std::string Shade(const std::optional<int32_t>& fill, Colours colours);

}  // namespace brv
