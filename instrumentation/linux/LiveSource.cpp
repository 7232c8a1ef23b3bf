#include "instrumentation/linux/LiveSource.h"

#include <array>
#include <ctime>
#include <mutex>

#include "common/Error.h"
#include "common/Text.h"
#include "instrumentation/LiveMachine.h"
#include "instrumentation/linux/HwIds.h"
#include "instrumentation/linux/Machine.h"
#include "instrumentation/linux/RootFs.h"
#include "platform/InstrumentationClasses.h"

namespace brv {

struct LiveSource::State {
  explicit State(std::string r) : root(std::move(r)), listsFs(root), ids(listsFs) {}
  std::string root;
  RootFs listsFs;  // used only by `ids`, under its lock
  HwIds ids;       // the id lists are read once and kept: the searches stay cheap
  live::Remembered remembered;

  // Netlink conversations kept between queries (opening one costs two system
  // calls); each query borrows one for its duration.
  std::mutex kernelLock;
  std::vector<std::unique_ptr<live::RouteNetlink>> kernels;

  std::unique_ptr<live::RouteNetlink> BorrowKernel() {
    std::lock_guard guard(kernelLock);
    if (kernels.empty()) return std::make_unique<live::RouteNetlink>();
    auto kernel = std::move(kernels.back());
    kernels.pop_back();
    return kernel;
  }
  void ReturnKernel(std::unique_ptr<live::RouteNetlink> kernel) {
    std::lock_guard guard(kernelLock);
    kernels.push_back(std::move(kernel));
  }

  // One answer, from a reader made for it: what the reader remembers of the
  // tree lasts one answer. A tree past the reader's bounds (a folder of more
  // names than any machine has) fails the query rather than answer a part.
  template <class Collect>
  std::shared_ptr<const ClassAnswer> Answer(Collect collect) {
    const RootFs fs(root);
    auto kernel = BorrowKernel();
    const live::Machine machine(fs, ids, kernel.get(), &remembered);
    ClassAnswer answer;
    try {
      answer = collect(machine);
    } catch (const Error& e) {
      answer = ClassAnswer{e.number(), {}};
    }
    ReturnKernel(std::move(kernel));
    return std::make_shared<const ClassAnswer>(std::move(answer));
  }
};

namespace {

using Collector = ClassAnswer (*)(const live::Machine&);

// One reader per class of the table, in the table's order.
constexpr std::array<Collector, kInstrumentationClasses.size()> kReaders = {
    live::Processors,
    live::MemoryDevices,
    live::DiskDrives,
    live::DiskDriveDetails,
    live::CdromDrives,
    live::Modems,
    live::Bluetooth,
    live::Batteries,
    live::DockingStations,
    live::NetworkAdapters,
    live::NetworkConfigurations,
    live::LcdPanels,
    live::VideoConfigurations,
    live::ExternalMonitors,
    live::ComputerSystem,
    live::PhysicalMemory,
    live::PhysicalMemoryArrays,
    live::VideoControllers,
};

}  // namespace

LiveSource::LiveSource(std::string root) : state_(std::make_unique<State>(std::move(root))) {}
LiveSource::~LiveSource() = default;

std::shared_ptr<const ClassAnswer> LiveSource::Query(std::string_view className) const {
  for (const InstrumentationClassInfo& c : kInstrumentationClasses) {
    if (EqualNoCase(c.name, className)) return state_->Answer(kReaders[static_cast<size_t>(c.id)]);
  }
  static const auto kMissing = std::make_shared<const ClassAnswer>(ClassAnswer{err::kWbemInvalidClass, {}});
  return kMissing;
}

std::shared_ptr<const ClassAnswer> LiveSource::QueryByKey(std::string_view className, std::string_view key,
                                                          std::string_view value) const {
  const std::optional<int32_t> index = ParseInteger<int32_t>(value);
  // Only the index's own spelling names it, as when the whole class is sifted.
  if (!EqualNoCase(className, ClassName(InstrumentationClass::NetworkAdapterConfiguration)) ||
      !EqualNoCase(key, "Index") || !index || std::to_string(*index) != value) {
    return Query(className);
  }
  return state_->Answer([n = *index](const live::Machine& m) { return live::NetworkConfiguration(m, n); });
}

std::optional<std::string> LiveSource::KeyProperty(std::string_view className) const {
  return BuiltinKeyProperty(className);
}

Provenance LiveSource::Origin() const {
  Provenance origin;
  const RootFs fs(state_->root);
  for (const char* file : {"/proc/sys/kernel/hostname", "/etc/hostname"}) {
    // A host name is at most 253 bytes; anything longer is no name.
    if (auto name = fs.ReadLine(file); name && !name->empty() && name->size() <= 253) {
      origin.host = std::move(*name);
      break;
    }
  }
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char text[32] = {};
  if (gmtime_r(&now, &utc) && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) > 0) origin.time = text;
  return origin;
}

std::shared_ptr<const ClassSource> OpenLiveMachine(const std::string& root) {
  return std::make_shared<LiveSource>(root);
}

}  // namespace brv
