#pragma once
// The details of one part as the terminal writes them under its grid, for a
// container that shows them one instance at a time (the page).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Category.h"

namespace brv {

struct DetailLine {
  std::string caption;               // in the reader's language
  std::optional<std::string> value;  // units written out; nothing where unknown
};

// The details of instance `index` (counted from 1) of the category, captions and
// words in the user's language; none for a category without details or an
// index below 1. The caller bounds `index` by the category's count: past the
// parts the machine has, every value is unknown.
std::vector<DetailLine> DetailLines(Category category, int32_t index);

}  // namespace brv
