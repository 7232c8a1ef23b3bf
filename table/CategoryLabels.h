#pragma once
// The row captions of every category, by the message numbers the catalogue
// gives its columns.
#include "inventory/Catalogue.h"
#include "module/ModuleState.h"

namespace brv {

// Makes `list` the captions of one category in row order: the provider's
// texts, or the English ones when `localized` is false. An error of the
// provider ends it at that caption, the captions before it in place, and
// passes on.
void FillCaptions(const CategoryInfo& category, bool localized, CaptionList& list);

// Builds the caption list of every category into CategoryLabels, all localized or
// all English. An error of the provider ends it at that caption and passes on.
void BuildCategoryLabels();

}  // namespace brv
