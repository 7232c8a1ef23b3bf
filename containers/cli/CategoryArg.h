#pragma once
// The category and instance arguments as people type them.
#include <optional>
#include <string>
#include <string_view>

#include "common/Category.h"

namespace brv::cli {

// The category whose name this is, ignoring case and surrounding blanks.
std::optional<Category> MatchCategory(std::string_view text);

// The category name nearest to the text (fewest single-letter edits, case ignored).
std::string_view NearestCategory(std::string_view text);

// The names as they are typed: CPU, Memory, ..., "CD,DVD", ... (quoted where a shell needs it).
std::string CategoryList();

// The one-line reason for a name that is no category: the names, and the nearest.
std::string UnknownCategory(std::string_view text);

// The instance argument: a positive whole number (surrounding blanks ignored);
// numbers past any count are kept as the largest int32. Nothing for anything else.
std::optional<int32_t> ParseInstance(std::string_view text);

}  // namespace brv::cli
