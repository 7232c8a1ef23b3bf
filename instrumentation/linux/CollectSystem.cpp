// Processors, memory devices and batteries.
//
// The kernel's view of a part wins over the firmware table's; the table (root
// only) fills in only what the kernel does not say, so that what the kernel
// knows reads the same with and without root. Per property:
//
// Processors (one per package: the kernel's topology, else cpuinfo's
// "physical id", else the firmware's populated, enabled sockets; a socket
// "Disabled By BIOS/User" is no processor and pairs with no package):
// - Manufacturer: cpuinfo's vendor_id (x86, s390); for ARM, the maker of the CPU
//   implementer code; "IBM" for a POWER processor; else the firmware's.
// - Name: cpuinfo's model name (x86, POWER without its feature list). ARM: the
//   core named by implementer and part (CpuInfo's table of published main id
//   values, from cpuinfo or sysfs midr_el1), else the firmware's processor
//   version, else the device tree's model, else cpuinfo's generic name. Else the
//   firmware's version.
// - Version: the processor's revision within its model, in one form per
//   architecture: x86 "Family F, Model M, Stepping S" (cpuinfo, or the same read
//   from the firmware's processor id signature when cpuinfo says nothing), ARM
//   "rVpR" (variant and revision), POWER cpuinfo's revision. Never the
//   firmware's marketing name, which is the Name.
// - MaxClockSpeed (MHz): the kernel's maximum (cpufreq cpuinfo_max_freq, the
//   highest of the package's processors); without cpufreq, the speed the name
//   states ("@ 2.60GHz"); else the kernel's current clock (cpuinfo "cpu MHz",
//   POWER "clock"); else the firmware's current speed. Never the firmware's
//   "Max Speed", which many boards fill with the socket's rating (4000 on a
//   1.9 GHz Xeon) or a placeholder (30000 on a virtual machine).
// - SocketDesignation: only the firmware knows it.
//
// Memory devices: the firmware's installed devices (SMBIOS type 17), else
// udev's copy of them; a machine that lists none has one device holding what
// the kernel counts (the online memory blocks), with no slot.
//
// Batteries: the kernel's present system batteries (/sys/class/power_supply,
// type Battery, not scope "Device": a mouse's or headset's battery is not the
// machine's battery pack); only when the kernel has none, the firmware's
// portable batteries, less its stand-ins (location "Fake", "-Virtual Battery
// 0-", a reference board's "CRB Battery 0", a structure of placeholders).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include <fmt/format.h>

#include "common/Error.h"
#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/CpuInfo.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

std::optional<uint64_t> ToUnsigned(std::string_view s) { return ParseInteger<uint64_t>(TrimText(s)); }

// The logical processors sysfs lists ("cpu0", "cpu1", ...), beside a few
// dozen other names.
std::vector<int> LogicalCpus(const RootFs& fs) {
  std::vector<int> out;
  for (const std::string& name : fs.List("/sys/devices/system/cpu", kMostCpuInfoProcessors + 256)) {
    if (!name.starts_with("cpu")) continue;
    if (const auto n = ParseInteger<int>(std::string_view(name).substr(3))) out.push_back(*n);
  }
  return out;
}

// The speed a processor's name states ("... CPU @ 2.60GHz", "@ 800MHz"), in MHz.
std::optional<int64_t> RatedMHz(std::string_view name) {
  const size_t at = name.rfind('@');
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = TrimText(name.substr(at + 1));
  double value = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (ec != std::errc() || !(value > 0) || value > 1e6) return std::nullopt;
  const std::string_view unit = TrimText(rest.substr(static_cast<size_t>(end - rest.data())));
  if (unit == "GHz") return std::llround(value * 1000);
  if (unit == "MHz") return std::llround(value);
  return std::nullopt;
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
      // Sockets with a processor in them that the firmware did not turn off
      // (a virtual machine's table lists every socket it could have, disabled);
      // type 3 is a central processor (0 and 2 are firmware that does not say).
      const bool central = p.processorType == 3 || p.processorType == 0 || p.processorType == 2;
      if (p.populated && !p.disabled && central) firmware.push_back(std::move(p));
    }
  }
  // The device tree's model, for an ARM machine whose processor is known by
  // neither its id nor the firmware table.
  std::optional<std::string> deviceTreeModel;
  if (auto text = fs.Read("/sys/firmware/devicetree/base/model", 4096)) {
    while (!text->empty() && text->back() == '\0') text->pop_back();
    if (text->find('\0') == std::string::npos) deviceTreeModel = CleanFirmwareText(*text);
  }

  ClassAnswer answer;
  const size_t count = packages.empty() ? firmware.size() : packages.size();
  auto package = packages.begin();
  for (size_t i = 0; i < count; ++i) {
    const CpuInfoProcessor* cpu = nullptr;
    std::optional<int64_t> maxKHz;
    std::optional<double> cpuMHz;
    CpuInfoProcessor midr;  // the ARM id from sysfs, where cpuinfo lacks it
    if (package != packages.end()) {
      for (int n : package->second.cpus) {
        const CpuInfoProcessor* here = nullptr;
        if (auto it = byNumber.find(n); it != byNumber.end()) here = it->second;
        if (!cpu) cpu = here;
        if (here && here->mhz && (!cpuMHz || *here->mhz > *cpuMHz)) cpuMHz = here->mhz;
        const auto khz = fs.ReadInt(fmt::format("/sys/devices/system/cpu/cpu{}/cpufreq/cpuinfo_max_freq", n));
        if (khz && *khz > 0 && (!maxKHz || *khz > *maxKHz)) maxKHz = khz;
      }
      if (!cpu || !cpu->armPart) {
        const int first = package->second.cpus.front();
        if (auto text = fs.ReadLine(fmt::format("/sys/devices/system/cpu/cpu{}/regs/identification/midr_el1", first))) {
          FillFromMidr(*text, midr);
        }
      }
      ++package;
    }
    if (!cpu && !info.processors.empty() && packages.size() <= 1) cpu = &info.processors.front();
    if (!cpuMHz && cpu) cpuMHz = cpu->mhz;
    const SmbiosProcessor* fw = i < firmware.size() ? &firmware[i] : nullptr;
    const std::optional<int> implementer = cpu && cpu->armImplementer ? cpu->armImplementer : midr.armImplementer;
    const std::optional<int> part = cpu && cpu->armPart ? cpu->armPart : midr.armPart;
    const std::optional<int> variant = cpu && cpu->armVariant ? cpu->armVariant : midr.armVariant;
    const std::optional<int> revision = cpu && cpu->armRevision ? cpu->armRevision : midr.armRevision;
    const bool arm = implementer && part;
    // A POWER processor (cpuinfo "cpu : POWER7 ...", "PPC970MP") is IBM's.
    const bool power =
        cpu && cpu->modelName && (cpu->modelName->starts_with("POWER") || cpu->modelName->starts_with("PPC970"));

    std::optional<std::string> manufacturer = cpu ? cpu->vendorId : std::nullopt;
    if (!manufacturer && implementer) manufacturer = ArmImplementerName(*implementer);
    if (!manufacturer && power) manufacturer = "IBM";
    if (!manufacturer && fw) manufacturer = fw->manufacturer;

    std::optional<std::string> name;
    if (arm) {
      name = ArmPartName(*implementer, *part);
      if (!name && fw) name = fw->version;
      if (!name) name = deviceTreeModel;
      if (!name && cpu) name = cpu->modelName;
    } else {
      name = cpu ? cpu->modelName : std::nullopt;
      if (!name && fw) name = fw->version;
    }

    std::optional<std::string> version;
    if (cpu && cpu->family && cpu->model && cpu->stepping) {
      version = fmt::format("Family {}, Model {}, Stepping {}", *cpu->family, *cpu->model, *cpu->stepping);
    } else if (arm && variant && revision) {
      version = fmt::format("r{}p{}", *variant, *revision);
    } else if (cpu && cpu->revision) {
      version = cpu->revision;
    } else if (!cpu && fw && fw->x86Signature) {
      version = X86SignatureText(*fw->x86Signature);
    }

    std::optional<int64_t> maxMHz;
    if (maxKHz) maxMHz = (*maxKHz + 500) / 1000;
    if (!maxMHz && name) maxMHz = RatedMHz(*name);
    if (!maxMHz && cpuMHz && *cpuMHz >= 1 && *cpuMHz < 1e6) maxMHz = std::llround(*cpuMHz);
    if (!maxMHz && fw && fw->currentSpeedMHz) maxMHz = *fw->currentSpeedMHz;

    Instance instance;
    instance.Set("DeviceID", fmt::format("CPU{}", i));
    instance.Set("Manufacturer", TextOrNull(manufacturer));
    instance.Set("Name", TextOrNull(name));
    instance.Set("Version", TextOrNull(version));
    instance.Set("MaxClockSpeed", maxMHz && *maxMHz > 0 && *maxMHz <= INT32_MAX ? Variant(static_cast<int32_t>(*maxMHz))
                                                                                : Variant(Null{}));
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
    if (!key.starts_with(prefix)) continue;
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
  // A machine whose firmware lists no memory devices (a virtual machine
  // without SMBIOS, some clouds) still has memory: one device of what the
  // kernel manages, in no slot.
  if (answer.instances.empty()) {
    if (const auto bytes = KernelMemoryBytes(m.fs())) {
      Instance instance;
      instance.Set("Index", Null{});
      instance.Set("Size", ByteCount(*bytes));
      answer.instances.push_back(std::move(instance));
    }
  }
  return answer;
}

ClassAnswer Batteries(const Machine& m) {
  ClassAnswer answer;
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
  if (!answer.instances.empty()) return answer;
  // Only when the kernel knows no battery of the machine: the firmware's, less
  // its stand-ins.
  if (const auto& s = m.Smbios()) {
    for (const SmbiosBattery& b : DecodeSmbiosBatteries(*s)) {
      if (b.placeholder) continue;
      Instance instance;
      instance.Set("PortableBatterySerialNumber", TextOrNull(b.serialNumber));
      instance.Set("PortableBatteryDesignCapacity",
                   b.designCapacityMWh
                       ? Variant(static_cast<int32_t>(std::min<uint32_t>(*b.designCapacityMWh, INT32_MAX)))
                       : Variant(Null{}));
      answer.instances.push_back(std::move(instance));
    }
  }
  return answer;
}

}  // namespace brv::live
