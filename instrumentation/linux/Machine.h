#pragma once
// What the live source's collectors share: the root-relative reader, hwdata's id
// lists, the SMBIOS structures (when readable) and helpers for sysfs devices.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Variant.h"
#include "instrumentation/ClassSource.h"
#include "instrumentation/decoders/Smbios.h"
#include "instrumentation/linux/HwIds.h"
#include "instrumentation/linux/RootFs.h"
#include "instrumentation/linux/RouteNetlink.h"

namespace brv::live {

// What the live source keeps between queries about parts that cannot change
// while attached: a disk's serial number, by the kernel's number for that disk
// instance (diskseq, never reused while the machine runs).
class Remembered {
 public:
  std::optional<std::string> DiskSerial(const std::string& name, int64_t sequence) const;
  void KeepDiskSerial(const std::string& name, int64_t sequence, const std::string& serial);

 private:
  static constexpr size_t kMostDisks = 1024;  // past this many instances (disks swapped all day), start again
  mutable std::mutex lock_;
  std::map<std::pair<std::string, int64_t>, std::string> serials_;
};

class Machine {
 public:
  // `kernel`, when given, is a conversation kept between queries; without
  // one, the machine opens its own when first asked.
  Machine(const RootFs& fs, const HwIds& ids, RouteNetlink* kernel = nullptr, Remembered* remembered = nullptr)
      : fs_(fs), ids_(ids), kernel_(kernel), remembered_(remembered) {}

  const RootFs& fs() const { return fs_; }
  const HwIds& ids() const { return ids_; }
  RouteNetlink& Kernel() const;

  // The serial number of disk `name` (as in /sys/block), from `read` or, for a
  // disk instance already asked on this machine, as it answered then. Some
  // disks answer the serial by asking the device (a virtio disk takes about
  // 90 µs); a captured tree is always read.
  template <class Read>
  std::optional<std::string> DiskSerial(const std::string& name, Read read) const {
    if (!remembered_ || !fs_.root().empty()) return read();
    const auto sequence = fs_.ReadInt("/sys/block/" + name + "/diskseq");
    if (!sequence || *sequence <= 0) return read();
    if (auto kept = remembered_->DiskSerial(name, *sequence)) return kept;
    std::optional<std::string> serial = read();
    // A serial not found yet may still come (udev writes its database after
    // the disk appears): only a found one is kept.
    if (serial) remembered_->KeepDiskSerial(name, *sequence, *serial);
    return serial;
  }

  // The SMBIOS structures: the whole table (/sys/firmware/dmi/tables/DMI), else
  // the per-structure entries (/sys/firmware/dmi/entries/T-N/raw) of the types
  // the collectors use; nothing when neither can be read (an unprivileged user).
  const std::optional<std::vector<SmbiosStructure>>& Smbios() const;

  // A file of the machine holding one cleaned text (placeholders are nothing).
  std::optional<std::string> Text(std::string_view path) const;
  // The udev database entry of a device ("b8:0", "+dmi:id", "c188:0"): its
  // E: properties, in order.
  std::vector<std::pair<std::string, std::string>> UdevProperties(std::string_view id) const;
  std::optional<std::string> UdevProperty(std::string_view id, std::string_view key) const;

  // Names of a device from its bus ids: a PCI function (vendor/device files) or a
  // USB device (idVendor/idProduct), walking up from `devicePath` (canonical)
  // to the nearest such device. `busPath` gets the device found.
  IdNames DeviceNames(const std::string& devicePath, std::string* busPath = nullptr) const;

 private:
  const RootFs& fs_;
  const HwIds& ids_;
  mutable RouteNetlink* kernel_;
  Remembered* remembered_;
  mutable std::unique_ptr<RouteNetlink> ownKernel_;
  mutable bool smbiosLoaded_ = false;
  mutable std::optional<std::vector<SmbiosStructure>> smbios_;
};

// A count of bytes as the service gives it: a 32-bit whole number when it fits,
// a 64-bit one otherwise.
Variant ByteCount(uint64_t bytes);
Variant TextOrNull(const std::optional<std::string>& text);
// The memory the kernel manages, in bytes: meminfo's MemTotal.
std::optional<uint64_t> MemTotalBytes(const RootFs& fs);
// The memory installed as the kernel counts it, for a machine whose firmware
// lists no memory devices: the memory block size times the online blocks
// (/sys/devices/system/memory), else MemTotal rounded up to the block size
// (128 MiB, the smallest block, when the size is not told either).
std::optional<uint64_t> KernelMemoryBytes(const RootFs& fs);
// "aa:bb:cc:dd:ee:ff" in upper case; nothing for malformed or all-zero addresses.
std::optional<std::string> MacAddress(std::string_view text);

ClassAnswer Processors(const Machine& m);
ClassAnswer MemoryDevices(const Machine& m);
ClassAnswer DiskDrives(const Machine& m);
ClassAnswer DiskDriveDetails(const Machine& m);
ClassAnswer CdromDrives(const Machine& m);
ClassAnswer Modems(const Machine& m);
ClassAnswer Bluetooth(const Machine& m);
ClassAnswer Batteries(const Machine& m);
ClassAnswer DockingStations(const Machine& m);
ClassAnswer NetworkAdapters(const Machine& m);
ClassAnswer NetworkConfigurations(const Machine& m);
// The configuration of the adapter of that index (none when there is no such
// adapter), or every configuration when only the whole class can be read.
ClassAnswer NetworkConfiguration(const Machine& m, int32_t index);
ClassAnswer LcdPanels(const Machine& m);
ClassAnswer VideoConfigurations(const Machine& m);
ClassAnswer ExternalMonitors(const Machine& m);
ClassAnswer ComputerSystem(const Machine& m);
ClassAnswer PhysicalMemory(const Machine& m);
ClassAnswer PhysicalMemoryArrays(const Machine& m);
ClassAnswer VideoControllers(const Machine& m);

}  // namespace brv::live
