#pragma once
// The row captions of every category: a message number and the English caption
// used when no string provider can be created.
#include <cstdint>
#include <span>

#include "common/Category.h"

namespace brv {

struct Caption {
  int32_t number;
  const char* english;
};

// The captions of a category in row order; position 0 captions the instance number.
std::span<const Caption> CaptionsOf(Category category);

// Builds the caption list of every category into CategoryLabels, all localized or
// all English. An error of the provider ends it at that caption and passes on.
void BuildCategoryLabels();

}  // namespace brv
