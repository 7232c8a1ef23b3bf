#pragma once
// The category and instance arguments as people type them: the category by its
// name, by a word people use for it ("disk", "ram", "net"; in the user's
// language too), by an unambiguous beginning of either, in one argument or in
// several ("Network Adapter 2" without quotes); the instance as a number from 1,
// or "all". Only the terminal program reads them so; the control, script mode and
// the page take the exact names.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/Category.h"

namespace brv::cli {

// What the positional arguments ask for.
struct Selection {
  std::optional<Category> category;  // nothing when no argument was given
  std::optional<int32_t> instance;   // nothing: every instance
};

// Reads the positional arguments; a usage error (one line, in the user's
// language) names what is wrong and, where one is close, the category meant.
class SelectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
Selection ReadSelection(const std::vector<std::string>& words);

// The names as they are typed: CPU, Memory, ..., "CD,DVD", ... (quoted where a shell needs it).
std::string CategoryList();

}  // namespace brv::cli
