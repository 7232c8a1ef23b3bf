#include "containers/common/InventoryJson.h"

#include "containers/common/DetailText.h"
#include "instrumentation/ClassSource.h"
#include "inventory/Details.h"
#include "module/ModuleState.h"
#include "platform/strings/Resources.h"

namespace brv {

EnglishCaptions::EnglishCaptions() {
  try {
    const Resources chosen;
    const std::string folder = CatalogueFolder();
    const Catalogue english = ReadCatalogue(folder + "/en.msg");
    for (const auto& [number, text] : english) {
      try {
        const std::string shown = chosen.GetResourceString(number);
        english_.emplace(shown, text);
        if (number < 2000) shown_.emplace(text, shown);  // the control's captions
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

std::string EnglishCaptions::Shown(const std::string& english) const {
  const auto found = shown_.find(english);
  return found == shown_.end() ? english : found->second;
}

nlohmann::ordered_json InstanceJson(const GridState& grid, const EnglishCaptions& captions,
                                    std::map<std::string, std::string>* shown) {
  nlohmann::ordered_json instance = nlohmann::ordered_json::object();
  for (size_t row = 1; row < grid.text.size(); ++row) {
    const std::vector<std::string>& cells = grid.text[row];
    if (cells.size() < 2 || cells[0].find_first_not_of(' ') == std::string::npos) continue;  // padding
    const std::string english = captions(cells[0]);
    instance[english] = cells[1] == captions.emptyText() ? nlohmann::ordered_json() : nlohmann::ordered_json(cells[1]);
    if (shown) (*shown)[english] = cells[0];
  }
  return instance;
}

std::optional<nlohmann::ordered_json> InventoryDocument(Session& session, std::optional<Category> only,
                                                        std::optional<int32_t> instance, PastTheCount* past,
                                                        CaptionsShown* shown, InventoryValues* values, bool details) {
  // With the details, each class is read once for the grids and the details alike.
  const ReadEachClassOnce once(details);
  const EnglishCaptions captions;
  nlohmann::ordered_json categories = nlohmann::ordered_json::object();
  std::vector<std::pair<std::string, size_t>> cut;
  for (Category c : kAllCategories) {
    if (only && c != *only) continue;
    const std::string category(NameOf(c));
    nlohmann::ordered_json instances = nlohmann::ordered_json::array();
    int32_t count = 0;
    std::vector<int32_t> numbers;
    const Walked walked = WalkCategory(session, category, instance, count, [&](int32_t i, std::optional<int32_t>) {
      numbers.push_back(i);
      instances.push_back(InstanceJson(session.control().MSHFlexGrid1().State(), captions,
                                       shown && instances.empty() ? &(*shown)[category] : nullptr));
      if (!values) return;
      const ValueTable& table = Module().CurrentValues;
      std::vector<Variant>& row = (*values)[category].emplace_back();
      for (size_t col = 0; col < table.cols(); ++col) row.push_back(table.at(i - 1, static_cast<long>(col)));
    });
    if (walked == Walked::PastTheCount) {
      if (past) *past = {category, count};
      return std::nullopt;
    }
    // A list the control cut at its count is no list: null, and an error naming the limit.
    const std::optional<size_t> beyond =
        walked == Walked::Shown && !instance ? InstancesPastTheCount(category, count) : std::nullopt;
    if (beyond) cut.push_back({category, *beyond});
    if (details && walked == Walked::Shown && !beyond && !numbers.empty()) {
      const auto parts = ReadDetails(c, count);
      for (size_t k = 0; k < numbers.size(); ++k) {
        nlohmann::ordered_json& object = instances[k]["details"] = nlohmann::ordered_json::object();
        const size_t at = static_cast<size_t>(numbers[k] - 1);
        if (at < parts.size()) {
          for (const PartDetail& part : parts[at]) AddDetailJson(object, part);
        }
      }
    }
    categories[category] = walked == Walked::Failed || beyond ? nlohmann::ordered_json() : instances;
  }
  nlohmann::ordered_json messages = nlohmann::ordered_json::array(), errors = nlohmann::ordered_json::array();
  for (const auto& [category, instances] : cut) {
    errors.push_back({{"category", category},
                      {"number", 6},
                      {"description", PastTheCountText(category, instances) + ": none are listed"}});
  }
  for (const Box& b : session.boxes()) {
    messages.push_back({{"category", b.category}, {"title", b.title}, {"prompt", b.prompt}});
  }
  for (const CallError& e : session.errors()) {
    errors.push_back({{"category", e.category}, {"number", e.number}, {"description", e.description}});
  }
  return nlohmann::ordered_json{{"categories", categories}, {"messages", messages}, {"errors", errors}};
}

}  // namespace brv
