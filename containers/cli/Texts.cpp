#include "containers/cli/Texts.h"

#include <memory>

#include "common/Text.h"
#include "module/EnglishText.h"
#include "platform/strings/Resources.h"

namespace brv::cli {
namespace {

std::string Template(Text number) {
  static const std::unique_ptr<Resources> resources = []() -> std::unique_ptr<Resources> {
    try {
      return std::make_unique<Resources>();
    } catch (const std::exception&) {
      return nullptr;
    }
  }();
  if (resources) {
    try {
      return resources->GetResourceString(number);
    } catch (const std::exception&) {
    }
  }
  return std::string(EnglishText(number));
}

}  // namespace

std::string English(Text number) { return std::string(EnglishText(number)); }

std::string Say(Text number, std::initializer_list<std::string> args) { return FillIn(Template(number), args); }

std::string HasInstances(const std::string& category, int32_t count) {
  if (count <= 0) return Say(kHasNoInstances, {category});
  if (count == 1) return Say(kHasOneInstance, {category});
  return Say(kHasInstances, {category, std::to_string(count)});
}

}  // namespace brv::cli
