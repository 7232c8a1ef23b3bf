#pragma once
// The instrumentation classes the collectors read, declared once: their names,
// in the order a capture lists them, and the key property of those whose
// instances are looked up by key. The collectors name classes through this
// table, the class sources take the key properties from it, and the live
// source keeps one reader per entry.
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
};

struct InstrumentationClassInfo {
  InstrumentationClass id;
  std::string_view name;
  std::string_view keyProperty;  // empty when instances have no key the collectors use
};

inline constexpr std::array<InstrumentationClassInfo, 15> kInstrumentationClasses = {{
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

}  // namespace brv
