#pragma once
// The management instrumentation service as the collectors use it: bind a moniker,
// run "select * from CLASS", enumerate the answer, read properties by name.
// Every operation can raise an Error carrying the service's own number
// (0x80041010 invalid class, 0x80041001 generic failure, 0x80041002 not found,
// 0x800706BA unreachable, ...). Which source answers is the platform's business.
#include <memory>
#include <string>
#include <string_view>

#include "common/Variant.h"

namespace brv::wmi {

class Object {
 public:
  virtual ~Object() = default;
  // A property by name; null when the instance has no value for it. A name the
  // instance does not have raises an error.
  virtual Variant Get(std::string_view property) const = 0;
};

class Enumerator {
 public:
  virtual ~Enumerator() = default;
  // The next instance, or null at the end. Fetching can fail.
  virtual std::unique_ptr<Object> Next() = 0;
};

class ObjectSet {
 public:
  virtual ~ObjectSet() = default;
  // Starts an enumeration in the service's order. A query that cannot be answered
  // fails here at the latest.
  virtual std::unique_ptr<Enumerator> Enumerate() = 0;
};

class Services {
 public:
  virtual ~Services() = default;
  virtual std::unique_ptr<ObjectSet> ExecQuery(const std::string& query) = 0;
};

// Binds "winmgmts://MACHINE/root/cimv2" to the namespace's services.
std::unique_ptr<Services> BindServices(const std::string& moniker);
// Binds "winmgmts://MACHINE/root/cimv2:Class='value'" to the one instance it names.
std::unique_ptr<Object> BindObject(const std::string& moniker);

}  // namespace brv::wmi
