#include "instrumentation/ClassSource.h"

#include <atomic>
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

}  // namespace brv
