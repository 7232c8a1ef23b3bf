#include "containers/web/PageTexts.h"

#include <cstdint>
#include <exception>
#include <memory>

#include "module/EnglishText.h"
#include "platform/strings/Resources.h"

namespace brv::web {
namespace {

struct Entry {
  int32_t number;
  const char* name;
};

// Message numbers of the page's texts.
constexpr Entry kEntries[] = {
    {2201, "title"},       {2202, "tagline"},      {2203, "category"},
    {2204, "instance"},    {2205, "choose"},       {2206, "of"},
    {2207, "none"},        {2208, "shown"},        {2209, "shownNone"},
    {2210, "grid"},        {2211, "ok"},           {2212, "callFailed"},
    {2213, "startFailed"}, {2214, "unreachable"},  {2215, "answered"},
    {2216, "badAddress"},  {2321, "baselineFrom"}, {2322, "baselineUnknown"},
    {2323, "markAdded"},   {2324, "markChanged"},  {2325, "markGone"},
    {2326, "notCompared"}, {2401, "details"},      {211, "unknown"},
};

// A catalogue's language ("ja", "de_AT") as a language tag; anything that is not
// letters, digits and separators is taken for English.
std::string LanguageTag(const std::string& language) {
  if (language.empty() || language.size() > 35) return "en";
  std::string tag;
  for (const char c : language) {
    if (c == '_' || c == '-') {
      tag += '-';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      tag += c;
    } else {
      return "en";
    }
  }
  return tag;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&#39;"
                                     : nullptr;
    if (entity) {
      out += entity;
    } else {
      out += c;
    }
  }
}

}  // namespace

const std::string& PageTexts::Text(std::string_view name) const {
  static const std::string kNone;
  for (const auto& [key, text] : texts) {
    if (key == name) return text;
  }
  return kNone;
}

PageTexts LoadPageTexts(const Resources* resources) {
  PageTexts page;
  if (resources) page.language = LanguageTag(resources->language());
  for (const Entry& e : kEntries) {
    std::string text(EnglishText(e.number));  // when no catalogue has it
    if (resources) {
      try {
        text = resources->GetResourceString(e.number);
      } catch (const std::exception&) {
        // A catalogue without this number: the English text.
      }
    }
    page.texts.emplace_back(e.name, std::move(text));
  }
  return page;
}

PageTexts LoadPageTexts() {
  std::unique_ptr<Resources> resources;
  try {
    resources = std::make_unique<Resources>();
  } catch (const std::exception&) {
    // No catalogue: the built-in English texts.
  }
  return LoadPageTexts(resources.get());
}

std::string FillPage(std::string_view document, const PageTexts& texts) {
  std::string out;
  out.reserve(document.size() + 512);
  for (size_t at = 0;;) {
    const size_t open = document.find("{{", at);
    const size_t close = open == std::string_view::npos ? open : document.find("}}", open + 2);
    if (close == std::string_view::npos) {
      out += document.substr(at);
      return out;
    }
    out += document.substr(at, open - at);
    const std::string_view name = document.substr(open + 2, close - open - 2);
    bool known = name == "lang";
    if (known) {
      AppendEscaped(out, texts.language);
    } else {
      for (const auto& [key, text] : texts.texts) {
        if (key == name) {
          AppendEscaped(out, text);
          known = true;
          break;
        }
      }
    }
    if (!known) out += document.substr(open, close + 2 - open);
    at = close + 2;
  }
}

}  // namespace brv::web
