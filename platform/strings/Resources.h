#pragma once
// The localized-string provider: an automation object whose one method,
// GetResourceString, answers a message number with its text in the user's
// language. Its texts come from the message catalogues installed with the program.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Automation.h"

namespace brv {

// One catalogue: message number to text.
using Catalogue = std::map<int32_t, std::string>;

// File and folder names here are UTF-8 text.
//
// Reads a catalogue file: one message a line, its number, a tab or blanks, then
// its text; blank lines and lines starting with '#' are skipped. Raises an Error
// naming the file and line for anything else.
Catalogue ReadCatalogue(const std::string& path);
// The same, shared: a file read once is kept (and handed out again) while its
// size and time stay as they were, since a provider is made for every box the
// control shows.
std::shared_ptr<const Catalogue> SharedCatalogue(const std::string& path);

// The languages to look for, most wanted first, from LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG as the C library reads them ("ja_JP.UTF-8" gives "ja_JP",
// then "ja"); English is always last.
std::vector<std::string> PreferredLanguages();

// The folder the catalogues are read from: $BRVPARTS_MESSAGES, else "messages"
// beside the program, else "../share/brvparts/messages" from the program.
std::string CatalogueFolder();

class Resources : public AutomationObject {
 public:
  // Loads the best catalogue for the user's languages, English filling any gaps.
  // Raises an Error when no catalogue can be found.
  Resources();
  explicit Resources(const std::string& folder, const std::vector<std::string>& languages);

  Variant Call(std::string_view method, std::vector<Variant>& args) override;
  // The text of a message; a number no catalogue has raises 5.
  std::string GetResourceString(int32_t number) const;
  // The language of the catalogue that message comes from: the chosen one's,
  // or "en" for a gap English fills; a number no catalogue has raises 5.
  std::string GetResourceLanguage(int32_t number) const;
  const std::string& language() const { return language_; }

 private:
  std::shared_ptr<const Catalogue> chosen_ = std::make_shared<const Catalogue>();
  std::shared_ptr<const Catalogue> english_ = std::make_shared<const Catalogue>();
  std::string language_;
};

// The factory the class registry uses for kResourcesProgId.
std::shared_ptr<AutomationObject> CreateResources();

}  // namespace brv
