#pragma once
// A detail's value as a person reads it (units written out, codes named, words
// in the reader's language) and as JSON carries it (typed, in base units:
// bytes, MHz, MT/s, mWh, bit/s; null where unknown).
#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "common/Variant.h"
#include "platform/InstrumentationClasses.h"

namespace brv {

// The text of a message number in the reader's language.
using SayWord = std::function<std::string(int32_t number)>;

// "" where the value is unknown (empty, null, or not of the unit's kind).
std::string DetailForPerson(DetailUnit unit, const Variant& value, const SayWord& say);

nlohmann::ordered_json DetailForJson(DetailUnit unit, const Variant& value);

// The name of a code in English, as JSON and reports carry it ("DDR4", "SODIMM",
// "x64"); "" for a code without a name.
std::string CodeName(DetailUnit unit, int64_t code);

}  // namespace brv
