#include "module/Module1.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "common/Error.h"
#include "common/Text.h"
#include "common/Trap.h"
#include "module/EnglishText.h"
#include "module/ModuleState.h"
#include "platform/Automation.h"

namespace brv {

bool CreateResourceProvider() {
  ThreadError().Clear();
  bool created = false;
  try {
    Module().ResourceProvider = CreateObject(kResourcesProgId);
    created = true;
  } catch (const Error&) {
  }
  ThreadError().Clear();
  return created;
}

std::string GetLocalMessage(int32_t& number) {
  const std::shared_ptr<AutomationObject> provider = Module().ResourceProvider;
  if (!provider) return "Error : No Local Data";
  std::vector<Variant> args{Variant(number)};
  const Variant text = provider->Call("GetResourceString", args);
  if (auto changed = args[0].get_if<int32_t>()) number = *changed;
  return TextOf(text);
}

LocalTexts::LocalTexts() : localized_(CreateResourceProvider()) {}

std::string LocalTexts::operator()(int32_t number) const {
  return localized_ ? GetLocalMessage(number) : std::string(EnglishText(number));
}

namespace {

// The language the provider takes a message from; nullopt when it cannot say
// (a provider that answers texts only).
std::optional<std::string> LanguageOf(int32_t number) {
  const std::shared_ptr<AutomationObject> provider = Module().ResourceProvider;
  if (!provider) return std::nullopt;
  try {
    std::vector<Variant> args{Variant(number)};
    return TextOf(provider->Call("GetResourceLanguage", args));
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

LocalTexts::Box LocalTexts::English(int32_t promptNumber, int32_t titleNumber) {
  return {std::string(EnglishText(promptNumber)), std::string(EnglishText(titleNumber))};
}

LocalTexts::Box LocalTexts::ForBox(int32_t promptNumber, int32_t titleNumber) const {
  if (!localized_) return English(promptNumber, titleNumber);
  Box box;
  box.prompt = GetLocalMessage(promptNumber);
  box.title = GetLocalMessage(titleNumber);
  const auto promptLanguage = LanguageOf(promptNumber), titleLanguage = LanguageOf(titleNumber);
  if (promptLanguage && titleLanguage && *promptLanguage != *titleLanguage) return English(promptNumber, titleNumber);
  return box;
}

std::string GetGuidString(const void* riid) {
  if (riid == nullptr) return "";
  unsigned char b[16];
  std::memcpy(b, riid, sizeof b);
  const auto le32 = [&](int i) {
    return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | static_cast<uint32_t>(b[i + 3]) << 24;
  };
  const auto le16 = [&](int i) { return static_cast<unsigned>(b[i] | b[i + 1] << 8); };
  return UpperAscii(fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}", le32(0),
                                le16(4), le16(6), b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]));
}

}  // namespace brv
