#pragma once
// Decoding of the firmware's SMBIOS structure table (the bytes of
// /sys/firmware/dmi/tables/DMI): splitting it into structures and reading the
// processor (type 4), memory device (type 17) and portable battery (type 22)
// structures. The decoders take bytes and never read past them: a damaged or
// truncated table yields the structures before the damage.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brv {

struct SmbiosStructure {
  uint8_t type = 0;
  uint16_t handle = 0;
  std::string formatted;             // the formatted area, header included
  std::vector<std::string> strings;  // the string set, string 1 first

  // Fields of the formatted area by offset; nothing when the structure is too
  // short to hold them (older SMBIOS versions have shorter structures).
  std::optional<uint8_t> Byte(size_t offset) const;
  std::optional<uint16_t> Word(size_t offset) const;
  std::optional<uint32_t> Dword(size_t offset) const;
  std::optional<uint64_t> Qword(size_t offset) const;
  // The string whose number is at `offset`, cleaned of padding and firmware
  // placeholders; nothing for number 0, a number past the string set, or a
  // placeholder.
  std::optional<std::string> String(size_t offset) const;
};

// The structures of a table, in order, up to the end-of-table structure (type
// 127), the end of the bytes, or the first damaged structure (a header that
// claims fewer than 4 bytes or runs past the end, or a string set without its
// closing double NUL).
std::vector<SmbiosStructure> SplitSmbiosTable(std::string_view table);

struct SmbiosProcessor {
  std::optional<std::string> socket;  // socket designation
  std::optional<std::string> manufacturer;
  std::optional<std::string> version;   // the processor's marketing name
  std::optional<uint16_t> maxSpeedMHz;  // nothing when the firmware gives 0
  std::optional<uint16_t> currentSpeedMHz;
  uint8_t processorType = 0;  // 3 = central processor
  bool populated = false;     // a processor sits in the socket
  // The firmware turned the processor off ("Disabled By User" or "Disabled By
  // BIOS"): a virtual machine's table lists every socket it could have so.
  bool disabled = false;
  // The x86 processor signature (the first half of the processor id: stepping,
  // model and family as CPUID leaf 1 gives them); nothing for other processors.
  std::optional<uint32_t> x86Signature;
};

struct SmbiosMemoryDevice {
  uint16_t handle = 0;
  bool installed = false;  // size neither 0 (empty slot) nor unknown
  std::optional<uint64_t> sizeBytes;
  std::optional<std::string> deviceLocator;
  std::optional<std::string> bankLocator;
  std::optional<std::string> manufacturer;
  std::optional<std::string> serialNumber;
  std::optional<std::string> partNumber;
  std::optional<uint32_t> speedMTs;            // the module's rated speed
  std::optional<uint32_t> configuredSpeedMTs;  // the speed the board runs it at
  uint8_t memoryType = 0;                      // SMBIOS code: 0x1A DDR4, 0x22 DDR5, ... (0 or 2 unknown)
  uint8_t formFactor = 0;                      // SMBIOS code: 0x09 DIMM, 0x0D SODIMM, ... (0 or 2 unknown)
};

// A memory array (type 16) of system memory: its slots and the most it holds.
struct SmbiosMemoryArray {
  uint16_t slots = 0;
  std::optional<uint64_t> maxCapacityBytes;
};

struct SmbiosBattery {
  std::optional<std::string> location;
  std::optional<std::string> manufacturer;
  std::optional<std::string> deviceName;
  std::optional<std::string> serialNumber;    // text serial, or the smart-battery serial in hex
  std::optional<uint32_t> designCapacityMWh;  // with the multiplier applied; nothing when unknown
  std::optional<uint16_t> designVoltageMV;
  // The chemistry as the standard codes it (3 lead acid, 4 NiCd, 5 NiMH,
  // 6 lithium-ion, 7 zinc air, 8 lithium polymer; 1 other); nothing unknown.
  std::optional<uint8_t> chemistry;
  // A firmware's stand-in, not a battery: location "Fake", a maker or name such
  // as "-Virtual Battery 0-" or "CRB Battery 0" (a reference board's text), or
  // nothing but placeholders.
  bool placeholder = false;
};

std::vector<SmbiosProcessor> DecodeSmbiosProcessors(const std::vector<SmbiosStructure>& table);
// "Family 6, Model 142, Stepping 10": an x86 signature read as the kernel
// reads it (the extended family added for family 15, the extended model for
// family 6 and above), in the words /proc/cpuinfo uses.
std::string X86SignatureText(uint32_t signature);
// Every memory device structure, installed or not, in table order.
std::vector<SmbiosMemoryDevice> DecodeSmbiosMemoryDevices(const std::vector<SmbiosStructure>& table);
// The system memory arrays (use 3), in table order.
std::vector<SmbiosMemoryArray> DecodeSmbiosMemoryArrays(const std::vector<SmbiosStructure>& table);
// The name of a memory type code ("DDR4") or form factor code ("SODIMM") as
// the standard spells it, and back; nothing for codes that name none.
std::optional<std::string_view> SmbiosMemoryTypeName(uint8_t code);
std::optional<uint8_t> SmbiosMemoryTypeCode(std::string_view name);
std::optional<std::string_view> SmbiosFormFactorName(uint8_t code);
std::optional<uint8_t> SmbiosFormFactorCode(std::string_view name);
// The standard code of a battery chemistry named in text, as smart batteries
// ("LION", "LiP", "PbAc") and the kernel ("Li-ion", "Li-poly", "NiMH") name
// it; nothing for "Unknown" or no text.
std::optional<uint8_t> BatteryChemistryCode(std::string_view text);
std::vector<SmbiosBattery> DecodeSmbiosBatteries(const std::vector<SmbiosStructure>& table);

}  // namespace brv
