// The page's texts: taken from the catalogue of the server's language, and
// filled into the document escaped for HTML.
#include <gtest/gtest.h>

#include "containers/web/PageTexts.h"
#include "platform/strings/Resources.h"

namespace brv::web {
namespace {

TEST(PageTexts, FillsTheDocumentEscaped) {
  PageTexts texts;
  texts.language = "ja";
  texts.texts = {{"title", "Parts <Information>"}, {"quote", R"(say "hi" & 'bye')"}, {"empty", ""}};
  const struct {
    std::string document, filled;
  } cases[] = {
      {"<title>{{title}}</title>", "<title>Parts &lt;Information&gt;</title>"},
      {R"(<p title="{{quote}}">)", R"(<p title="say &quot;hi&quot; &amp; &#39;bye&#39;">)"},
      {R"(<html lang="{{lang}}">{{empty}}.)", R"(<html lang="ja">.)"},
      {"{{title}}{{title}}", "Parts &lt;Information&gt;Parts &lt;Information&gt;"},
      {"{{unknown}} stays", "{{unknown}} stays"},
      {"{{ title }} is no name", "{{ title }} is no name"},
      {"an open {{title", "an open {{title"},
      {"{{}}", "{{}}"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FillPage(c.document, texts), c.filled) << c.document;
}

TEST(PageTexts, ComeFromTheCatalogueOfTheLanguage) {
  const struct {
    std::vector<std::string> languages;
    std::string tag, title, of;
  } cases[] = {
      {{"ja_JP", "ja"}, "ja", "パーツ情報", "/ %1"},
      {{"de"}, "de", "Komponenteninformationen", "von %1"},
      {{"en"}, "en", "Parts Information", "of %1"},
      {{"fr_FR", "fr", "en"}, "en", "Parts Information", "of %1"},  // none for French: English
  };
  for (const auto& c : cases) {
    const Resources resources(BRV_CATALOGUE_DIR, c.languages);
    const PageTexts texts = LoadPageTexts(&resources);
    EXPECT_EQ(texts.language, c.tag) << c.tag;
    EXPECT_EQ(texts.Text("title"), c.title) << c.tag;
    EXPECT_EQ(texts.Text("of"), c.of) << c.tag;
  }
  // Without any catalogue: the built-in English texts, the same as en.msg's.
  const PageTexts builtIn = LoadPageTexts(nullptr);
  const Resources english(BRV_CATALOGUE_DIR, {"en"});
  const PageTexts fromFile = LoadPageTexts(&english);
  EXPECT_EQ(builtIn.language, "en");
  EXPECT_EQ(builtIn.texts, fromFile.texts);
}

}  // namespace
}  // namespace brv::web
