#include "inventory/Catalogue.h"

#include <array>

#include "inventory/Collectors.h"

namespace brv {
namespace {

using C = InstrumentationClass;
using As = ReportAs;

// The server's bits of HARDWARE/CHECKSUM, per section.
constexpr int64_t kMemories = 4, kControllers = 32, kMonitors = 64, kStorages = 256, kModems = 2048, kNetworks = 4096,
                  kVideos = 32768, kCpus = 262144, kBatteries = 1048576;

constexpr int32_t kIndex = 212;  // "Index": the instance number, the first row of most categories
constexpr int32_t kAll = 32767;  // instances read at most: as many as the counter can number

// CPU: one row per processor package.
constexpr Column kCpuColumns[] = {{kIndex},
                                  {301, "Manufacturer"},
                                  {302, "Name"},
                                  {305, "Version", true},
                                  {303, "MaxClockSpeed", false, false, false, Unit::kMegahertz},
                                  {304, "SocketDesignation"}};
constexpr int32_t kCpuSocket[] = {304};
constexpr IdentityKey kCpuIdentity[] = {kCpuSocket};
constexpr ReportField kCpuReport[] = {{"MANUFACTURER", 301},
                                      {"TYPE", 302},
                                      {"SPEED", 303, As::Number},
                                      {"SOCKET", 304},
                                      {"CORES", 0, As::Detail, {}, 0, "NumberOfCores"},
                                      {"LOGICAL_CPUS", 0, As::Detail, {}, 0, "NumberOfLogicalProcessors"},
                                      {"CPUARCH", 0, As::Detail, {}, 0, "Architecture"},
                                      {"L2CACHESIZE", 0, As::Detail, {}, 1024, "L2CacheSize"}};

// Memory: one row per memory device.
constexpr Column kMemoryColumns[] = {{kIndex}, {351, "Index"}, {352, "Size", true, false, false, Unit::kBytes}};
constexpr int32_t kMemorySlot[] = {351};
constexpr IdentityKey kMemoryIdentity[] = {kMemorySlot};
constexpr ReportField kMemoryReport[] = {{"NUMSLOTS", 351, As::Number},
                                         {"CAPACITY", 352, As::Megabytes},
                                         {"TYPE", 0, As::Detail, {}, 0, "SMBIOSMemoryType"},
                                         {"SPEED", 0, As::Detail, {}, 0, "Speed"},
                                         {"MANUFACTURER", 0, As::Detail, {}, 0, "Manufacturer"},
                                         {"SERIALNUMBER", 0, As::Detail, {}, 0, "SerialNumber"},
                                         {"DESCRIPTION", 0, As::Detail, {}, 0, "FormFactor"}};

// Display: the one display, from the first panel and the first video adapter.
constexpr Column kDisplayColumns[] = {{kIndex},
                                      {401, "HorizontalResolution"},
                                      {402, "VerticalResolution"},
                                      {403, "AdapterChipType", false, false, true},
                                      {404, "AdapterRAM", false, false, true, Unit::kMebibytes}};
constexpr ReportField kDisplayReport[] = {
    {"NAME", 403}, {"CHIPSET", 403}, {"MEMORY", 404, As::Number}, {"RESOLUTION", 401, As::Dimensions, {}, 402}};

// HDD: one row per disk, its serial number and firmware from the maker's
// record at the same position.
constexpr Column kHddColumns[] = {{451},
                                  {452, "Model"},
                                  {453, "Size", false, false, false, Unit::kBytes},
                                  {454, "SerialNO", false, false, true},
                                  {455, "FirmwareRevision", true, false, true}};
constexpr int32_t kHddSerial[] = {454}, kHddModelAndSize[] = {452, 453};
constexpr IdentityKey kHddIdentity[] = {kHddSerial, kHddModelAndSize};
constexpr ReportField kHddReport[] = {{"TYPE", 0, As::Constant, "disk"},
                                      {"NAME", 452},
                                      {"MODEL", 452},
                                      {"DESCRIPTION", 0, As::Detail, {}, 0, "MediaType"},
                                      {"DISKSIZE", 453, As::Megabytes},
                                      {"SERIALNUMBER", 454},
                                      {"FIRMWARE", 455},
                                      {"INTERFACE", 0, As::Detail, {}, 0, "InterfaceType"}};

// CD,DVD: one row per optical drive; the drive's identifier is shown as its model.
constexpr Column kCdDvdColumns[] = {{kIndex}, {501, "DeviceID"}, {502, "SerialNO"}, {503, "FirmwareRevision", true}};
constexpr int32_t kCdDvdSerial[] = {502}, kCdDvdModel[] = {501};
constexpr IdentityKey kCdDvdIdentity[] = {kCdDvdSerial, kCdDvdModel};
constexpr ReportField kCdDvdReport[] = {
    {"TYPE", 0, As::Constant, "cdrom"}, {"NAME", 501}, {"MODEL", 501}, {"SERIALNUMBER", 502}, {"FIRMWARE", 503}};

// Modem: one row per telephone-line modem. A modem is known by its make and
// model; the port the system gave it is numbered afresh as modems come and go.
constexpr Column kModemColumns[] = {{kIndex},          {601, "AttachedTo", false, true},
                                    {602, "Caption"},  {604, "Description"},
                                    {605, "DeviceID"}, {606, "DeviceType", true}};
constexpr int32_t kModemCaption[] = {602}, kModemDescription[] = {604};
constexpr IdentityKey kModemIdentity[] = {kModemCaption, kModemDescription};
constexpr ReportField kModemReport[] = {{"NAME", 602}, {"MODEL", 602}, {"DESCRIPTION", 604}, {"TYPE", 606}};

// Bluetooth: one row per Bluetooth device.
constexpr Column kBluetoothColumns[] = {
    {kIndex}, {651, "Description"}, {652, "MACAddress"}, {653, "Manufacturer"}, {654, "Name", true}};
constexpr int32_t kBluetoothAddress[] = {652};
constexpr IdentityKey kBluetoothIdentity[] = {kBluetoothAddress};
constexpr ReportField kBluetoothReport[] = {{"TYPE", 0, As::Constant, "Bluetooth"},
                                            {"MANUFACTURER", 653},
                                            {"NAME", 654},
                                            {"CAPTION", 651},
                                            {"DESCRIPTION", 651}};

// Battery Pack: one row per battery pack; the design capacity as the source reports it.
constexpr Column kBatteryColumns[] = {
    {751},
    {752, "PortableBatterySerialNumber"},
    {753, "PortableBatteryDesignCapacity", true, false, false, Unit::kMilliwattHours}};
constexpr int32_t kBatterySerial[] = {752};
constexpr IdentityKey kBatteryIdentity[] = {kBatterySerial};
constexpr ReportField kBatteryReport[] = {{"NAME", 0, As::Constant, "Battery Pack"},
                                          {"SERIALNUMBER", 752},
                                          {"DESIGNCAPACITY", 753, As::Number},
                                          {"REAL_CAPACITY", 0, As::Detail, {}, 0, "FullChargeCapacity"},
                                          {"CHEMISTRY", 0, As::Detail, {}, 0, "Chemistry"}};

// Docking Station: one row per dock; its serial number is the docking reference
// number, and its state changes as the machine is docked.
constexpr Column kDockingColumns[] = {{kIndex}, {801, "SerialNO"}, {802, "status", true, true}};
constexpr int32_t kDockingReference[] = {801};
constexpr IdentityKey kDockingIdentity[] = {kDockingReference};
constexpr ReportField kDockingReport[] = {{"TYPE", 0, As::Constant, "Docking Station"},
                                          {"NAME", 801},
                                          {"CAPTION", 0, As::Constant, "Docking Station"},
                                          {"DESCRIPTION", 802}};

// Network Adapter: the adapters with a MAC address not made by "Microsoft",
// each with the first address of its configuration (given out afresh). An
// adapter without a hardware address is known by the name the system gives it.
constexpr Column kNetworkColumns[] = {{kIndex},
                                      {851, "AdapterType"},
                                      {852, "Description"},
                                      {853, "IPAddress", false, true, true},
                                      {854, "MACAddress"},
                                      {855, "Manufacturer"},
                                      {856, "Name", true}};
constexpr int32_t kNetworkAddress[] = {854}, kNetworkName[] = {856};
constexpr IdentityKey kNetworkIdentity[] = {kNetworkAddress, kNetworkName};
constexpr ReportField kNetworkReport[] = {{"DESCRIPTION", 852}, {"TYPE", 851}, {"MACADDR", 854}, {"IPADDRESS", 853}};

// External Monitor: one row per external monitor.
constexpr Column kMonitorColumns[] = {{kIndex}, {1001, "Manufacturer"}, {1002, "Model"}, {1003, "SerialNO", true}};
constexpr int32_t kMonitorWhole[] = {1001, 1002, 1003}, kMonitorModel[] = {1001, 1002};
constexpr IdentityKey kMonitorIdentity[] = {kMonitorWhole, kMonitorModel};
constexpr ReportField kMonitorReport[] = {
    {"MANUFACTURER", 1001}, {"CAPTION", 1002}, {"DESCRIPTION", 1002}, {"SERIAL", 1003}};

// The details below each part's grid.
using S = DetailShown;
constexpr Detail kCpuDetails[] = {
    {331, C::Processor, "NumberOfCores"},     {332, C::Processor, "NumberOfLogicalProcessors"},
    {333, C::Processor, "L2CacheSize"},       {334, C::Processor, "L3CacheSize"},
    {335, C::Processor, "CurrentClockSpeed"}, {336, C::Processor, "Architecture"}};
constexpr Detail kMemoryDetails[] = {{371, C::PhysicalMemory, "Manufacturer"},
                                     {372, C::PhysicalMemory, "PartNumber"},
                                     {373, C::PhysicalMemory, "SerialNumber"},
                                     {374, C::PhysicalMemory, "Speed"},
                                     {375, C::PhysicalMemory, "ConfiguredClockSpeed"},
                                     {376, C::PhysicalMemory, "SMBIOSMemoryType"},
                                     {377, C::PhysicalMemory, "FormFactor"},
                                     {378, C::PhysicalMemory, "DeviceLocator"},
                                     {379, C::PhysicalMemory, "BankLabel"},
                                     {380, C::PhysicalMemoryArray, "MemoryDevices", S::OfTotal}};
constexpr Detail kDisplayDetails[] = {{431, C::VideoController, "AdapterRAM"},
                                      {432, C::VideoController, "DriverVersion"},
                                      {433, C::VideoController, "CurrentRefreshRate"},
                                      {434, C::VideoController, "VideoProcessor"}};
constexpr Detail kHddDetails[] = {
    {481, C::DiskDrive, "MediaType"}, {482, C::DiskDrive, "InterfaceType"}, {483, C::DiskDrive, "SpindleSpeed"}};
constexpr Detail kBatteryDetails[] = {{781, C::PortableBattery, "DesignCapacity"},
                                      {782, C::PortableBattery, "FullChargeCapacity"},
                                      {783, C::PortableBattery, "CycleCount"},
                                      {784, C::PortableBattery, "Chemistry"},
                                      {785, C::PortableBattery, "EstimatedChargeRemaining"},
                                      {786, C::PortableBattery, "DesignCapacity", S::Wear, "FullChargeCapacity"}};
constexpr Detail kNetworkDetails[] = {{881, C::NetworkAdapter, "Speed"},
                                      {882, C::NetworkAdapter, "NetConnectionStatus"},
                                      {883, C::NetworkAdapterConfiguration, "IPAddress"},
                                      {884, C::NetworkAdapterConfiguration, "DefaultIPGateway"},
                                      {885, C::NetworkAdapterConfiguration, "DHCPEnabled"}};
constexpr Detail kMonitorDetails[] = {
    {1031, C::ExternalMonitor, "YearOfManufacture"},
    {1032, C::ExternalMonitor, "WeekOfManufacture"},
    {1033, C::ExternalMonitor, "MaxHorizontalImageSize", S::Pair, "MaxVerticalImageSize"},
    {1034, C::ExternalMonitor, "MaxHorizontalImageSize", S::Diagonal, "MaxVerticalImageSize"},
    {1035, C::ExternalMonitor, "HorizontalActivePixels", S::Pair, "VerticalActivePixels"}};

constexpr std::array<CategoryInfo, kCategoryCount> kCatalogue = {{
    {Category::CPU,
     C::Processor,
     {},
     kAll,
     true,
     kCpuColumns,
     kCpuIdentity,
     {"CPUS", kCpus, false, kCpuReport},
     GetCPUInfo,
     false,
     kCpuDetails},
    {Category::Memory,
     C::MemoryDevice,
     {},
     kAll,
     true,
     kMemoryColumns,
     kMemoryIdentity,
     {"MEMORIES", kMemories, false, kMemoryReport},
     GetMemoryInfo,
     false,
     kMemoryDetails},
    // The display keeps no count: there is one, or none when neither class answers.
    {Category::Display,
     C::LcdPanel,
     C::VideoConfiguration,
     1,
     false,
     kDisplayColumns,
     {},
     {"VIDEOS", kVideos, false, kDisplayReport},
     GetDisplayInfo,
     true,
     kDisplayDetails},
    {Category::HDD,
     C::DiskDrive,
     C::DiskDriveDetails,
     kAll,
     true,
     kHddColumns,
     kHddIdentity,
     {"STORAGES", kStorages, false, kHddReport},
     GetHDDInfo,
     true,
     kHddDetails},
    {Category::CDDVD,
     C::CdromDrive,
     {},
     kAll,
     true,
     kCdDvdColumns,
     kCdDvdIdentity,
     {"STORAGES", kStorages, false, kCdDvdReport},
     GetCDDVDInfo},
    {Category::Modem,
     C::Modem,
     {},
     kAll,
     true,
     kModemColumns,
     kModemIdentity,
     {"MODEMS", kModems, false, kModemReport},
     GetModemInfo},
    {Category::Bluetooth,
     C::Bluetooth,
     {},
     kAll,
     true,
     kBluetoothColumns,
     kBluetoothIdentity,
     {"CONTROLLERS", kControllers, false, kBluetoothReport},
     GetBluetoothInfo},
    {Category::BatteryPack,
     C::PortableBattery,
     {},
     kAll,
     true,
     kBatteryColumns,
     kBatteryIdentity,
     {"BATTERIES", kBatteries, true, kBatteryReport},
     GetBatteryInfo,
     false,
     kBatteryDetails},
    {Category::DockingStation,
     C::DockingStation,
     {},
     kAll,
     true,
     kDockingColumns,
     kDockingIdentity,
     {"CONTROLLERS", kControllers, false, kDockingReport},
     GetDockingInfo},
    {Category::NetworkAdapter,
     C::NetworkAdapter,
     C::NetworkAdapterConfiguration,
     kAll,
     true,
     kNetworkColumns,
     kNetworkIdentity,
     {"NETWORKS", kNetworks, false, kNetworkReport},
     GetNetworkInfo,
     true,
     kNetworkDetails},
    {Category::ExternalMonitor,
     C::ExternalMonitor,
     {},
     kAll,
     true,
     kMonitorColumns,
     kMonitorIdentity,
     {"MONITORS", kMonitors, false, kMonitorReport},
     GetExternalMonitorInfo,
     false,
     kMonitorDetails},
}};

// Every caption an identity rule or a report field names is a column of its
// category, and every category's first column is the instance number.
constexpr bool HasColumn(const CategoryInfo& c, int32_t caption) {
  for (const Column& column : c.columns) {
    if (column.caption == caption) return true;
  }
  return false;
}
static_assert([] {
  for (const CategoryInfo& c : kCatalogue) {
    if (c.columns.empty() || !c.columns.front().property.empty()) return false;
    for (const IdentityKey& key : c.identity) {
      for (int32_t caption : key) {
        if (!HasColumn(c, caption)) return false;
      }
    }
    for (const ReportField& f : c.report.fields) {
      if (f.as != ReportAs::Constant && f.as != ReportAs::Detail && !HasColumn(c, f.caption)) return false;
      if (f.as == ReportAs::Dimensions && !HasColumn(c, f.second)) return false;
    }
  }
  return true;
}());

// Every detail shows a property the sources declare (declared() does not compile otherwise).
static_assert([] {
  for (const CategoryInfo& c : kCatalogue) {
    for (const Detail& d : c.details) static_cast<void>(d.declared());
  }
  return true;
}());

// Kept in the control's order, so that CatalogueOf is an index.
static_assert([] {
  for (size_t i = 0; i < kCatalogue.size(); ++i) {
    if (IndexOf(kCatalogue[i].category) != i) return false;
  }
  return true;
}());

}  // namespace

std::optional<size_t> CategoryInfo::ColumnOf(int32_t caption) const {
  for (size_t k = 0; k < columns.size(); ++k) {
    if (columns[k].caption == caption) return k;
  }
  return std::nullopt;
}

std::span<const CategoryInfo> CategoryCatalogue() { return kCatalogue; }

const CategoryInfo& CatalogueOf(Category category) { return kCatalogue[IndexOf(category)]; }

}  // namespace brv
