#pragma once
// The instrumentation classes the collectors read, declared once: their names,
// in the order a capture lists them, and the key property of those whose
// instances are looked up by key. The collectors name classes through this
// table, the class sources take the key properties from it, and the live
// source keeps one reader per entry.
//
// Beside the properties the grid shows, each part has details: further
// properties, named as the Windows instrumentation names them, on the class
// the grid reads or, where that class lacks them, on the standard class that
// has them (the physical memory class for a module's details, its array class
// for the slots, the video controller class for an adapter's driver). They
// are listed in kDetailProperties with what their numbers mean.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace brv {

enum class InstrumentationClass {
  Processor,
  MemoryDevice,
  DiskDrive,
  DiskDriveDetails,
  CdromDrive,
  Modem,
  Bluetooth,
  PortableBattery,
  DockingStation,
  NetworkAdapter,
  NetworkAdapterConfiguration,
  LcdPanel,
  VideoConfiguration,
  ExternalMonitor,
  ComputerSystem,
  PhysicalMemory,
  PhysicalMemoryArray,
  VideoController,
};

struct InstrumentationClassInfo {
  InstrumentationClass id;
  std::string_view name;
  std::string_view keyProperty;  // empty when instances have no key the collectors use
};

inline constexpr std::array<InstrumentationClassInfo, 18> kInstrumentationClasses = {{
    {InstrumentationClass::Processor, "CIM_Processor", "DeviceID"},
    {InstrumentationClass::MemoryDevice, "DMTF_MemoryDevice", ""},
    {InstrumentationClass::DiskDrive, "Win32_DiskDrive", "DeviceID"},
    {InstrumentationClass::DiskDriveDetails, "Brovik_DiskDrive", ""},
    {InstrumentationClass::CdromDrive, "Brovik_CDROMDrive", ""},
    {InstrumentationClass::Modem, "Win32_POTSModem", "DeviceID"},
    {InstrumentationClass::Bluetooth, "Brovik_Bluetooth", ""},
    {InstrumentationClass::PortableBattery, "DMTF_PortableBattery", ""},
    {InstrumentationClass::DockingStation, "Brovik_DockingStation", ""},
    {InstrumentationClass::NetworkAdapter, "Win32_NetworkAdapter", "DeviceID"},
    {InstrumentationClass::NetworkAdapterConfiguration, "Win32_NetworkAdapterConfiguration", "Index"},
    {InstrumentationClass::LcdPanel, "Brovik_LCDPanel", ""},
    {InstrumentationClass::VideoConfiguration, "Win32_VideoConfiguration", "Name"},
    {InstrumentationClass::ExternalMonitor, "Brovik_ExternalMonitor", ""},
    // The machine itself (host name, system, maker, model, serial), for reports
    // to an inventory server; no category shows it.
    {InstrumentationClass::ComputerSystem, "Brovik_ComputerSystem", ""},
    // Details of the memory modules (one instance per installed module, in
    // the order of the memory devices) and of the slots (one per array of
    // system memory); of the graphics adapters (in the order of the video
    // configurations).
    {InstrumentationClass::PhysicalMemory, "Win32_PhysicalMemory", ""},
    {InstrumentationClass::PhysicalMemoryArray, "Win32_PhysicalMemoryArray", ""},
    {InstrumentationClass::VideoController, "Win32_VideoController", ""},
}};

constexpr const InstrumentationClassInfo& ClassInfo(InstrumentationClass id) {
  return kInstrumentationClasses[static_cast<size_t>(id)];
}
constexpr std::string_view ClassName(InstrumentationClass id) { return ClassInfo(id).name; }

// The entries are kept in the order of the enumeration, so that ClassInfo is an index.
static_assert([] {
  for (size_t i = 0; i < kInstrumentationClasses.size(); ++i) {
    if (static_cast<size_t>(kInstrumentationClasses[i].id) != i) return false;
  }
  return true;
}());

// What a detail's value is. Numbers are whole numbers in the unit named;
// codes are the Windows instrumentation's.
enum class DetailUnit {
  Text,
  TextList,  // an array of texts (addresses)
  Flag,      // true or false
  Count,     // a plain number (cores, slots, cycles)
  Bytes,
  Kilobytes,  // 1024 bytes (caches, an array's capacity)
  Megahertz,
  Hertz,
  MegatransfersPerSecond,
  MilliwattHours,
  Percent,
  BitsPerSecond,
  Centimetres,
  Pixels,
  RevolutionsPerMinute,
  Year,
  Week,
  ArchitectureCode,  // 0 x86, 3 PowerPC, 5 ARM, 9 x64, 12 ARM64
  MemoryTypeCode,    // SMBIOS: 24 DDR3, 26 DDR4, 30 LPDDR4, 34 DDR5, 35 LPDDR5, ...
  FormFactorCode,    // 8 DIMM, 12 SODIMM, 7 SIMM, 11 RIMM, ... (0 unknown, 1 other)
  ChemistryCode,     // 3 lead acid, 4 NiCd, 5 NiMH, 6 lithium-ion, 7 zinc air, 8 lithium polymer, 1 other
  ConnectionCode,    // 0 disconnected, 1 connecting, 2 connected, 7 media disconnected
};

struct DetailProperty {
  InstrumentationClass cls;
  std::string_view name;
  DetailUnit unit;
  // A value that moves by itself (a clock, a charge, a link's state): no
  // change of the part.
  bool moves = false;
};

inline constexpr DetailProperty kDetailProperties[] = {
    {InstrumentationClass::Processor, "NumberOfCores", DetailUnit::Count},
    {InstrumentationClass::Processor, "NumberOfLogicalProcessors", DetailUnit::Count},
    {InstrumentationClass::Processor, "L2CacheSize", DetailUnit::Kilobytes},
    {InstrumentationClass::Processor, "L3CacheSize", DetailUnit::Kilobytes},
    {InstrumentationClass::Processor, "CurrentClockSpeed", DetailUnit::Megahertz, true},
    {InstrumentationClass::Processor, "Architecture", DetailUnit::ArchitectureCode},
    {InstrumentationClass::PhysicalMemory, "Capacity", DetailUnit::Bytes},
    {InstrumentationClass::PhysicalMemory, "Manufacturer", DetailUnit::Text},
    {InstrumentationClass::PhysicalMemory, "PartNumber", DetailUnit::Text},
    {InstrumentationClass::PhysicalMemory, "SerialNumber", DetailUnit::Text},
    {InstrumentationClass::PhysicalMemory, "Speed", DetailUnit::MegatransfersPerSecond},
    {InstrumentationClass::PhysicalMemory, "ConfiguredClockSpeed", DetailUnit::MegatransfersPerSecond},
    {InstrumentationClass::PhysicalMemory, "SMBIOSMemoryType", DetailUnit::MemoryTypeCode},
    {InstrumentationClass::PhysicalMemory, "FormFactor", DetailUnit::FormFactorCode},
    {InstrumentationClass::PhysicalMemory, "DeviceLocator", DetailUnit::Text},
    {InstrumentationClass::PhysicalMemory, "BankLabel", DetailUnit::Text},
    {InstrumentationClass::PhysicalMemoryArray, "MemoryDevices", DetailUnit::Count},
    {InstrumentationClass::PhysicalMemoryArray, "MaxCapacityEx", DetailUnit::Kilobytes},
    {InstrumentationClass::VideoController, "Name", DetailUnit::Text},
    {InstrumentationClass::VideoController, "AdapterRAM", DetailUnit::Bytes},
    {InstrumentationClass::VideoController, "DriverVersion", DetailUnit::Text},
    {InstrumentationClass::VideoController, "CurrentRefreshRate", DetailUnit::Hertz, true},
    {InstrumentationClass::VideoController, "VideoProcessor", DetailUnit::Text},
    {InstrumentationClass::DiskDrive, "MediaType", DetailUnit::Text},      // "SSD" or "HDD"
    {InstrumentationClass::DiskDrive, "InterfaceType", DetailUnit::Text},  // "NVMe", "SATA", "USB", "virtio", ...
    {InstrumentationClass::DiskDrive, "SpindleSpeed", DetailUnit::RevolutionsPerMinute},
    {InstrumentationClass::PortableBattery, "DesignCapacity", DetailUnit::MilliwattHours},
    {InstrumentationClass::PortableBattery, "FullChargeCapacity", DetailUnit::MilliwattHours},
    {InstrumentationClass::PortableBattery, "CycleCount", DetailUnit::Count},
    {InstrumentationClass::PortableBattery, "Chemistry", DetailUnit::ChemistryCode},
    {InstrumentationClass::PortableBattery, "EstimatedChargeRemaining", DetailUnit::Percent, true},
    {InstrumentationClass::NetworkAdapter, "Speed", DetailUnit::BitsPerSecond, true},
    {InstrumentationClass::NetworkAdapter, "NetConnectionStatus", DetailUnit::ConnectionCode, true},
    {InstrumentationClass::NetworkAdapterConfiguration, "IPAddress", DetailUnit::TextList, true},
    {InstrumentationClass::NetworkAdapterConfiguration, "DefaultIPGateway", DetailUnit::TextList, true},
    {InstrumentationClass::NetworkAdapterConfiguration, "DHCPEnabled", DetailUnit::Flag},
    {InstrumentationClass::ExternalMonitor, "YearOfManufacture", DetailUnit::Year},
    {InstrumentationClass::ExternalMonitor, "WeekOfManufacture", DetailUnit::Week},
    {InstrumentationClass::ExternalMonitor, "MaxHorizontalImageSize", DetailUnit::Centimetres},
    {InstrumentationClass::ExternalMonitor, "MaxVerticalImageSize", DetailUnit::Centimetres},
    {InstrumentationClass::ExternalMonitor, "HorizontalActivePixels", DetailUnit::Pixels},
    {InstrumentationClass::ExternalMonitor, "VerticalActivePixels", DetailUnit::Pixels},
};

}  // namespace brv
