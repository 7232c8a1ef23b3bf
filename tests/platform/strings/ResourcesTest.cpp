// The string provider the builds ship: catalogues chosen by the user's
// languages, English filling gaps, and the installed catalogues complete.
#include <cstdlib>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "inventory/Catalogue.h"
#include "platform/strings/Resources.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// Every installed catalogue has the same message numbers as the English one
// (English would otherwise fill a gap unnoticed), and the English one has
// every number the control asks for.
TEST(InstalledCatalogues, HaveTheSameNumbersAndEveryNumberAskedFor) {
  const auto numbers = [](const std::string& lang) {
    std::set<int32_t> out;
    for (const auto& [n, text] : ReadCatalogue(std::string(BRV_CATALOGUE_DIR) + "/" + lang + ".msg")) {
      EXPECT_FALSE(text.empty()) << lang << " " << n;
      out.insert(n);
    }
    return out;
  };
  const std::set<int32_t> english = numbers("en");
  for (const char* lang : {"ja", "de"}) EXPECT_EQ(numbers(lang), english) << lang;
  std::set<int32_t> asked = {101, 102, 103, 201, 202, 211};
  for (const CategoryInfo& c : CategoryCatalogue()) {
    for (const Column& column : c.columns) asked.insert(column.caption);
  }
  for (int32_t n : asked) EXPECT_TRUE(english.count(n)) << n;
}

class Catalogues : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& body) { std::ofstream(dir.path() + "/" + name) << body; }
  const test::TempDir dir;
};

TEST_F(Catalogues, ChoosesTheFirstLanguageThatHasOneAndFillsGapsInEnglish) {
  Write("en.msg", "201\tItem\n202\tValue\n");
  Write("de.msg", "# German\n201\tEintrag\n");
  Resources r(dir.path(), {"fr_FR", "fr", "de_DE", "de", "en"});
  EXPECT_EQ(r.language(), "de");
  EXPECT_EQ(r.GetResourceString(201), "Eintrag");
  EXPECT_EQ(r.GetResourceString(202), "Value");
  EXPECT_THROW(r.GetResourceString(999), Error);
  // Each text's own catalogue: a gap English fills says so.
  EXPECT_EQ(r.GetResourceLanguage(201), "de");
  EXPECT_EQ(r.GetResourceLanguage(202), "en");
  EXPECT_THROW(r.GetResourceLanguage(999), Error);
}

TEST_F(Catalogues, NoCatalogueMeansNoProvider) {
  EXPECT_THROW(Resources(dir.path(), {"en"}), Error);
  Write("en.msg", "201 Item\nnot a message\n");
  try {
    Resources(dir.path(), {"en"});
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("en.msg:2"), std::string::npos) << e.description();
  }
}

// "$ LC_ALL | LC_MESSAGES | LANG | LANGUAGE" lines of
// tests/data/expected/languages.txt: the languages preferred, in order.
TEST(Locale, PreferredLanguagesFollowTheEnvironment) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};
  std::vector<std::string> saved;
  for (const char* n : names) saved.push_back(std::getenv(n) ? std::getenv(n) : "");
  test::ExpectAnswers("expected/languages.txt", [&](std::string line) {
    for (const char* name : names) {
      setenv(name, line.substr(0, line.find(" |")).c_str(), 1);
      line.erase(0, std::min(line.find(" |") + 3, line.size()));
    }
    std::string out;
    for (const std::string& language : PreferredLanguages()) out += (out.empty() ? "" : " ") + language;
    return out;
  });
  for (int i = 0; i < 4; ++i) setenv(names[i], saved[i].c_str(), 1);
}

}  // namespace
}  // namespace brv
