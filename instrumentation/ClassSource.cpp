#include "instrumentation/ClassSource.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "common/Text.h"
#include "platform/InstrumentationClasses.h"

namespace brv {

const Property* Instance::Find(std::string_view name) const {
  for (const Property& p : properties) {
    if (EqualNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

Instance& Instance::Set(std::string name, Variant value) {
  for (Property& p : properties) {
    if (EqualNoCase(p.name, name)) {
      p.value = std::move(value);
      p.error.reset();
      return *this;
    }
  }
  properties.push_back({std::move(name), std::move(value), std::nullopt});
  return *this;
}

std::optional<std::string> BuiltinKeyProperty(std::string_view className) {
  for (const InstrumentationClassInfo& c : kInstrumentationClasses) {
    if (!c.keyProperty.empty() && EqualNoCase(c.name, className)) return std::string(c.keyProperty);
  }
  return std::nullopt;
}

namespace {
std::mutex gSourceLock;
std::shared_ptr<const ClassSource> gSource;
thread_local std::shared_ptr<const ClassSource> tThreadSource;
}  // namespace

void UseClassSource(std::shared_ptr<const ClassSource> source) {
  std::lock_guard guard(gSourceLock);
  gSource = std::move(source);
}

std::shared_ptr<const ClassSource> CurrentClassSource() {
  if (tThreadSource) return tThreadSource;
  std::lock_guard guard(gSourceLock);
  return gSource;
}

ThreadClassSource::ThreadClassSource(std::shared_ptr<const ClassSource> source)
    : previous_(std::exchange(tThreadSource, std::move(source))) {}

ThreadClassSource::~ThreadClassSource() { tThreadSource = std::move(previous_); }

namespace {

class ReadOnceSource : public ClassSource {
 public:
  explicit ReadOnceSource(std::shared_ptr<const ClassSource> source) : source_(std::move(source)) {}
  std::optional<int32_t> Unreachable() const override { return source_->Unreachable(); }
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override {
    const std::string key = LowerAscii(className);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (const auto it = answers_.find(key); it != answers_.end()) return it->second;
    }
    auto answer = source_->Query(className);
    const std::lock_guard<std::mutex> lock(mutex_);
    return answers_.emplace(key, std::move(answer)).first->second;
  }
  std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view key,
                                                std::string_view value) const override {
    return source_->QueryByKey(className, key, value);
  }
  std::optional<std::string> KeyProperty(std::string_view className) const override {
    return source_->KeyProperty(className);
  }
  Provenance Origin() const override { return source_->Origin(); }

 private:
  std::shared_ptr<const ClassSource> source_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<const ClassAnswer>> answers_;
};

}  // namespace

ReadEachClassOnce::ReadEachClassOnce(bool enabled) {
  if (auto source = CurrentClassSource(); enabled && source) {
    scope_.emplace(std::make_shared<ReadOnceSource>(std::move(source)));
  }
}

}  // namespace brv
