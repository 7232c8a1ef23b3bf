#include "containers/common/GridJson.h"

#include <cmath>

namespace brv {
namespace {

template <class T>
nlohmann::ordered_json Optional(const std::optional<T>& v) {
  return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json Twips(float v) {
  if (std::nearbyint(v) == v) return static_cast<int64_t>(v);
  return v;
}

}  // namespace

nlohmann::ordered_json GridToJson(const GridState& s) {
  nlohmann::ordered_json text = nlohmann::ordered_json::array(), fill = nlohmann::ordered_json::array(),
                         cellFormat = nlohmann::ordered_json::array();
  for (int32_t r = 0; r < s.rows; ++r) {
    nlohmann::ordered_json t = nlohmann::ordered_json::array(), f = nlohmann::ordered_json::array(),
                           c = nlohmann::ordered_json::array();
    for (int32_t col = 0; col < s.cols; ++col) {
      t.push_back(s.text[r][col]);
      f.push_back(Optional(s.fill[r][col]));
      c.push_back(Optional(s.cellFormat[r][col]));
    }
    text.push_back(std::move(t));
    fill.push_back(std::move(f));
    cellFormat.push_back(std::move(c));
  }
  nlohmann::ordered_json colFormat = nlohmann::ordered_json::array();
  for (const auto& f : s.colFormat) colFormat.push_back(Optional(f));
  return nlohmann::ordered_json{
      {"rows", s.rows},
      {"cols", s.cols},
      {"text", std::move(text)},
      {"rowHeight", s.rowHeight},
      {"colWidth", s.colWidth},
      {"fill", std::move(fill)},
      {"cellFormat", std::move(cellFormat)},
      {"colFormat", std::move(colFormat)},
      {"scrollBars", Optional(s.scrollBars)},
      {"row", s.row},
      {"col", s.col},
      {"width", Twips(s.width)},
      {"height", Twips(s.height)},
  };
}

}  // namespace brv
