// Processors and batteries.
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
// Details, counted as lscpu counts them: NumberOfCores (the package's distinct
// sets of sibling threads, else cpuinfo's "cpu cores"), NumberOfLogicalProcessors
// (its online processors, else "siblings"), L2CacheSize and L3CacheSize in KB
// (each cache once, by the processors its mask names; s390's shared caches from
// cpuinfo), CurrentClockSpeed (cpufreq's current, else cpuinfo's clock) and
// Architecture (cpuinfo's long-mode flag, ARM's architecture, POWER).
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
#include <set>

#include <fmt/format.h>

#include "common/Error.h"
#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/CpuInfo.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

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

// A list of processor numbers as sysfs writes it ("0-3,8-11"), up to `most`.
std::vector<int> CpuList(std::string_view text, size_t most) {
  std::vector<int> out;
  for (std::string_view rest = TrimText(text); !rest.empty();) {
    const size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const size_t dash = item.find('-');
    const auto first = ParseInteger<int>(item.substr(0, dash));
    const auto last = dash == std::string_view::npos ? first : ParseInteger<int>(item.substr(dash + 1));
    if (!first || !last || *first < 0 || *last < *first) return {};
    for (int n = *first; n <= *last; ++n) {
      if (out.size() >= most) return out;
      out.push_back(n);
    }
  }
  return out;
}

// A mask of processor numbers as sysfs writes it ("00000000,000000ff": hex
// words, the highest first), up to `most`.
std::vector<int> CpuMap(std::string_view text, size_t most) {
  std::string hex;
  for (char c : TrimText(text)) {
    if (c != ',') hex += c;
  }
  std::vector<int> out;
  if (hex.size() > kMostCpuInfoProcessors / 4 + 64) return out;
  for (size_t i = 0; i < hex.size(); ++i) {
    const auto digit = ParseInteger<int>(std::string_view(hex).substr(hex.size() - 1 - i, 1), 16);
    if (!digit) return {};
    for (int bit = 0; bit < 4; ++bit) {
      if ((*digit >> bit & 1) == 0) continue;
      if (out.size() >= most) return out;
      out.push_back(static_cast<int>(i * 4) + bit);
    }
  }
  return out;
}

// "2048K", "32M": a cache's size in KB.
std::optional<int64_t> CacheKB(std::string_view text) {
  text = TrimText(text);
  int64_t scale = 1;
  if (text.ends_with('K')) {
    text.remove_suffix(1);
  } else if (text.ends_with('M')) {
    scale = 1024;
    text.remove_suffix(1);
  }
  const auto n = ParseInteger<int64_t>(text);
  if (!n || *n <= 0 || *n > (int64_t{1} << 32)) return std::nullopt;
  return *n * scale;
}

// What the kernel's topology says of a package: its cores (the distinct sets
// of sibling threads of its online processors), its logical processors, and its level 2 and 3
// caches (each cache counted once, however many processors share it).
struct PackageFacts {
  int cores = 0, threads = 0;
  int64_t cacheKB[4] = {};
};

PackageFacts FactsOf(const RootFs& fs, const std::vector<int>& cpus) {
  PackageFacts facts;
  std::set<std::string> cores;  // each core's threads, else its die and core id
  std::set<int> covered[4];     // processors whose level 2 or 3 cache is counted
  // The processors named by the caches' lists, in all: a package's worth per
  // cache at most, and a few per processor on a real machine.
  size_t budget = size_t{64} * cpus.size() + 1024;
  for (int n : cpus) {
    const std::string dir = fmt::format("/sys/devices/system/cpu/cpu{}", n);
    std::optional<std::string> core = fs.ReadLine(dir + "/topology/thread_siblings_list");
    if (!core) {
      const auto id = fs.ReadInt(dir + "/topology/core_id");
      if (id) core = fmt::format("{}:{}", fs.ReadInt(dir + "/topology/die_id").value_or(0), *id);
    }
    if (!core) continue;  // an offline processor has no topology
    ++facts.threads;
    cores.insert(*core);
    // A processor has a handful of caches (L1 data and instruction, L2, L3).
    for (int index = 0; index < 8 && !(covered[2].contains(n) && covered[3].contains(n)); ++index) {
      const std::string cache = fmt::format("{}/cache/index{}", dir, index);
      const auto level = fs.ReadInt(cache + "/level");
      if (!level) break;
      if ((*level != 2 && *level != 3) || covered[*level].contains(n)) continue;
      const auto size = fs.ReadLine(cache + "/size");
      const auto kb = size ? CacheKB(*size) : std::nullopt;
      if (!kb) continue;
      facts.cacheKB[*level] += *kb;
      covered[*level].insert(n);
      // The mask, as some kernels' lists leave out the processors sharing it.
      const size_t most = std::min(budget, cpus.size());
      const auto map = fs.ReadLine(cache + "/shared_cpu_map");
      const std::vector<int> shared =
          map ? CpuMap(*map, most) : CpuList(fs.ReadLine(cache + "/shared_cpu_list").value_or(""), most);
      budget -= shared.size();
      covered[*level].insert(shared.begin(), shared.end());
    }
  }
  facts.cores = static_cast<int>(cores.size());
  return facts;
}

// A POWER processor (cpuinfo "cpu : POWER7 ...", "PPC970MP") is IBM's.
bool IsPower(const CpuInfoProcessor* cpu) {
  return cpu && cpu->modelName && (cpu->modelName->starts_with("POWER") || cpu->modelName->starts_with("PPC970"));
}

Variant PositiveOrNull(std::optional<int64_t> n) {
  return n && *n > 0 && *n <= INT32_MAX ? Variant(static_cast<int32_t>(*n)) : Variant(Null{});
}

// Packages from the kernel's topology; without it, from cpuinfo's "physical
// id"; without that, one package holding every processor.
std::map<int, Package> PackagesOf(const RootFs& fs, const CpuInfo& info) {
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
  return packages;
}

// The firmware's sockets with a processor in them that it did not turn off (a
// virtual machine's table lists every socket it could have, disabled); type 3
// is a central processor (0 and 2 are firmware that does not say).
std::vector<SmbiosProcessor> FirmwareProcessors(const Machine& m) {
  std::vector<SmbiosProcessor> firmware;
  if (const auto& s = m.Smbios()) {
    for (SmbiosProcessor& p : DecodeSmbiosProcessors(*s)) {
      const bool central = p.processorType == 3 || p.processorType == 0 || p.processorType == 2;
      if (p.populated && !p.disabled && central) firmware.push_back(std::move(p));
    }
  }
  return firmware;
}

// The device tree's model, for an ARM machine whose processor is known by
// neither its id nor the firmware table.
std::optional<std::string> DeviceTreeModel(const RootFs& fs) {
  auto text = fs.Read("/sys/firmware/devicetree/base/model", 4096);
  if (!text) return std::nullopt;
  while (!text->empty() && text->back() == '\0') text->pop_back();
  if (text->find('\0') != std::string::npos) return std::nullopt;
  return CleanFirmwareText(*text);
}

// What one package's processors tell: the first one cpuinfo describes, the
// highest clocks, and the ARM id from sysfs where cpuinfo lacks it.
struct PackageRead {
  const CpuInfoProcessor* cpu = nullptr;
  std::optional<int64_t> maxKHz;
  std::optional<double> cpuMHz;
  CpuInfoProcessor midr;
  const std::vector<int>* cpus = nullptr;
};

PackageRead ReadPackage(const RootFs& fs, const std::map<int, const CpuInfoProcessor*>& byNumber,
                        const Package& package) {
  PackageRead r;
  r.cpus = &package.cpus;
  for (int n : package.cpus) {
    const CpuInfoProcessor* here = nullptr;
    if (auto it = byNumber.find(n); it != byNumber.end()) here = it->second;
    if (!r.cpu) r.cpu = here;
    if (here && here->mhz && (!r.cpuMHz || *here->mhz > *r.cpuMHz)) r.cpuMHz = here->mhz;
    const auto khz = fs.ReadInt(fmt::format("/sys/devices/system/cpu/cpu{}/cpufreq/cpuinfo_max_freq", n));
    if (khz && *khz > 0 && (!r.maxKHz || *khz > *r.maxKHz)) r.maxKHz = khz;
  }
  if (!r.cpu || !r.cpu->armPart) {
    const int first = package.cpus.front();
    if (auto text = fs.ReadLine(fmt::format("/sys/devices/system/cpu/cpu{}/regs/identification/midr_el1", first))) {
      FillFromMidr(*text, r.midr);
    }
  }
  return r;
}

// The grid's facts of one processor: maker, name, version, maximum clock.
void SetIdentity(Instance& instance, const PackageRead& r, const SmbiosProcessor* fw,
                 const std::optional<std::string>& deviceTreeModel) {
  const CpuInfoProcessor* cpu = r.cpu;
  const std::optional<int> implementer = cpu && cpu->armImplementer ? cpu->armImplementer : r.midr.armImplementer;
  const std::optional<int> part = cpu && cpu->armPart ? cpu->armPart : r.midr.armPart;
  const std::optional<int> variant = cpu && cpu->armVariant ? cpu->armVariant : r.midr.armVariant;
  const std::optional<int> revision = cpu && cpu->armRevision ? cpu->armRevision : r.midr.armRevision;
  const bool arm = implementer && part;

  std::optional<std::string> manufacturer = cpu ? cpu->vendorId : std::nullopt;
  if (!manufacturer && implementer) manufacturer = ArmImplementerName(*implementer);
  if (!manufacturer && IsPower(cpu)) manufacturer = "IBM";
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
  if (r.maxKHz) maxMHz = (*r.maxKHz + 500) / 1000;
  if (!maxMHz && name) maxMHz = RatedMHz(*name);
  if (!maxMHz && r.cpuMHz && *r.cpuMHz >= 1 && *r.cpuMHz < 1e6) maxMHz = std::llround(*r.cpuMHz);
  if (!maxMHz && fw && fw->currentSpeedMHz) maxMHz = *fw->currentSpeedMHz;

  instance.Set("Manufacturer", TextOrNull(manufacturer));
  instance.Set("Name", TextOrNull(name));
  instance.Set("Version", TextOrNull(version));
  instance.Set("MaxClockSpeed", maxMHz && *maxMHz > 0 && *maxMHz <= INT32_MAX ? Variant(static_cast<int32_t>(*maxMHz))
                                                                              : Variant(Null{}));
  instance.Set("SocketDesignation", TextOrNull(fw ? fw->socket : std::nullopt));
}

// The details of one processor: the topology's counts, else cpuinfo's; the
// caches; the current clock from cpufreq, else cpuinfo's; the architecture.
void SetDetails(Instance& instance, const RootFs& fs, const CpuInfo& info, const PackageRead& r) {
  const CpuInfoProcessor* cpu = r.cpu;
  const std::vector<int>* cpus = r.cpus;
  PackageFacts facts = cpus ? FactsOf(fs, *cpus) : PackageFacts{};
  // 0 where unknown: the values shown are positive.
  int64_t cores = facts.cores, threads = facts.threads;
  if (facts.threads == 0) {
    cores = cpu && cpu->cores ? int64_t{*cpu->cores} : 0;
    threads = cpu && cpu->siblings ? int64_t{*cpu->siblings} : cpus ? static_cast<int64_t>(cpus->size()) : 0;
  }
  std::optional<int64_t> currentMHz;
  if (cpus && !cpus->empty()) {
    const auto khz = fs.ReadInt(fmt::format("/sys/devices/system/cpu/cpu{}/cpufreq/scaling_cur_freq", cpus->front()));
    if (khz && *khz > 0) currentMHz = (*khz + 500) / 1000;
  }
  if (!currentMHz && cpu && cpu->mhz && *cpu->mhz >= 1 && *cpu->mhz < 1e6) currentMHz = std::llround(*cpu->mhz);
  // s390 lists its shared caches only in cpuinfo ("cache3 : level=3 ...
  // size=262144K").
  for (const auto& [key, value] : info.global) {
    if (!key.starts_with("cache") || value.find("type=Unified") == std::string::npos) continue;
    const size_t at = value.find("size=");
    const std::string_view size = at == std::string::npos ? "" : std::string_view(value).substr(at + 5);
    const auto kb = CacheKB(size.substr(0, size.find(' ')));
    for (int level : {2, 3}) {
      if (kb && facts.cacheKB[level] == 0 && value.find(fmt::format("level={} ", level)) != std::string::npos) {
        facts.cacheKB[level] = *kb;
      }
    }
  }
  // -1 where unknown: 0 is the code of x86.
  int64_t architecture = cpu && cpu->architecture ? int64_t{*cpu->architecture} : -1;
  if (architecture < 0 && r.midr.armPart) architecture = 12;  // sysfs has the id on ARM64 only
  if (architecture < 0 && IsPower(cpu)) architecture = 3;
  instance.Set("NumberOfCores", PositiveOrNull(cores));
  instance.Set("NumberOfLogicalProcessors", PositiveOrNull(threads));
  instance.Set("L2CacheSize", PositiveOrNull(facts.cacheKB[2]));
  instance.Set("L3CacheSize", PositiveOrNull(facts.cacheKB[3]));
  instance.Set("CurrentClockSpeed", PositiveOrNull(currentMHz));
  instance.Set("Architecture", architecture >= 0 ? Variant(static_cast<int32_t>(architecture)) : Variant(Null{}));
}

}  // namespace

ClassAnswer Processors(const Machine& m) {
  const RootFs& fs = m.fs();
  // Some 1.5 KB a processor on x86: room for as many as a kernel counts.
  const CpuInfo info = ParseCpuInfo(fs.Read("/proc/cpuinfo", 16u << 20).value_or(std::string()));
  if (info.tooMany) throw Error(err::kWbemFailed, "/proc/cpuinfo names more processors than a kernel counts");
  std::map<int, const CpuInfoProcessor*> byNumber;
  for (const CpuInfoProcessor& p : info.processors) byNumber.emplace(p.number, &p);
  const std::map<int, Package> packages = PackagesOf(fs, info);
  const std::vector<SmbiosProcessor> firmware = FirmwareProcessors(m);
  const std::optional<std::string> deviceTreeModel = DeviceTreeModel(fs);

  ClassAnswer answer;
  const size_t count = packages.empty() ? firmware.size() : packages.size();
  auto package = packages.begin();
  for (size_t i = 0; i < count; ++i) {
    PackageRead r;
    if (package != packages.end()) r = ReadPackage(fs, byNumber, (package++)->second);
    if (!r.cpu && !info.processors.empty() && packages.size() <= 1) r.cpu = &info.processors.front();
    if (!r.cpuMHz && r.cpu) r.cpuMHz = r.cpu->mhz;
    Instance instance;
    instance.Set("DeviceID", fmt::format("CPU{}", i));
    SetIdentity(instance, r, i < firmware.size() ? &firmware[i] : nullptr, deviceTreeModel);
    SetDetails(instance, fs, info, r);
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

namespace {

// A battery's energy in mWh from the kernel's files: energy_NAME (µWh), else
// charge_NAME (µAh) times the design's minimum voltage (µV).
std::optional<int64_t> EnergyMWh(const RootFs& fs, const std::string& dir, const char* name) {
  if (const auto uwh = fs.ReadInt(dir + "/energy_" + name); uwh && *uwh > 0) return *uwh / 1000;
  const auto uah = fs.ReadInt(dir + "/charge_" + name);
  if (!uah || *uah <= 0 || *uah >= (int64_t{1} << 40)) return std::nullopt;
  const auto uv = fs.ReadInt(dir + "/voltage_min_design");
  if (!uv || *uv <= 0 || *uv >= (int64_t{1} << 40)) return std::nullopt;
  // µAh × µV = 10^-12 Wh; divide by 10^9 for mWh.
  return static_cast<int64_t>(static_cast<long double>(*uah) * static_cast<long double>(*uv) / 1e9L);
}

Variant Chemistry(std::optional<uint8_t> code) { return code ? Variant(static_cast<int32_t>(*code)) : Variant(Null{}); }

}  // namespace

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
    const std::optional<int64_t> mwh = EnergyMWh(fs, dir, "full_design");
    Instance instance;
    instance.Set("PortableBatterySerialNumber", TextOrNull(m.Text(dir + "/serial_number")));
    instance.Set("PortableBatteryDesignCapacity", PositiveOrNull(mwh));
    // Details: capacities (mWh), wear, chemistry and charge.
    instance.Set("DesignCapacity", PositiveOrNull(mwh));
    instance.Set("FullChargeCapacity", PositiveOrNull(EnergyMWh(fs, dir, "full")));
    const auto cycles = fs.ReadInt(dir + "/cycle_count");
    instance.Set("CycleCount", cycles && *cycles >= 0 && *cycles <= INT32_MAX ? Variant(static_cast<int32_t>(*cycles))
                                                                              : Variant(Null{}));
    instance.Set("Chemistry", Chemistry(BatteryChemistryCode(fs.ReadLine(dir + "/technology").value_or(""))));
    const auto percent = fs.ReadInt(dir + "/capacity");
    instance.Set("EstimatedChargeRemaining", percent && *percent >= 0 && *percent <= 100
                                                 ? Variant(static_cast<int32_t>(*percent))
                                                 : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  }
  if (!answer.instances.empty()) return answer;
  // Only when the kernel knows no battery of the machine: the firmware's, less
  // its stand-ins.
  if (const auto& s = m.Smbios()) {
    for (const SmbiosBattery& b : DecodeSmbiosBatteries(*s)) {
      if (b.placeholder) continue;
      const Variant design = b.designCapacityMWh ? PositiveOrNull(*b.designCapacityMWh) : Variant(Null{});
      Instance instance;
      instance.Set("PortableBatterySerialNumber", TextOrNull(b.serialNumber));
      instance.Set("PortableBatteryDesignCapacity",
                   b.designCapacityMWh
                       ? Variant(static_cast<int32_t>(std::min<uint32_t>(*b.designCapacityMWh, INT32_MAX)))
                       : Variant(Null{}));
      instance.Set("DesignCapacity", design);
      instance.Set("FullChargeCapacity", Null{});
      instance.Set("CycleCount", Null{});
      instance.Set("Chemistry", Chemistry(b.chemistry));
      instance.Set("EstimatedChargeRemaining", Null{});
      answer.instances.push_back(std::move(instance));
    }
  }
  return answer;
}

}  // namespace brv::live
