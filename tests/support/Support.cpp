#include "tests/support/Support.h"

#include "common/Trap.h"
#include "platform/standins/resources/Resources.h"

namespace brv::test {

std::vector<int32_t>& FakeProvider::Asked() {
  thread_local std::vector<int32_t> asked;
  return asked;
}

Variant FakeProvider::Call(std::string_view method, std::vector<Variant>& args) {
  if (method != "GetResourceString") Raise(err::kNoSuchMember);
  const int32_t n = ToInt32(args.at(0));
  Asked().push_back(n);
  return "#" + std::to_string(n);
}

ProviderScope::ProviderScope(ProviderMode mode) { Switch(mode); }
ProviderScope::~ProviderScope() { RegisterClass(kResourcesProgId, CreateResources); }

void ProviderScope::Switch(ProviderMode mode) {
  switch (mode) {
    case ProviderMode::Fake: RegisterClass(kResourcesProgId, [] { return std::make_shared<FakeProvider>(); }); break;
    case ProviderMode::Missing: RegisterClass(kResourcesProgId, {}); break;
    case ProviderMode::Installed: RegisterClass(kResourcesProgId, CreateResources); break;
  }
}

BoxRecorder::BoxRecorder()
    : previous_(SetMessageBoxHandler([this](const std::string& prompt, const std::string& title, int32_t style) {
        boxes.push_back({prompt, title, style});
      })) {}

BoxRecorder::~BoxRecorder() { SetMessageBoxHandler(std::move(previous_)); }

void ResetModule() {
  Module() = ModuleState{};
  ThreadError().Clear();
  FakeProvider::Asked().clear();
}

}  // namespace brv::test
