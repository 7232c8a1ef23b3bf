// Memory: the modules installed and the slots they sit in.
//
// The firmware's memory devices (SMBIOS type 17) and arrays (type 16) as root;
// without root, udev's copy of them (the DMI device's MEMORY_DEVICE_<n>_* and
// MEMORY_ARRAY_* properties), readable by anyone. A machine whose firmware
// lists no memory devices (a virtual machine without SMBIOS, some clouds) has
// one device holding what the kernel counts (the online memory blocks), in no
// slot: it plainly has memory.
#include <charconv>
#include <map>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

struct Module {
  int index = 0;  // the device's place in the firmware's list
  uint64_t sizeBytes = 0;
  std::optional<std::string> manufacturer, partNumber, serialNumber, locator, bank;
  std::optional<uint32_t> speedMTs, configuredMTs;
  uint8_t type = 0, formFactor = 0;  // SMBIOS codes
};

std::optional<uint32_t> Speed(std::string_view text) {
  const auto n = ParseInteger<uint32_t>(TrimText(text));
  return n && *n > 0 ? n : std::nullopt;
}

// The installed modules, from the firmware's table, else from udev.
std::vector<Module> Modules(const Machine& m) {
  std::vector<Module> out;
  if (const auto& s = m.Smbios()) {
    const std::vector<SmbiosMemoryDevice> devices = DecodeSmbiosMemoryDevices(*s);
    for (size_t i = 0; i < devices.size(); ++i) {
      const SmbiosMemoryDevice& d = devices[i];
      if (!d.installed) continue;
      out.push_back({static_cast<int>(i), *d.sizeBytes, d.manufacturer, d.partNumber, d.serialNumber, d.deviceLocator,
                     d.bankLocator, d.speedMTs, d.configuredSpeedMTs, d.memoryType, d.formFactor});
    }
    if (!devices.empty()) return out;
  }
  struct Slot {
    Module module;
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
    Slot& slot = slots[n];
    Module& module = slot.module;
    module.index = n;
    if (field == "SIZE") module.sizeBytes = ParseInteger<uint64_t>(TrimText(value)).value_or(0);
    if (field == "PRESENT") slot.present = value == "1";
    if (field == "MANUFACTURER") module.manufacturer = CleanFirmwareText(value);
    if (field == "PART_NUMBER") module.partNumber = CleanFirmwareText(value);
    if (field == "SERIAL_NUMBER") module.serialNumber = CleanFirmwareText(value);
    if (field == "LOCATOR") module.locator = CleanFirmwareText(value);
    if (field == "BANK_LOCATOR") module.bank = CleanFirmwareText(value);
    if (field == "SPEED_MTS") module.speedMTs = Speed(value);
    if (field == "CONFIGURED_SPEED_MTS") module.configuredMTs = Speed(value);
    if (field == "TYPE") module.type = SmbiosMemoryTypeCode(TrimText(value)).value_or(0);
    if (field == "FORM_FACTOR") module.formFactor = SmbiosFormFactorCode(TrimText(value)).value_or(0);
  }
  for (auto& [n, slot] : slots) {
    if (slot.present != false && slot.module.sizeBytes != 0) out.push_back(std::move(slot.module));
  }
  return out;
}

// The form factor as the Windows instrumentation codes it (8 DIMM, 12 SODIMM,
// ...), from the SMBIOS code; 0 unknown, 1 a kind it has no code for.
int32_t FormFactorCode(uint8_t smbios) {
  constexpr int32_t kCodes[] = {0, 1, 0, 7, 2, 1, 3, 4, 6, 8, 9, 1, 11, 12, 13, 8, 1, 1};
  return smbios < std::size(kCodes) ? kCodes[smbios] : 1;
}

Variant Number(std::optional<uint32_t> n) {
  return n && *n <= INT32_MAX ? Variant(static_cast<int32_t>(*n)) : Variant(Null{});
}

}  // namespace

ClassAnswer MemoryDevices(const Machine& m) {
  ClassAnswer answer;
  for (const Module& module : Modules(m)) {
    Instance instance;
    instance.Set("Index", static_cast<int32_t>(module.index));
    instance.Set("Size", ByteCount(module.sizeBytes));
    answer.instances.push_back(std::move(instance));
  }
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

ClassAnswer PhysicalMemory(const Machine& m) {
  ClassAnswer answer;
  for (const Module& module : Modules(m)) {
    Instance instance;
    instance.Set("Capacity", ByteCount(module.sizeBytes));
    instance.Set("Manufacturer", TextOrNull(module.manufacturer));
    instance.Set("PartNumber", TextOrNull(module.partNumber));
    instance.Set("SerialNumber", TextOrNull(module.serialNumber));
    instance.Set("Speed", Number(module.speedMTs));
    instance.Set("ConfiguredClockSpeed", Number(module.configuredMTs));
    instance.Set("SMBIOSMemoryType", module.type > 2 ? Variant(static_cast<int32_t>(module.type)) : Variant(Null{}));
    instance.Set("FormFactor", module.formFactor > 2 ? Variant(FormFactorCode(module.formFactor)) : Variant(Null{}));
    instance.Set("DeviceLocator", TextOrNull(module.locator));
    instance.Set("BankLabel", TextOrNull(module.bank));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer PhysicalMemoryArrays(const Machine& m) {
  ClassAnswer answer;
  auto add = [&](uint64_t slots, std::optional<uint64_t> maxBytes) {
    if (slots == 0 || slots > 0xFFFF) return;
    Instance instance;
    instance.Set("MemoryDevices", static_cast<int32_t>(slots));
    // In KB, as the service gives it.
    instance.Set("MaxCapacityEx", maxBytes && *maxBytes >= 1024 ? ByteCount(*maxBytes / 1024) : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  };
  if (const auto& s = m.Smbios()) {
    for (const SmbiosMemoryArray& a : DecodeSmbiosMemoryArrays(*s)) add(a.slots, a.maxCapacityBytes);
    if (!answer.instances.empty()) return answer;
  }
  std::optional<uint64_t> slots, maxBytes;
  for (const auto& [key, value] : m.UdevProperties("+dmi:id")) {
    if (key == "MEMORY_ARRAY_NUM_DEVICES") slots = ParseInteger<uint64_t>(TrimText(value));
    if (key == "MEMORY_ARRAY_MAX_CAPACITY") maxBytes = ParseInteger<uint64_t>(TrimText(value));
  }
  if (slots) add(*slots, maxBytes);
  return answer;
}

}  // namespace brv::live
