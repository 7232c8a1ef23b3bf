#pragma once
// The page's own texts (its title, headings, counts and status lines) from the
// control's message catalogues in the server's language, English where a
// catalogue lacks one; and the document with them filled in.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brv {
class Resources;
}

namespace brv::web {

struct PageTexts {
  // The language tag for <html lang>: "en", "ja", "de-AT".
  std::string language = "en";
  // Each text by the name the page's script and document use; %1, %2, ... are
  // filled in by the script.
  std::vector<std::pair<std::string, std::string>> texts;

  // The text called `name`, or an empty one.
  const std::string& Text(std::string_view name) const;
};

// The texts from `resources`, or the built-in English ones without it.
PageTexts LoadPageTexts(const Resources* resources);
// The texts in the server's language, as the control chooses its own.
PageTexts LoadPageTexts();

// The document with every {{name}} replaced by that text, escaped for HTML, and
// {{lang}} by the language tag. A name with no text is left as it stands.
std::string FillPage(std::string_view document, const PageTexts& texts);

}  // namespace brv::web
