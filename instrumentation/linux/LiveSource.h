#pragma once
// The instrumentation classes answered from the running Linux machine: procfs,
// sysfs, the firmware's SMBIOS table, EDIDs, the udev database and hwdata's id
// lists, all read through one root directory ("/" for this machine, a captured
// tree in the tests). Works for an unprivileged user; the SMBIOS table, readable
// by root only, adds socket, memory-device and battery details.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrumentation/ClassSource.h"

namespace brv {

class LiveSource : public ClassSource {
 public:
  explicit LiveSource(std::string root = "/");
  ~LiveSource() override;

  // Every answer is read afresh: a disk, monitor or dock plugged in since the
  // last query shows up in the next one. Only a disk's serial number is kept,
  // for as long as the kernel counts that disk as the same instance.
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override;
  // A network adapter's configuration is found by its index alone.
  std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view key,
                                                std::string_view value) const override;
  std::optional<std::string> KeyProperty(std::string_view className) const override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The classes the collectors read, in the order a capture lists them.
const std::vector<std::string>& LiveClassNames();

}  // namespace brv
