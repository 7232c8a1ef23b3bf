#include "platform/standins/grid/GridJson.h"

#include <cmath>

namespace brv {
namespace {

template <class T>
nlohmann::json Optional(const std::optional<T>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

nlohmann::json Twips(float v) {
  if (std::nearbyint(v) == v) return static_cast<int64_t>(v);
  return v;
}

}  // namespace

nlohmann::json GridToJson(const GridState& s) {
  nlohmann::json text = nlohmann::json::array(), fill = nlohmann::json::array(), cellFormat = nlohmann::json::array();
  for (int32_t r = 0; r < s.rows; ++r) {
    nlohmann::json t = nlohmann::json::array(), f = nlohmann::json::array(), c = nlohmann::json::array();
    for (int32_t col = 0; col < s.cols; ++col) {
      t.push_back(s.text[r][col]);
      f.push_back(Optional(s.fill[r][col]));
      c.push_back(Optional(s.cellFormat[r][col]));
    }
    text.push_back(std::move(t));
    fill.push_back(std::move(f));
    cellFormat.push_back(std::move(c));
  }
  nlohmann::json colFormat = nlohmann::json::array();
  for (const auto& f : s.colFormat) colFormat.push_back(Optional(f));
  return nlohmann::json{
      {"rows", s.rows},           {"cols", s.cols},
      {"text", std::move(text)},  {"rowHeight", s.rowHeight},
      {"colWidth", s.colWidth},   {"fill", std::move(fill)},
      {"cellFormat", std::move(cellFormat)}, {"colFormat", std::move(colFormat)},
      {"scrollBars", Optional(s.scrollBars)}, {"row", s.row},
      {"col", s.col},             {"width", Twips(s.width)},
      {"height", Twips(s.height)},
  };
}

}  // namespace brv
