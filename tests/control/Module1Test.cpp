#include "module/Module1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/Trap.h"
#include "module/ModuleState.h"
#include "platform/strings/Resources.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

using test::ProviderMode;

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { test::ResetModule(); }
};

TEST_F(Messages, NoProviderYet) {
  int32_t n = 211;
  EXPECT_EQ(GetLocalMessage(n), "Error : No Local Data");
}

TEST_F(Messages, ProviderKeptAfterAFailedLaterCreation) {
  test::ProviderScope provider(ProviderMode::Fake);
  ASSERT_TRUE(CreateResourceProvider());
  const auto kept = Module().ResourceProvider;
  provider.Switch(ProviderMode::Missing);
  const LocalTexts texts;
  EXPECT_FALSE(texts.localized());
  EXPECT_EQ(texts(103, "Parts Information - Error"), "Parts Information - Error");
  EXPECT_EQ(Module().ResourceProvider, kept);
  int32_t n = 102;
  EXPECT_EQ(GetLocalMessage(n), "#102");
}

TEST_F(Messages, CreationClearsThePendingError) {
  for (ProviderMode mode : {ProviderMode::Fake, ProviderMode::Missing}) {
    test::ProviderScope provider(mode);
    ThreadError().Set(err::kWbemInvalidClass, "Invalid class");
    CreateResourceProvider();
    EXPECT_FALSE(ThreadError().pending());
  }
}

TEST_F(Messages, ProviderTextThatIsNotTextFails) {
  struct NullProvider : AutomationObject {
    Variant Call(std::string_view, std::vector<Variant>&) override { return Null{}; }
  };
  test::ProviderScope restore(ProviderMode::Installed);
  RegisterClass(kResourcesProgId, [] { return std::make_shared<NullProvider>(); });
  ASSERT_TRUE(CreateResourceProvider());
  int32_t n = 201;
  EXPECT_THROW(GetLocalMessage(n), Error);
}

class Catalogues : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("brv-cat-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& name, const std::string& body) { std::ofstream(dir / name) << body; }
  std::filesystem::path dir;
};

TEST_F(Catalogues, ChoosesTheFirstLanguageThatHasOneAndFillsGapsInEnglish) {
  Write("en.msg", "201\tItem\n202\tValue\n");
  Write("de.msg", "# German\n201\tEintrag\n");
  Resources r(dir.string(), {"fr_FR", "fr", "de_DE", "de", "en"});
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
  EXPECT_THROW(Resources(dir.string(), {"en"}), Error);
  Write("en.msg", "201 Item\nnot a message\n");
  try {
    Resources(dir.string(), {"en"});
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("en.msg:2"), std::string::npos) << e.description();
  }
}

TEST(Locale, PreferredLanguagesFollowTheEnvironment) {
  const struct {
    const char *all, *messages, *lang, *language;
    std::vector<std::string> expected;
  } cases[] = {
      {"", "", "ja_JP.UTF-8", "", {"ja_JP", "ja", "en"}},
      {"", "de_AT.UTF-8@euro", "ja_JP.UTF-8", "", {"de_AT", "de", "en"}},
      {"C", "de_DE.UTF-8", "ja_JP.UTF-8", "de", {"en"}},
      {"", "", "de_DE.UTF-8", "ja:fr", {"ja", "fr", "de_DE", "de", "en"}},
      {"", "", "", "ja", {"en"}},
      {"C.UTF-8", "", "", "", {"en"}},
  };
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};
  std::vector<std::string> saved;
  for (const char* n : names) saved.push_back(std::getenv(n) ? std::getenv(n) : "");
  for (const auto& c : cases) {
    const char* values[] = {c.all, c.messages, c.lang, c.language};
    for (int i = 0; i < 4; ++i) setenv(names[i], values[i], 1);
    EXPECT_EQ(PreferredLanguages(), c.expected) << c.lang;
  }
  for (int i = 0; i < 4; ++i) setenv(names[i], saved[i].c_str(), 1);
}

// GetGuidString is checked through IObjectSafety in CollectorsTest (Safety):
// those interface ids exercise every field of the text.

}  // namespace
}  // namespace brv
