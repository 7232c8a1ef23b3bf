#include "containers/cli/Json.h"

#include "platform/strings/Resources.h"

namespace brv::cli {

EnglishCaptions::EnglishCaptions() {
  try {
    const Resources chosen;
    const std::string folder = CatalogueFolder();
    const Catalogue english = ReadCatalogue(folder + "/en.msg");
    for (const auto& [number, text] : english) {
      try {
        english_.emplace(chosen.GetResourceString(number), text);
      } catch (const std::exception&) {
      }
    }
    empty_ = chosen.GetResourceString(211);
  } catch (const std::exception&) {
    // No catalogue: the control shows its built-in English texts.
  }
}

std::string EnglishCaptions::operator()(const std::string& shown) const {
  const auto found = english_.find(shown);
  return found == english_.end() ? shown : found->second;
}

nlohmann::ordered_json InstanceJson(const GridState& grid, const EnglishCaptions& captions) {
  nlohmann::ordered_json instance = nlohmann::ordered_json::object();
  for (size_t row = 1; row < grid.text.size(); ++row) {
    const std::vector<std::string>& cells = grid.text[row];
    if (cells.size() < 2 || cells[0].find_first_not_of(' ') == std::string::npos) continue;  // padding
    instance[captions(cells[0])] = cells[1] == captions.emptyText() ? nlohmann::ordered_json() : nlohmann::ordered_json(cells[1]);
  }
  return instance;
}

}  // namespace brv::cli
