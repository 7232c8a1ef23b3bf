#pragma once
// The inventory as one JSON document for people's scripts:
//   {"categories": {"CPU": [{"Index": "1", "Name": "...", ...}], "CD,DVD": [], ...},
//    "messages": [{"category", "title", "prompt"}], "errors": [{"category", "number", "description"}]}
// Keys are the English captions whatever the language; values are the texts shown,
// null where the grid shows its empty text; a category whose query failed is null.
#include <nlohmann/json.hpp>
#include <string>

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

}  // namespace brv::cli
