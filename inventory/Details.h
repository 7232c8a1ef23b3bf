#pragma once
// The details of the parts a category shows: for each instance, in the order
// the grid numbers them, the value of each of the catalogue's details. They are
// read apart from the control's run, on request, and never raise a failure or
// show a box: a detail that cannot be read is unknown (Empty).
#include <cstdint>
#include <vector>

#include "common/Category.h"
#include "common/Variant.h"
#include "inventory/Catalogue.h"

namespace brv {

struct PartDetail {
  const Detail* detail;
  Variant value;   // the property's value; Empty when unknown
  Variant second;  // the second property's (pairs, wear, diagonal); the modules installed (OfTotal)
};

// One list per instance shown, each in the catalogue's order; as many lists as
// `instances` (the category's count, 1 for the display).
std::vector<std::vector<PartDetail>> ReadDetails(Category category, int32_t instances);

}  // namespace brv
