// The machine itself: what an inventory server identifies it by. One instance,
// read without root where the kernel allows:
// - Name: the host name (/proc/sys/kernel/hostname, the running system's).
// - OperatingSystem, OSVersion: os-release's PRETTY_NAME (else NAME) and
//   VERSION_ID (/etc/os-release, else /usr/lib/os-release); KernelVersion:
//   /proc/sys/kernel/osrelease.
// - Manufacturer, Model, SerialNumber, UUID; BoardManufacturer, BoardProduct,
//   BoardSerial; BIOSVendor, BIOSVersion, BIOSDate; ChassisType (the SMBIOS
//   number), AssetTag: the kernel's copy of the firmware's identity under
//   /sys/class/dmi/id. The serial numbers and the UUID are readable by root
//   only; they are null otherwise, and wherever the firmware holds a placeholder.
// - TotalPhysicalMemory: the memory the kernel manages, in bytes (meminfo's MemTotal).
// None of it known (a captured tree without these files): no instance.

#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

// One value of an os-release file: KEY=value, the value bare or in single or
// double quotes, with backslash escapes inside double quotes.
std::optional<std::string> OsReleaseValue(std::string_view text, std::string_view key) {
  size_t at = 0;
  while (at < text.size()) {
    size_t eol = text.find('\n', at);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = TrimText(text.substr(at, eol - at));
    at = eol + 1;
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') continue;
    std::string_view value = line.substr(key.size() + 1);
    std::string out;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      const char quote = value.front();
      value = value.substr(1, value.size() - 2);
      for (size_t i = 0; i < value.size(); ++i) {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
        out.push_back(value[i]);
      }
    } else {
      out = std::string(value);
    }
    return CleanFirmwareText(out);
  }
  return std::nullopt;
}

}  // namespace

ClassAnswer ComputerSystem(const Machine& m) {
  const RootFs& fs = m.fs();
  Instance instance;
  instance.Set("Name", TextOrNull(m.Text("/proc/sys/kernel/hostname")));
  std::optional<std::string> osRelease = fs.Read("/etc/os-release", 64u << 10);
  if (!osRelease) osRelease = fs.Read("/usr/lib/os-release", 64u << 10);
  const std::string release = osRelease.value_or("");
  std::optional<std::string> osName = OsReleaseValue(release, "PRETTY_NAME");
  if (!osName) osName = OsReleaseValue(release, "NAME");
  instance.Set("OperatingSystem", TextOrNull(osName));
  instance.Set("OSVersion", TextOrNull(OsReleaseValue(release, "VERSION_ID")));
  instance.Set("KernelVersion", TextOrNull(m.Text("/proc/sys/kernel/osrelease")));
  const std::string dmi = "/sys/class/dmi/id/";
  const std::pair<const char*, const char*> texts[] = {
      {"Manufacturer", "sys_vendor"},        {"Model", "product_name"},
      {"SerialNumber", "product_serial"},    {"UUID", "product_uuid"},
      {"BoardManufacturer", "board_vendor"}, {"BoardProduct", "board_name"},
      {"BoardSerial", "board_serial"},       {"BIOSVendor", "bios_vendor"},
      {"BIOSVersion", "bios_version"},       {"BIOSDate", "bios_date"},
      {"AssetTag", "chassis_asset_tag"},
  };
  // The kernel passes the firmware's strings on as they are, placeholders
  // ("To be filled by O.E.M.", "Default string") included: those are no value.
  for (const auto& [property, file] : texts) {
    const std::optional<std::string> text = m.Text(dmi + file);
    instance.Set(property, TextOrNull(text ? CleanFirmwareText(*text) : std::nullopt));
  }
  const auto chassis = fs.ReadInt(dmi + "chassis_type");
  instance.Set("ChassisType",
               chassis && *chassis > 0 && *chassis < 256 ? Variant(static_cast<int32_t>(*chassis)) : Variant(Null{}));
  const std::optional<uint64_t> memory = MemTotalBytes(fs);
  instance.Set("TotalPhysicalMemory", memory ? ByteCount(*memory) : Variant(Null{}));
  // A machine that tells nothing about itself (a tree without these files) has no instance.
  ClassAnswer answer;
  for (const Property& p : instance.properties) {
    if (!p.value.IsNull()) {
      answer.instances.push_back(std::move(instance));
      break;
    }
  }
  return answer;
}

}  // namespace brv::live
