#include "containers/common/DetailLines.h"

#include "containers/common/DetailText.h"
#include "inventory/Details.h"

namespace brv {

std::vector<DetailLine> DetailLines(Category category, int32_t index) {
  std::vector<DetailLine> lines;
  if (index < 1) return lines;
  // The lists run in the grid's order: the last of `index` lists is the instance's.
  const auto parts = ReadDetails(category, index);
  const SayWord say = UserMessages();
  for (const PartDetail& part : parts.back()) {
    std::string value = DetailForPerson(part, say);
    lines.push_back({say(part.detail->caption), value.empty() ? std::nullopt : std::optional(std::move(value))});
  }
  return lines;
}

}  // namespace brv
