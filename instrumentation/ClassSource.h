#pragma once
// What answers the instrumentation on Linux: a source of classes, each class a
// list of instances, each instance a list of properties. A class, an instance or a
// property may carry the service's error number instead of a value, so that every
// failure the service can show is reproducible. The source is chosen once for the
// whole process by the container.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Variant.h"

namespace brv {

struct Property {
  std::string name;
  Variant value;
  std::optional<int32_t> error;  // reading it fails with this number
};

struct Instance {
  std::vector<Property> properties;
  std::optional<int32_t> error;  // fetching it fails with this number (the enumeration ends)

  // The property named so, compared without regard to case; null when absent.
  const Property* Find(std::string_view name) const;
  // Adds or replaces a property (a convenience for sources that build instances).
  Instance& Set(std::string name, Variant value);
};

struct ClassAnswer {
  std::optional<int32_t> error;  // the query fails with this number
  std::vector<Instance> instances;
};

// Where and when a source's answers were taken: the machine's host name and the
// time in UTC ("2026-12-06T16:20:05Z"), each when the source knows it.
struct Provenance {
  std::optional<std::string> host;
  std::optional<std::string> time;
};

class ClassSource {
 public:
  virtual ~ClassSource() = default;
  // A number when binding any moniker fails (the service cannot be reached).
  virtual std::optional<int32_t> Unreachable() const { return std::nullopt; }
  // The answer to "select * from CLASS". A class the source does not know
  // answers with 0x80041010 (invalid class).
  virtual std::shared_ptr<const ClassAnswer> Query(std::string_view className) const = 0;
  // The instances an object path may name, `key` equal to `value`: by default
  // the whole class, which the caller sifts. A source that can find one
  // instance without reading the whole class answers with fewer.
  virtual std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view /*key*/,
                                                        std::string_view /*value*/) const {
    return Query(className);
  }
  // The key property used by object paths, when the source names one.
  virtual std::optional<std::string> KeyProperty(std::string_view /*className*/) const { return std::nullopt; }
  // Where and when: a live source answers its machine's name and the present
  // time, a snapshot what its capture recorded.
  virtual Provenance Origin() const { return {}; }
};

// The key property of the classes this system looks up by object path.
std::optional<std::string> BuiltinKeyProperty(std::string_view className);

// The process-wide source. Without one, binding fails with 0x80041001 and a note
// that no source was chosen.
void UseClassSource(std::shared_ptr<const ClassSource> source);
// This thread's source while a ThreadClassSource lives on it, else the process's.
std::shared_ptr<const ClassSource> CurrentClassSource();

// Makes the controls on this thread answer from `source` for as long as the
// object lives, whatever the process's source: a container compares an
// inventory it keeps (a baseline) with the one the process serves. The source
// before it is restored when it ends.
class ThreadClassSource {
 public:
  explicit ThreadClassSource(std::shared_ptr<const ClassSource> source);
  ~ThreadClassSource();
  ThreadClassSource(const ThreadClassSource&) = delete;
  ThreadClassSource& operator=(const ThreadClassSource&) = delete;

 private:
  std::shared_ptr<const ClassSource> previous_;
};

// For its lifetime, this thread reads each class of the current source once:
// every later query of a class answers what the first did. One inventory and its
// details are one moment of the machine, and the classes several categories and
// their details share are read once. When `enabled` is false or no source is
// set, nothing changes.
class ReadEachClassOnce {
 public:
  explicit ReadEachClassOnce(bool enabled);

 private:
  std::optional<ThreadClassSource> scope_;
};

}  // namespace brv
