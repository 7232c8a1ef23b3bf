#include "containers/cli/CategoryArg.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/Excerpt.h"
#include "common/Text.h"
#include "containers/cli/Texts.h"

namespace brv::cli {
namespace {

// Levenshtein distance, case ignored; the text is cut to a length no name comes near.
size_t Distance(std::string_view a, std::string_view b) {
  a = a.substr(0, 64);
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::optional<Category> MatchCategory(std::string_view text) {
  text = Trim(text);
  for (Category c : kAllCategories) {
    if (EqualNoCase(NameOf(c), text)) return c;
  }
  return std::nullopt;
}

std::string_view NearestCategory(std::string_view text) {
  text = Trim(text);
  std::string_view best = kCategoryNames[0];
  size_t bestDistance = std::numeric_limits<size_t>::max();
  for (std::string_view name : kCategoryNames) {
    const size_t d = Distance(text, name);
    if (d < bestDistance) best = name, bestDistance = d;
  }
  return best;
}

std::string CategoryList() {
  std::string names;
  for (std::string_view name : kCategoryNames) {
    names += names.empty() ? "" : ", ";
    names += name.find_first_of(" ,") == std::string_view::npos ? std::string(name) : "\"" + std::string(name) + "\"";
  }
  return names;
}

std::string UnknownCategory(std::string_view text) {
  return Say(kUnknownCategory, {Excerpt(text), std::string(NearestCategory(text)), CategoryList()});
}

std::optional<int32_t> ParseInstance(std::string_view text) {
  text = Trim(text);
  if (!AllDigits(text)) return std::nullopt;
  int64_t n = 0;
  for (char c : text) {
    n = std::min<int64_t>(n * 10 + (c - '0'), std::numeric_limits<int32_t>::max());
  }
  if (n == 0) return std::nullopt;
  return static_cast<int32_t>(n);
}

}  // namespace brv::cli
