#pragma once
// The inventory as the control shows it, as one JSON document (what --json
// prints, and what diff compares):
//   {"categories": {"CPU": [{"Index": "1", "Name": "...", ...}], "CD,DVD": [], ...},
//    "messages": [{"category", "title", "prompt"}], "errors": [{"category", "number", "description"}]}
// Keys are the English captions whatever the language; values are the texts shown,
// null where the grid shows its empty text; a category whose query failed is null.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/Category.h"
#include "containers/common/Session.h"
#include "module/EnglishText.h"
#include "platform/Grid.h"

namespace brv {

// Captions in the user's language back to English, by their message numbers.
class EnglishCaptions {
 public:
  EnglishCaptions();
  std::string operator()(const std::string& shown) const;
  // The other way: an English caption as the grid shows it in the user's language.
  std::string Shown(const std::string& english) const;
  const std::string& emptyText() const { return empty_; }

 private:
  std::map<std::string, std::string> english_, shown_;
  std::string empty_ = std::string(EnglishText(211));
};

// One instance: caption → value, rows in the grid's order, blank rows left out.
// `shown`, when given, gets each English caption's text as the grid shows it.
nlohmann::ordered_json InstanceJson(const GridState& grid, const EnglishCaptions& captions,
                                    std::map<std::string, std::string>* shown = nullptr);

// Per category, the English captions of its rows → their texts as shown.
using CaptionsShown = std::map<std::string, std::map<std::string, std::string>>;

// An instance asked for that the category does not have.
struct PastTheCount {
  std::string category;
  int32_t count = 0;
};

// Per category, each instance's values as the inventory holds them (the
// table's row behind the grid, in the columns' order): numbers as numbers.
using InventoryValues = std::map<std::string, std::vector<std::vector<Variant>>>;

// The document of the categories asked for (every one when `only` is empty),
// each with every instance or only `instance`, drawn by the session's control.
// Nothing when `instance` is past the count of the category asked for; `past`
// then says which, and how many it has. `shown`, when given, gets the captions
// of the categories drawn as the grid shows them; `values`, each instance's values.
std::optional<nlohmann::ordered_json> InventoryDocument(Session& session, std::optional<Category> only = std::nullopt,
                                                        std::optional<int32_t> instance = std::nullopt,
                                                        PastTheCount* past = nullptr, CaptionsShown* shown = nullptr,
                                                        InventoryValues* values = nullptr, bool details = false);

// With `details`, each instance also has a "details" object: the catalogue's
// details named as the instrumentation names them, typed (numbers in bytes, MHz,
// MT/s, mWh, bit/s; codes by their names; null where unknown).

}  // namespace brv
