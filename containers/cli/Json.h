#pragma once
// The inventory as one JSON document for people's scripts:
//   {"categories": {"CPU": [{"Index": "1", "Name": "...", ...}], "CD,DVD": [], ...},
//    "messages": [{"category", "title", "prompt"}], "errors": [{"category", "number", "description"}]}
// Keys are the English captions whatever the language; values are the texts shown,
// null where the grid shows its empty text; a category whose query failed is null.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "common/Category.h"
#include "containers/cli/Session.h"
#include "platform/Grid.h"

namespace brv::cli {

// Captions in the user's language back to English, by their message numbers.
class EnglishCaptions {
 public:
  EnglishCaptions();
  std::string operator()(const std::string& shown) const;
  const std::string& emptyText() const { return empty_; }

 private:
  std::map<std::string, std::string> english_;
  std::string empty_ = "<Empty>";
};

// One instance: caption → value, rows in the grid's order, blank rows left out.
nlohmann::ordered_json InstanceJson(const GridState& grid, const EnglishCaptions& captions);

// The document above for every category (or the one asked for, and one
// instance of it), read through the session's control. Nothing, with the
// count told on standard error, when the instance asked for is past the count.
std::optional<nlohmann::ordered_json> InventoryJson(Session& session, std::optional<Category> only = std::nullopt,
                                                    std::optional<int32_t> instance = std::nullopt);

}  // namespace brv::cli
