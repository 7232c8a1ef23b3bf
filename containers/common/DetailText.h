#pragma once
// A detail's value as a person reads it (units written out, codes named, words
// in the reader's language) and as JSON carries it (typed, in base units:
// bytes, MHz, MT/s, mWh, bit/s; null where unknown).
#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "common/Variant.h"
#include "inventory/Catalogue.h"
#include "inventory/Details.h"

namespace brv {

// The text of a message number in the reader's language.
using SayWord = std::function<std::string(int32_t number)>;

// The messages in the user's language, English where no catalogue has one.
SayWord UserMessages();

// "" where the value is unknown (empty, null, or not of the unit's kind).
std::string DetailForPerson(DetailUnit unit, const Variant& value, const SayWord& say);

nlohmann::ordered_json DetailForJson(DetailUnit unit, const Variant& value);

// A part's detail as a person reads it: "2 of 4", "34 x 19 cm", "15.6 in", "12 %".
std::string DetailForPerson(const PartDetail& part, const SayWord& say);

// Adds the detail's properties, typed, to a part's "details" object, named as
// the instrumentation names them; a detail worked out from others adds nothing.
void AddDetailJson(nlohmann::ordered_json& details, const PartDetail& part);

// The name of a code in English, as JSON and reports carry it ("DDR4", "SODIMM",
// "x64"); "" for a code without a name.
std::string CodeName(DetailUnit unit, int64_t code);

}  // namespace brv
