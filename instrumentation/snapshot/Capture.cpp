#include "instrumentation/snapshot/Capture.h"

#include "platform/InstrumentationClasses.h"

namespace brv {

const std::vector<std::string>& CollectorClassNames() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (const InstrumentationClassInfo& c : kInstrumentationClasses) names.emplace_back(c.name);
    return names;
  }();
  return kNames;
}

Snapshot CaptureSnapshot(const ClassSource& source) {
  Snapshot snapshot;
  snapshot.captured = source.Origin();
  snapshot.unreachable = source.Unreachable();
  for (const std::string& name : CollectorClassNames()) {
    std::optional<std::string> key = source.KeyProperty(name);
    if (!key) key = BuiltinKeyProperty(name);
    if (key) snapshot.keys.emplace_back(name, *key);
    const std::shared_ptr<const ClassAnswer> answer = source.Query(name);
    snapshot.classes.emplace_back(name, answer ? *answer : ClassAnswer{});
  }
  return snapshot;
}

}  // namespace brv
