// The instrumentation service on Linux: monikers, queries and enumerations
// answered from the process's class source.
#include "instrumentation/SourceService.h"

#include <cctype>
#include <vector>

#include "common/Error.h"
#include "common/Excerpt.h"
#include "common/Text.h"
#include "instrumentation/ClassSource.h"
#include "instrumentation/Moniker.h"

namespace brv::wmi {
namespace {

constexpr int32_t kInvalidNamespace = static_cast<int32_t>(0x8004100Eu);
constexpr int32_t kInvalidObjectPath = static_cast<int32_t>(0x8004103Au);

[[noreturn]] void Fail(int32_t number, const std::string& detail) { Raise(number, detail); }

// The object path a moniker names ("" for the namespace itself), once its
// machine and namespace are found to be the ones this source answers for.
std::string PathOf(const std::string& text) {
  const Moniker m = ParseMoniker(text);
  if (m.machine != ".") Fail(err::kRpcUnavailable, "only the local machine \".\" can be reached");
  if (m.nameSpace.empty()) Fail(kInvalidNamespace, "no namespace");
  if (!EqualNoCase(m.nameSpace, "root/cimv2")) Fail(kInvalidNamespace, "namespace " + Excerpt(m.nameSpace));
  return m.path;
}

std::shared_ptr<const ClassSource> Connect() {
  std::shared_ptr<const ClassSource> source = CurrentClassSource();
  if (!source) Fail(err::kWbemFailed, "no instrumentation source was chosen");
  if (auto number = source->Unreachable()) Fail(*number, "the instrumentation service cannot be reached");
  return source;
}

// Checks an answer: a class that failed raises its number.
std::shared_ptr<const ClassAnswer> Checked(std::shared_ptr<const ClassAnswer> answer, std::string_view className) {
  if (!answer) Fail(err::kWbemInvalidClass, std::string(className));
  if (answer->error) Fail(*answer->error, std::string(className));
  return answer;
}

class InstanceObject : public Object {
 public:
  InstanceObject(std::shared_ptr<const ClassAnswer> owner, const Instance& instance)
      : owner_(std::move(owner)), instance_(instance) {}
  Variant Get(std::string_view name) const override {
    const Property* p = instance_.Find(name);
    if (!p) Fail(err::kWbemNotFound, "no property " + std::string(name));
    if (p->error) Fail(*p->error, "reading " + std::string(name));
    return p->value;
  }

 private:
  std::shared_ptr<const ClassAnswer> owner_;  // keeps the instance alive
  const Instance& instance_;
};

class AnswerEnumerator : public Enumerator {
 public:
  explicit AnswerEnumerator(std::shared_ptr<const ClassAnswer> answer) : answer_(std::move(answer)) {}
  std::unique_ptr<Object> Next() override {
    if (next_ >= answer_->instances.size()) return nullptr;
    const Instance& instance = answer_->instances[next_];
    if (instance.error) {
      next_ = answer_->instances.size();
      Fail(*instance.error, "fetching an instance");
    }
    ++next_;
    return std::make_unique<InstanceObject>(answer_, instance);
  }

 private:
  std::shared_ptr<const ClassAnswer> answer_;
  size_t next_ = 0;
};

class QueryAnswer : public ObjectSet {
 public:
  QueryAnswer(std::shared_ptr<const ClassSource> source, std::string className)
      : source_(std::move(source)), className_(std::move(className)) {}
  // The query is answered when its enumeration starts, as the service does by default.
  std::unique_ptr<Enumerator> Enumerate() override {
    return std::make_unique<AnswerEnumerator>(Checked(source_->Query(className_), className_));
  }

 private:
  std::shared_ptr<const ClassSource> source_;
  std::string className_;
};

// "select * from CLASS", with any spacing and letter case; nothing else is understood.
std::string ClassOfQuery(const std::string& query) {
  const std::vector<std::string_view> words = SplitFields(query, " \t\n\v\f\r");
  if (words.size() != 4 || !EqualNoCase(words[0], "select") || words[1] != "*" || !EqualNoCase(words[2], "from")) {
    Fail(err::kWbemInvalidQuery, query);
  }
  for (char c : words[3]) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') Fail(err::kWbemInvalidQuery, query);
  }
  return std::string(words[3]);
}

class SourceServices : public Services {
 public:
  explicit SourceServices(std::shared_ptr<const ClassSource> source) : source_(std::move(source)) {}
  std::unique_ptr<ObjectSet> ExecQuery(const std::string& query) override {
    return std::make_unique<QueryAnswer>(source_, ClassOfQuery(query));
  }

 private:
  std::shared_ptr<const ClassSource> source_;
};

}  // namespace

std::unique_ptr<Services> BindSourceServices(const std::string& moniker) {
  if (!PathOf(moniker).empty()) Fail(kInvalidMoniker, "the moniker names an object, not a namespace");
  return std::make_unique<SourceServices>(Connect());
}

std::unique_ptr<Object> BindSourceObject(const std::string& moniker) {
  const std::string wholePath = PathOf(moniker);
  const std::string_view path = wholePath;
  const size_t equals = path.find('=');
  if (path.empty() || equals == std::string_view::npos) Fail(kInvalidObjectPath, std::string(path));
  std::string_view name = path.substr(0, equals);
  std::string_view value = path.substr(equals + 1);
  if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  std::string className(name.substr(0, name.find('.')));
  const auto source = Connect();
  std::optional<std::string> key;
  if (name.find('.') != std::string_view::npos) key = std::string(name.substr(name.find('.') + 1));
  if (!key) key = source->KeyProperty(className);
  if (!key) key = BuiltinKeyProperty(className);
  if (!key) {
    Checked(source->Query(className), className);  // an unknown class is named as such first
    Fail(kInvalidObjectPath, "the class " + className + " has no key property");
  }
  const auto answer = Checked(source->QueryByKey(className, *key, value), className);
  for (const Instance& instance : answer->instances) {
    if (instance.error) Fail(*instance.error, "fetching an instance");
    const Property* p = instance.Find(*key);
    if (!p || p->error || p->value.IsNull() || p->value.IsArray()) continue;
    if (TextOf(p->value) == value) return std::make_unique<InstanceObject>(answer, instance);
  }
  Fail(err::kWbemNotFound, std::string(path));
}

}  // namespace brv::wmi
