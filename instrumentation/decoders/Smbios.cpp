#include "instrumentation/decoders/Smbios.h"

#include <cctype>
#include <cstring>

#include <fmt/format.h>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/decoders/LittleEndian.h"

namespace brv {

std::optional<uint8_t> SmbiosStructure::Byte(size_t offset) const {
  if (offset + 1 > formatted.size()) return std::nullopt;
  return static_cast<uint8_t>(formatted[offset]);
}
std::optional<uint16_t> SmbiosStructure::Word(size_t offset) const {
  if (offset + 2 > formatted.size()) return std::nullopt;
  return Le16(formatted, offset);
}
std::optional<uint32_t> SmbiosStructure::Dword(size_t offset) const {
  if (offset + 4 > formatted.size()) return std::nullopt;
  return Le32(formatted, offset);
}
std::optional<uint64_t> SmbiosStructure::Qword(size_t offset) const {
  if (offset + 8 > formatted.size()) return std::nullopt;
  return Le64(formatted, offset);
}

std::optional<std::string> SmbiosStructure::String(size_t offset) const {
  const std::optional<uint8_t> number = Byte(offset);
  if (!number || *number == 0 || *number > strings.size()) return std::nullopt;
  return CleanFirmwareText(strings[*number - 1]);
}

std::vector<SmbiosStructure> SplitSmbiosTable(std::string_view table) {
  std::vector<SmbiosStructure> out;
  size_t at = 0;
  while (at + 4 <= table.size()) {
    const auto type = static_cast<uint8_t>(table[at]);
    const auto length = static_cast<uint8_t>(table[at + 1]);
    if (length < 4 || at + length > table.size()) break;
    // The string set follows the formatted area and ends with two NULs; a
    // structure without strings has just the two NULs.
    size_t end = at + length;
    size_t stringsEnd = std::string_view::npos;
    for (size_t i = end; i + 1 < table.size(); ++i) {
      if (table[i] == '\0' && table[i + 1] == '\0') {
        stringsEnd = i;
        break;
      }
    }
    if (stringsEnd == std::string_view::npos) break;
    SmbiosStructure s;
    s.type = type;
    s.handle = Le16(table, at + 2);
    s.formatted.assign(table.substr(at, length));
    size_t p = end;
    while (p < stringsEnd) {
      const size_t nul = table.find('\0', p);
      const size_t stop = (nul == std::string_view::npos || nul > stringsEnd) ? stringsEnd : nul;
      s.strings.emplace_back(table.substr(p, stop - p));
      p = stop + 1;
    }
    out.push_back(std::move(s));
    if (type == 127) break;
    at = stringsEnd + 2;
  }
  return out;
}

std::vector<SmbiosProcessor> DecodeSmbiosProcessors(const std::vector<SmbiosStructure>& table) {
  std::vector<SmbiosProcessor> out;
  for (const SmbiosStructure& s : table) {
    if (s.type != 4) continue;
    SmbiosProcessor p;
    p.socket = s.String(0x04);
    p.processorType = s.Byte(0x05).value_or(0);
    p.manufacturer = s.String(0x07);
    p.version = s.String(0x10);
    if (const auto v = s.Word(0x14); v && *v != 0) p.maxSpeedMHz = *v;
    if (const auto v = s.Word(0x16); v && *v != 0) p.currentSpeedMHz = *v;
    const uint8_t status = s.Byte(0x18).value_or(0);
    p.populated = (status & 0x40) != 0;
    p.disabled = (status & 0x07) == 2 || (status & 0x07) == 3;
    // The processor id is an x86 signature only on x86 processors, which the
    // maker names.
    const std::string maker = p.manufacturer.value_or("");
    const bool x86Maker = maker.find("Intel") != std::string::npos || maker.find("AMD") != std::string::npos ||
                          maker.find("Advanced Micro") != std::string::npos;
    if (const auto id = s.Dword(0x08); id && *id != 0 && x86Maker) {
      p.x86Signature = *id;
    }
    out.push_back(std::move(p));
  }
  return out;
}

std::string X86SignatureText(uint32_t signature) {
  uint32_t family = (signature >> 8) & 0xF;
  uint32_t model = (signature >> 4) & 0xF;
  if (family == 0xF) family += (signature >> 20) & 0xFF;
  if (family >= 6) model += ((signature >> 16) & 0xF) << 4;
  return fmt::format("Family {}, Model {}, Stepping {}", family, model, signature & 0xF);
}

std::vector<SmbiosMemoryDevice> DecodeSmbiosMemoryDevices(const std::vector<SmbiosStructure>& table) {
  std::vector<SmbiosMemoryDevice> out;
  for (const SmbiosStructure& s : table) {
    if (s.type != 17) continue;
    SmbiosMemoryDevice d;
    d.handle = s.handle;
    if (const auto size = s.Word(0x0C); size && *size != 0 && *size != 0xFFFF) {
      if (*size == 0x7FFF) {
        // The size is in the extended field, in MB (bits 0-30).
        if (const auto ext = s.Dword(0x1C); ext && (*ext & 0x7FFFFFFFu) != 0) {
          d.sizeBytes = static_cast<uint64_t>(*ext & 0x7FFFFFFFu) << 20;
        }
      } else if (*size & 0x8000) {
        d.sizeBytes = static_cast<uint64_t>(*size & 0x7FFF) << 10;  // in KB
      } else {
        d.sizeBytes = static_cast<uint64_t>(*size) << 20;  // in MB
      }
    }
    d.installed = d.sizeBytes.has_value();
    d.deviceLocator = s.String(0x10);
    d.bankLocator = s.String(0x11);
    d.memoryType = s.Byte(0x12).value_or(0);
    d.formFactor = s.Byte(0x0E).value_or(0);
    // Speeds of 0xFFFF and above are in the extended fields (SMBIOS 3.3).
    const auto speed = [&](size_t word, size_t extended) -> std::optional<uint32_t> {
      const auto v = s.Word(word);
      if (!v || *v == 0) return std::nullopt;
      if (*v != 0xFFFF) return *v;
      const auto ext = s.Dword(extended);
      if (!ext || (*ext & 0x7FFFFFFFu) == 0) return std::nullopt;
      return *ext & 0x7FFFFFFFu;
    };
    d.speedMTs = speed(0x15, 0x54);
    d.configuredSpeedMTs = speed(0x20, 0x58);
    d.manufacturer = s.String(0x17);
    d.serialNumber = s.String(0x18);
    d.partNumber = s.String(0x1A);
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<SmbiosMemoryArray> DecodeSmbiosMemoryArrays(const std::vector<SmbiosStructure>& table) {
  std::vector<SmbiosMemoryArray> out;
  for (const SmbiosStructure& s : table) {
    if (s.type != 16 || s.Byte(0x05) != 3) continue;
    SmbiosMemoryArray a;
    a.slots = s.Word(0x0D).value_or(0);
    // In KB; 0x80000000 says the size is in the extended field, in bytes.
    if (const auto kb = s.Dword(0x07); kb && *kb == 0x80000000u) {
      if (const auto bytes = s.Qword(0x0F); bytes && *bytes != 0) a.maxCapacityBytes = *bytes;
    } else if (kb && *kb != 0) {
      a.maxCapacityBytes = static_cast<uint64_t>(*kb) << 10;
    }
    out.push_back(a);
  }
  return out;
}

namespace {

// The standard's names of the memory types from 0x01, and of the form factors.
constexpr std::string_view kMemoryTypes[] = {"Other",
                                             "Unknown",
                                             "DRAM",
                                             "EDRAM",
                                             "VRAM",
                                             "SRAM",
                                             "RAM",
                                             "ROM",
                                             "Flash",
                                             "EEPROM",
                                             "FEPROM",
                                             "EPROM",
                                             "CDRAM",
                                             "3DRAM",
                                             "SDRAM",
                                             "SGRAM",
                                             "RDRAM",
                                             "DDR",
                                             "DDR2",
                                             "DDR2 FB-DIMM",
                                             "",
                                             "",
                                             "",
                                             "DDR3",
                                             "FBD2",
                                             "DDR4",
                                             "LPDDR",
                                             "LPDDR2",
                                             "LPDDR3",
                                             "LPDDR4",
                                             "Logical non-volatile device",
                                             "HBM",
                                             "HBM2",
                                             "DDR5",
                                             "LPDDR5",
                                             "HBM3"};
constexpr std::string_view kFormFactors[] = {
    "Other",        "Unknown", "SIMM",   "SIP",   "Chip",    "DIP", "ZIP", "Proprietary Card", "DIMM", "TSOP",
    "Row Of Chips", "RIMM",    "SODIMM", "SRIMM", "FB-DIMM", "Die", "CAMM"};

template <size_t N>
std::optional<std::string_view> NameOf(const std::string_view (&names)[N], uint8_t code) {
  // 1 "Other" and 2 "Unknown" name nothing a person can use.
  if (code < 3 || code > N || names[code - 1].empty()) return std::nullopt;
  return names[code - 1];
}
template <size_t N>
std::optional<uint8_t> CodeOf(const std::string_view (&names)[N], std::string_view name) {
  for (size_t i = 2; i < N; ++i) {
    if (!names[i].empty() && EqualNoCase(names[i], name)) return static_cast<uint8_t>(i + 1);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string_view> SmbiosMemoryTypeName(uint8_t code) { return NameOf(kMemoryTypes, code); }
std::optional<uint8_t> SmbiosMemoryTypeCode(std::string_view name) { return CodeOf(kMemoryTypes, name); }
std::optional<std::string_view> SmbiosFormFactorName(uint8_t code) { return NameOf(kFormFactors, code); }
std::optional<uint8_t> SmbiosFormFactorCode(std::string_view name) { return CodeOf(kFormFactors, name); }

std::optional<uint8_t> BatteryChemistryCode(std::string_view text) {
  const std::string t = LowerAscii(TrimText(text));
  if (t.empty() || t == "unknown") return std::nullopt;
  const std::pair<std::string_view, uint8_t> kinds[] = {{"li-ion", 6},      {"lion", 6},    {"lithium ion", 6},
                                                        {"lithium-ion", 6}, {"life", 6},    {"limn", 6},
                                                        {"lip", 8},         {"li-poly", 8}, {"lithium polymer", 8},
                                                        {"lipo", 8},        {"nimh", 5},    {"nicd", 4},
                                                        {"pbac", 3},        {"lead", 3},    {"znar", 7},
                                                        {"zinc", 7}};
  for (const auto& [name, code] : kinds) {
    if (t == name || (name.size() > 4 && t.starts_with(name))) return code;
  }
  return 1;  // a chemistry, but none of the standard's
}

std::vector<SmbiosBattery> DecodeSmbiosBatteries(const std::vector<SmbiosStructure>& table) {
  std::vector<SmbiosBattery> out;
  for (const SmbiosStructure& s : table) {
    if (s.type != 22) continue;
    SmbiosBattery b;
    b.location = s.String(0x04);
    b.manufacturer = s.String(0x05);
    b.serialNumber = s.String(0x07);
    b.deviceName = s.String(0x08);
    // Without a text serial, a smart battery gives a 16-bit serial number.
    if (!b.serialNumber && s.Byte(0x07).value_or(0) == 0) {
      if (const auto sbds = s.Word(0x10); sbds && *sbds != 0) b.serialNumber = fmt::format("{:04X}", *sbds);
    }
    if (const auto capacity = s.Word(0x0A); capacity && *capacity != 0) {
      const uint8_t multiplier = s.Byte(0x15).value_or(1);
      b.designCapacityMWh = static_cast<uint32_t>(*capacity) * (multiplier == 0 ? 1u : multiplier);
    }
    if (const auto v = s.Word(0x0C); v && *v != 0) b.designVoltageMV = *v;
    // The code, or for a smart battery (code 2) its chemistry text.
    if (const auto code = s.Byte(0x09); code && *code != 2 && *code != 0 && *code <= 8) {
      b.chemistry = *code;
    } else if (const auto text = s.String(0x14)) {
      b.chemistry = BatteryChemistryCode(*text);
    }
    const auto contains = [](const std::optional<std::string>& text, std::string_view word) {
      return text && ContainsNoCase(*text, word);
    };
    b.placeholder = (!b.manufacturer && !b.deviceName && !b.serialNumber && !b.designCapacityMWh) ||
                    contains(b.location, "fake") || contains(b.manufacturer, "virtual battery") ||
                    contains(b.deviceName, "virtual battery") || contains(b.deviceName, "crb battery");
    out.push_back(std::move(b));
  }
  return out;
}

}  // namespace brv
