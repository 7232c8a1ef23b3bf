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
// are declared, with what their numbers mean, among the catalogue's details.
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

}  // namespace brv
