#include "tests/support/Support.h"

#include "common/Trap.h"
#include "instrumentation/snapshot/Snapshot.h"
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

namespace {
int gQueries = 0;

class CountingSource : public ClassSource {
 public:
  explicit CountingSource(std::shared_ptr<const ClassSource> inner) : inner_(std::move(inner)) {}
  std::optional<int32_t> Unreachable() const override { return inner_->Unreachable(); }
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override {
    ++gQueries;
    return inner_->Query(className);
  }
  std::optional<std::string> KeyProperty(std::string_view c) const override { return inner_->KeyProperty(c); }

 private:
  std::shared_ptr<const ClassSource> inner_;
};
}  // namespace

void UseSnapshot(const std::string& document) {
  gQueries = 0;
  UseClassSource(std::make_shared<CountingSource>(
      std::make_shared<SnapshotSource>(ParseSnapshot(document, "test snapshot"))));
}

std::string SnapshotWith(const std::string& classes) {
  return R"({"format": "brvparts-snapshot/1", "classes": {)" + classes + "}}";
}

int QueriesAnswered() { return gQueries; }

void ResetModule() {
  Module() = ModuleState{};
  ThreadError().Clear();
  FakeProvider::Asked().clear();
}

}  // namespace brv::test

namespace brv {
void PrintTo(const Variant& value, std::ostream* out) {
  *out << KindName(value.kind());
  if (!value.IsNull() && !value.IsEmpty()) {
    try {
      *out << " " << TextOf(value);
    } catch (const Error&) {
      *out << " [...]";
    }
  }
}
}  // namespace brv
