#include "instrumentation/linux/Machine.h"

#include <charconv>
#include <limits>

#include "common/Error.h"
#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"

namespace brv::live {
namespace {

bool IsHex(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

// "0000:00:1f.6": a PCI function's directory name.
bool IsPciAddress(std::string_view name) {
  return name.size() == 12 && name[4] == ':' && name[7] == ':' && name[10] == '.' && IsHex(name.substr(0, 4)) &&
         IsHex(name.substr(5, 2)) && IsHex(name.substr(8, 2)) && IsHex(name.substr(11, 1));
}

// "usb1" (a root hub) or "1-2", "1-2.4": the directory of a USB device, the
// only kind that has idVendor (its interfaces, "1-2:1.0", do not).
bool IsUsbDeviceName(std::string_view name) {
  auto digits = [&](size_t& at) {
    const size_t from = at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
    return at > from;
  };
  size_t at = 0;
  if (name.substr(0, 3) == "usb") {
    at = 3;
    return digits(at) && at == name.size();
  }
  if (!digits(at) || at == name.size() || name[at] != '-') return false;
  do {
    ++at;
    if (!digits(at)) return false;
  } while (at < name.size() && name[at] == '.');
  return at == name.size();
}

std::optional<uint16_t> HexId(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return ParsePrefixedInteger<uint16_t>(TrimText(*text), 16);
}

}  // namespace

std::optional<std::string> Remembered::DiskSerial(const std::string& name, int64_t sequence) const {
  std::lock_guard guard(lock_);
  const auto it = serials_.find({name, sequence});
  if (it == serials_.end()) return std::nullopt;
  return it->second;
}

void Remembered::KeepDiskSerial(const std::string& name, int64_t sequence, const std::string& serial) {
  std::lock_guard guard(lock_);
  if (serials_.size() >= kMostDisks) serials_.clear();
  serials_[{name, sequence}] = serial;
}

RouteNetlink& Machine::Kernel() const {
  if (!kernel_) {
    ownKernel_ = std::make_unique<RouteNetlink>();
    kernel_ = ownKernel_.get();
  }
  return *kernel_;
}

const std::optional<std::vector<SmbiosStructure>>& Machine::Smbios() const {
  if (smbiosLoaded_) return smbios_;
  smbiosLoaded_ = true;
  // Tables run to tens of kilobytes (a 16-bit length before SMBIOS 3).
  if (const auto table = fs_.Read("/sys/firmware/dmi/tables/DMI", 1u << 20)) {
    std::vector<SmbiosStructure> s = SplitSmbiosTable(*table);
    if (!s.empty()) {
      smbios_ = std::move(s);
      return smbios_;
    }
  }
  // The kernel also shows each structure on its own; read only the types the
  // collectors use, in the kernel's order (type, then instance).
  std::vector<SmbiosStructure> entries;
  const std::vector<std::string> names = fs_.List("/sys/firmware/dmi/entries");
  for (const char* type : {"4", "17", "22"}) {
    const std::string prefix = std::string(type) + "-";
    for (const std::string& name : names) {
      if (!name.starts_with(prefix)) continue;
      const auto raw = fs_.Read("/sys/firmware/dmi/entries/" + name + "/raw", size_t{64} * 1024);
      if (!raw) continue;
      std::vector<SmbiosStructure> one = SplitSmbiosTable(*raw);
      if (!one.empty()) entries.push_back(std::move(one.front()));
    }
  }
  if (!entries.empty()) smbios_ = std::move(entries);
  return smbios_;
}

std::optional<std::string> Machine::Text(std::string_view path) const {
  const auto raw = fs_.Read(path, RootFs::kLineLimit);
  if (!raw) return std::nullopt;
  return CleanFirmwareText(*raw);
}

std::vector<std::pair<std::string, std::string>> Machine::UdevProperties(std::string_view id) const {
  std::vector<std::pair<std::string, std::string>> out;
  // A device's record is a few hundred bytes.
  const auto text = fs_.Read("/run/udev/data/" + std::string(id), 64u << 10);
  if (!text) return out;
  for (const std::string_view line : SplitLines(*text)) {
    if (line.size() < 3 || !line.starts_with("E:")) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    out.emplace_back(line.substr(2, eq - 2), line.substr(eq + 1));
  }
  return out;
}

std::optional<std::string> Machine::UdevProperty(std::string_view id, std::string_view key) const {
  for (auto& [k, v] : UdevProperties(id)) {
    if (k == key) return CleanFirmwareText(v);
  }
  return std::nullopt;
}

IdNames Machine::DeviceNames(const std::string& devicePath, std::string* busPath) const {
  std::string p = devicePath;
  // A device sits a few folders below its bus device; a tree that names every
  // folder like one is asked no more than this many times.
  int probes = 8;
  while (p.size() > std::string_view("/sys/devices").size() && p.starts_with("/sys/devices/") && probes > 0) {
    // Only the directories named as USB devices are asked for a USB id: a
    // failed open costs microseconds in sysfs.
    const std::string_view name = BaseName(p);
    if (IsUsbDeviceName(name) || IsPciAddress(name)) --probes;
    const auto usbVendor = IsUsbDeviceName(name) ? HexId(fs_.ReadLine(JoinPath(p, "idVendor"))) : std::nullopt;
    if (usbVendor) {
      IdNames names = ids_.Usb(*usbVendor, HexId(fs_.ReadLine(JoinPath(p, "idProduct"))));
      if (!names.vendor) names.vendor = Text(JoinPath(p, "manufacturer"));
      if (!names.device) names.device = Text(JoinPath(p, "product"));
      if (busPath) *busPath = p;
      return names;
    }
    if (IsPciAddress(name)) {
      const auto vendor = HexId(fs_.ReadLine(JoinPath(p, "vendor")));
      if (vendor) {
        if (busPath) *busPath = p;
        return ids_.Pci(*vendor, HexId(fs_.ReadLine(JoinPath(p, "device"))));
      }
    }
    p = std::string(DirName(p));
  }
  return {};
}

Variant ByteCount(uint64_t bytes) {
  if (bytes <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return static_cast<int32_t>(bytes);
  if (bytes <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(bytes);
  return Null{};
}

std::optional<uint64_t> MemTotalBytes(const RootFs& fs) {
  const auto meminfo = fs.Read("/proc/meminfo", 64u << 10);
  if (!meminfo) return std::nullopt;
  const size_t at = meminfo->find("MemTotal:");
  if (at == std::string::npos) return std::nullopt;
  const std::string_view rest = TrimText(std::string_view(*meminfo).substr(at + 9, 32));
  uint64_t kib = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), kib);
  if (ec != std::errc() || kib == 0 || kib >= (uint64_t{1} << 50)) return std::nullopt;
  return kib * 1024;
}

std::optional<uint64_t> KernelMemoryBytes(const RootFs& fs) {
  const std::string dir = "/sys/devices/system/memory";
  // The block size is hexadecimal without "0x"; blocks are a power of two
  // from 1 MiB (some embedded kernels) to a few GiB.
  uint64_t block = 0;
  if (const auto text = fs.ReadLine(dir + "/block_size_bytes")) {
    const std::string_view hex = TrimText(*text);
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), block, 16);
    const bool whole = ec == std::errc() && end == hex.data() + hex.size();
    if (!whole || block < (uint64_t{1} << 20) || block > (uint64_t{1} << 40) || (block & (block - 1)) != 0) block = 0;
  }
  if (block != 0) {
    // Some 100,000 blocks at most (12 TiB in 128 MiB blocks); a folder of more
    // names is no machine's, and MemTotal answers instead.
    std::vector<std::string> names;
    try {
      names = fs.List(dir, 1u << 17);
    } catch (const Error&) {
      names.clear();
    }
    uint64_t online = 0;
    for (const std::string& name : names) {
      if (!name.starts_with("memory") || !ParseInteger<uint32_t>(std::string_view(name).substr(6))) continue;
      if (fs.ReadLine(JoinPath(JoinPath(dir, name), "state")) == "online") ++online;
    }
    if (online > 0 && online <= (uint64_t{1} << 62) / block) return online * block;
  }
  const std::optional<uint64_t> total = MemTotalBytes(fs);
  if (!total) return std::nullopt;
  const uint64_t unit = block != 0 ? block : uint64_t{128} << 20;
  return (*total + unit - 1) / unit * unit;
}

Variant TextOrNull(const std::optional<std::string>& text) {
  if (!text) return Null{};
  return *text;
}

std::optional<std::string> MacAddress(std::string_view text) {
  text = TrimText(text);
  if (text.size() != 17) return std::nullopt;
  std::string out;
  bool allZero = true;
  for (size_t i = 0; i < 17; ++i) {
    char c = text[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return std::nullopt;
      out.push_back(':');
      continue;
    }
    if (!IsHex(std::string_view(&c, 1))) return std::nullopt;
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (c != '0') allZero = false;
    out.push_back(c);
  }
  if (allZero) return std::nullopt;
  return out;
}

}  // namespace brv::live
