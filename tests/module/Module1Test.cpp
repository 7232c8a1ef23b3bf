// The message operations every layer uses: the provider created once per
// thread, texts with and without it.
#include <gtest/gtest.h>

#include "common/Trap.h"
#include "module/Module1.h"
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

TEST_F(Messages, NoTextBeforeAProviderAndTheProviderKeptAfterAFailedLaterCreation) {
  int32_t n = 211;
  EXPECT_EQ(GetLocalMessage(n), "Error : No Local Data");
  test::ProviderScope provider(ProviderMode::Fake);
  ASSERT_TRUE(CreateResourceProvider());
  const auto kept = Module().ResourceProvider;
  provider.Switch(ProviderMode::Missing);
  const LocalTexts texts;
  EXPECT_FALSE(texts.localized());
  EXPECT_EQ(texts(103), "Parts Information - Error");
  EXPECT_EQ(Module().ResourceProvider, kept);
  n = 102;
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

}  // namespace
}  // namespace brv
