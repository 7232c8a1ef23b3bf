#include "containers/web/PageTexts.h"

#include <cstdint>
#include <exception>
#include <memory>

#include "platform/strings/Resources.h"

namespace brv::web {
namespace {

struct Entry {
  int32_t number;
  const char* name;
  const char* english;  // used when no catalogue can be found
};

// Message numbers of the page's texts.
constexpr Entry kEntries[] = {
    {2201, "title", "Parts Information"},
    {2202, "tagline", "The hardware parts of this machine, one category at a time"},
    {2203, "category", "Category"},
    {2204, "instance", "Instance"},
    {2205, "choose", "Choose a category"},
    {2206, "of", "of %1"},
    {2207, "none", "none"},
    {2208, "shown", "%1: instance %2 of %3"},
    {2209, "shownNone", "%1: none"},
    {2210, "grid", "Item and value"},
    {2211, "ok", "OK"},
    {2212, "callFailed", "SetSelectItem(\"%1\", %2) failed: %3"},
    {2213, "startFailed", "The control failed to start: %1"},
    {2214, "unreachable", "The control cannot be reached: %1"},
    {2215, "answered", "The server answered %1."},
    {2216, "badAddress", "The address names no category and instance: %1"},
    {2321, "baselineFrom", "Compared with %1 (host %2, taken %3)"},
    {2322, "baselineUnknown", "unknown"},
    {2323, "markAdded", "added since then"},
    {2324, "markChanged", "changed since then"},
    {2325, "markGone", "gone since then"},
    {2326, "notCompared", "%1 could not be read whole; not compared"},
    {2401, "details", "Details"},
    {211, "unknown", "<Empty>"},
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
    std::string text = e.english;
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
