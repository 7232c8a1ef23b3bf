// Processors, memory devices and batteries.
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <map>

#include "common/Error.h"
#include "instrumentation/linux/CpuInfo.h"
#include "instrumentation/linux/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

std::optional<uint64_t> ToUnsigned(std::string_view s) {
  s = TrimText(s);
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// The logical processors sysfs lists ("cpu0", "cpu1", ...), beside a few
// dozen other names.
std::vector<int> LogicalCpus(const RootFs& fs) {
  std::vector<int> out;
  for (const std::string& name : fs.List("/sys/devices/system/cpu", kMostCpuInfoProcessors + 256)) {
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0) continue;
    int n = 0;
    const auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), n);
    if (ec == std::errc() && end == name.data() + name.size()) out.push_back(n);
  }
  return out;
}

struct Package {
  int id = 0;
  std::vector<int> cpus;  // logical processor numbers
};

}  // namespace

ClassAnswer Processors(const Machine& m) {
  const RootFs& fs = m.fs();
  // Some 1.5 KB a processor on x86: room for as many as a kernel counts.
  const CpuInfo info = ParseCpuInfo(fs.Read("/proc/cpuinfo", 16u << 20).value_or(std::string()));
  if (info.tooMany) throw Error(err::kWbemFailed, "/proc/cpuinfo names more processors than a kernel counts");
  std::map<int, const CpuInfoProcessor*> byNumber;
  for (const CpuInfoProcessor& p : info.processors) byNumber.emplace(p.number, &p);

  // Packages from the kernel's topology; without it, from cpuinfo's
  // "physical id"; without that, one package holding every processor.
  std::map<int, Package> packages;
  for (int cpu : LogicalCpus(fs)) {
    auto id = fs.ReadInt(fmt::format("/sys/devices/system/cpu/cpu{}/topology/physical_package_id", cpu));
    if (id == -1) id = 0;  // the kernel's "not known" (s390, some virtual machines)
    if (!id || *id < 0 || *id > 1 << 20) continue;
    Package& p = packages[static_cast<int>(*id)];
    p.id = static_cast<int>(*id);
    p.cpus.push_back(cpu);
  }
  if (packages.empty()) {
    for (const CpuInfoProcessor& p : info.processors) {
      const int id = p.physicalId.value_or(0);
      packages[id].id = id;
      packages[id].cpus.push_back(p.number);
    }
  }

  std::vector<SmbiosProcessor> firmware;
  if (const auto& s = m.Smbios()) {
    for (SmbiosProcessor& p : DecodeSmbiosProcessors(*s)) {
      // Sockets with a processor in them; type 3 is a central processor (0 and 2
      // are firmware that does not say).
      const bool central = p.processorType == 3 || p.processorType == 0 || p.processorType == 2;
      if (p.populated && central) firmware.push_back(std::move(p));
    }
  }

  ClassAnswer answer;
  const size_t count = packages.empty() ? firmware.size() : packages.size();
  auto package = packages.begin();
  for (size_t i = 0; i < count; ++i) {
    const CpuInfoProcessor* cpu = nullptr;
    std::optional<int64_t> maxKHz;
    if (package != packages.end()) {
      for (int n : package->second.cpus) {
        if (!cpu) {
          if (auto it = byNumber.find(n); it != byNumber.end()) cpu = it->second;
        }
        const auto khz = fs.ReadInt(fmt::format("/sys/devices/system/cpu/cpu{}/cpufreq/cpuinfo_max_freq", n));
        if (khz && *khz > 0 && (!maxKHz || *khz > *maxKHz)) maxKHz = khz;
      }
      ++package;
    }
    if (!cpu && !info.processors.empty() && packages.size() <= 1) cpu = &info.processors.front();
    const SmbiosProcessor* fw = i < firmware.size() ? &firmware[i] : nullptr;

    std::optional<std::string> manufacturer = cpu ? cpu->vendorId : std::nullopt;
    if (!manufacturer && fw) manufacturer = fw->manufacturer;
    std::optional<std::string> name = cpu ? cpu->modelName : std::nullopt;
    if (!name && fw) name = fw->version;
    std::optional<std::string> version = fw ? fw->version : std::nullopt;
    if (!version && cpu && cpu->family && cpu->model && cpu->stepping) {
      version = fmt::format("Family {}, Model {}, Stepping {}", *cpu->family, *cpu->model, *cpu->stepping);
    }
    // The firmware's maximum unless it is plainly wrong (some boards give the
    // highest speed the socket supports, far above this processor's).
    std::optional<int64_t> maxMHz;
    const std::optional<int64_t> freqMHz = maxKHz ? std::optional<int64_t>((*maxKHz + 500) / 1000) : std::nullopt;
    if (fw && fw->maxSpeedMHz) maxMHz = *fw->maxSpeedMHz;
    if (freqMHz && (!maxMHz || *maxMHz > 2 * *freqMHz)) maxMHz = freqMHz;

    Instance instance;
    instance.Set("DeviceID", fmt::format("CPU{}", i));
    instance.Set("Manufacturer", TextOrNull(manufacturer));
    instance.Set("Name", TextOrNull(name));
    instance.Set("Version", TextOrNull(version));
    instance.Set("MaxClockSpeed",
                 maxMHz && *maxMHz <= INT32_MAX ? Variant(static_cast<int32_t>(*maxMHz)) : Variant(Null{}));
    instance.Set("SocketDesignation", TextOrNull(fw ? fw->socket : std::nullopt));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer MemoryDevices(const Machine& m) {
  ClassAnswer answer;
  if (const auto& s = m.Smbios()) {
    const std::vector<SmbiosMemoryDevice> devices = DecodeSmbiosMemoryDevices(*s);
    if (!devices.empty()) {
      for (size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].installed) continue;
        Instance instance;
        instance.Set("Index", static_cast<int32_t>(i));
        instance.Set("Size", ByteCount(*devices[i].sizeBytes));
        answer.instances.push_back(std::move(instance));
      }
      return answer;
    }
  }
  // Without the table, udev keeps the memory devices of the DMI device
  // (MEMORY_DEVICE_<n>_SIZE, _PRESENT, ...), readable by anyone.
  struct Slot {
    std::optional<uint64_t> size;
    std::optional<bool> present;
  };
  std::map<int, Slot> slots;
  const std::string_view prefix = "MEMORY_DEVICE_";
  for (const auto& [key, value] : m.UdevProperties("+dmi:id")) {
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string_view rest = std::string_view(key).substr(prefix.size());
    int n = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (ec != std::errc() || n < 0 || end == rest.data() + rest.size() || *end != '_') continue;
    const std::string_view field = rest.substr(static_cast<size_t>(end - rest.data()) + 1);
    if (field == "SIZE") slots[n].size = ToUnsigned(value);
    if (field == "PRESENT") slots[n].present = value == "1";
  }
  for (const auto& [n, slot] : slots) {
    if (slot.present == false || !slot.size || *slot.size == 0) continue;
    Instance instance;
    instance.Set("Index", static_cast<int32_t>(n));
    instance.Set("Size", ByteCount(*slot.size));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer Batteries(const Machine& m) {
  ClassAnswer answer;
  if (const auto& s = m.Smbios()) {
    for (const SmbiosBattery& b : DecodeSmbiosBatteries(*s)) {
      // A structure of placeholders only ("Battery Manufacturer", "Battery
      // Name", no capacity) describes no battery.
      if (!b.manufacturer && !b.deviceName && !b.serialNumber && !b.designCapacityMWh) continue;
      Instance instance;
      instance.Set("PortableBatterySerialNumber", TextOrNull(b.serialNumber));
      instance.Set("PortableBatteryDesignCapacity",
                   b.designCapacityMWh
                       ? Variant(static_cast<int32_t>(std::min<uint32_t>(*b.designCapacityMWh, INT32_MAX)))
                       : Variant(Null{}));
      answer.instances.push_back(std::move(instance));
    }
    if (!answer.instances.empty()) return answer;
  }
  const RootFs& fs = m.fs();
  for (const std::string& name : fs.List("/sys/class/power_supply")) {
    const std::string dir = "/sys/class/power_supply/" + name;
    if (fs.ReadLine(dir + "/type") != "Battery") continue;
    // A peripheral's battery (mouse, headset) is not the machine's battery pack.
    if (fs.ReadLine(dir + "/scope") == "Device") continue;
    // An empty battery bay.
    if (fs.ReadLine(dir + "/present") == "0") continue;
    std::optional<int64_t> mwh;
    if (const auto uwh = fs.ReadInt(dir + "/energy_full_design"); uwh && *uwh > 0) {
      mwh = *uwh / 1000;
    } else if (const auto uah = fs.ReadInt(dir + "/charge_full_design"); uah && *uah > 0) {
      // µAh × µV = 10^-12 Wh; divide by 10^9 for mWh.
      if (const auto uv = fs.ReadInt(dir + "/voltage_min_design"); uv && *uv > 0 && *uah < (int64_t{1} << 40)) {
        mwh = static_cast<int64_t>(static_cast<long double>(*uah) * static_cast<long double>(*uv) / 1e9L);
      }
    }
    Instance instance;
    instance.Set("PortableBatterySerialNumber", TextOrNull(m.Text(dir + "/serial_number")));
    instance.Set("PortableBatteryDesignCapacity",
                 mwh && *mwh > 0 && *mwh <= INT32_MAX ? Variant(static_cast<int32_t>(*mwh)) : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

}  // namespace brv::live
