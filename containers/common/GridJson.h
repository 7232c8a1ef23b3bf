#pragma once
// The grid's whole state as JSON, the form containers hand to scripts and pages.
#include <nlohmann/json.hpp>

#include "platform/Grid.h"

namespace brv {

nlohmann::ordered_json GridToJson(const GridState& state);

}  // namespace brv
