// Disks and optical drives from /sys/block.
#include <fmt/format.h>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

bool IsOptical(const Machine& m, const std::string& name) {
  // SCSI peripheral type 5 is a CD/DVD drive, whatever its name. Only the SCSI
  // layer's devices have a type; asking the others would cost a failed open
  // (several microseconds in sysfs) per disk and query.
  if (name.starts_with("sr")) return true;
  return name.starts_with("sd") && m.fs().ReadLine("/sys/block/" + name + "/device/type") == "5";
}

// The whole disks: block devices backed by hardware, without the virtual ones
// (loop, ram, zram, device-mapper, md, network block devices), partitions (not
// listed in /sys/block), optical drives and the hidden paths of multipath NVMe.
std::vector<std::string> WholeDisks(const Machine& m) {
  std::vector<std::string> out;
  for (const std::string& name : m.fs().List("/sys/block")) {
    bool virtualDevice = false;
    for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd", "fd", "mtdblock"}) {
      virtualDevice = virtualDevice || name.starts_with(prefix);
    }
    if (virtualDevice || IsOptical(m, name)) continue;
    if (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos) continue;  // eMMC areas
    // Only NVMe multipath hides the per-controller paths (nvme0c0n1 and so on).
    if (name.starts_with("nvme") && m.fs().ReadLine("/sys/block/" + name + "/hidden") == "1") continue;
    if (!m.fs().Exists("/sys/block/" + name + "/device")) continue;
    out.push_back(name);
  }
  return out;
}

std::vector<std::string> OpticalDrives(const Machine& m) {
  std::vector<std::string> out;
  for (const std::string& name : m.fs().List("/sys/block")) {
    if (IsOptical(m, name) && m.fs().Exists("/sys/block/" + name + "/device")) out.push_back(name);
  }
  return out;
}

// "b8:0": the udev database name of a block device.
std::optional<std::string> UdevBlockId(const Machine& m, const std::string& name) {
  const auto dev = m.fs().ReadLine("/sys/block/" + name + "/dev");
  if (!dev || dev->empty()) return std::nullopt;
  return "b" + *dev;
}

std::optional<std::string> Joined(const std::optional<std::string>& vendor, const std::optional<std::string>& model) {
  if (!model) return vendor;
  // ATA disks behind the SCSI layer all say "ATA".
  if (!vendor || *vendor == "ATA" || model->starts_with(*vendor)) return model;
  return *vendor + " " + *model;
}

// The unit serial number page (SCSI VPD 0x80): a 4-byte header whose last
// byte is the length of the serial that follows.
std::optional<std::string> VpdSerial(const Machine& m, const std::string& path) {
  const auto page = m.fs().Read(path, 4096);
  if (!page || page->size() < 4 || static_cast<uint8_t>((*page)[1]) != 0x80) return std::nullopt;
  const size_t length = static_cast<uint8_t>((*page)[3]);
  return CleanFirmwareText(std::string_view(*page).substr(4, length));
}

std::optional<std::string> Serial(const Machine& m, const std::string& name) {
  return m.DiskSerial(name, [&]() -> std::optional<std::string> {
    const std::string dir = "/sys/block/" + name;
    for (const std::string& path : {dir + "/device/serial", dir + "/serial"}) {
      if (auto s = m.Text(path)) return s;
    }
    if (auto s = VpdSerial(m, dir + "/device/vpd_pg80")) return s;
    if (const auto id = UdevBlockId(m, name)) return m.UdevProperty(*id, "ID_SERIAL_SHORT");
    return std::nullopt;
  });
}

std::optional<std::string> Firmware(const Machine& m, const std::string& name) {
  const std::string dir = "/sys/block/" + name;
  for (const std::string& path : {dir + "/device/firmware_rev", dir + "/device/rev", dir + "/device/fwrev"}) {
    if (auto s = m.Text(path)) return s;
  }
  if (const auto id = UdevBlockId(m, name)) return m.UdevProperty(*id, "ID_REVISION");
  return std::nullopt;
}

std::optional<std::string> Model(const Machine& m, const std::string& name) {
  const std::string dir = "/sys/block/" + name;
  if (auto model = m.Text(dir + "/device/model")) return Joined(m.Text(dir + "/device/vendor"), model);
  if (auto card = m.Text(dir + "/device/name")) return card;  // MMC/SD cards
  if (const auto id = UdevBlockId(m, name)) {
    if (auto model = m.UdevProperty(*id, "ID_MODEL")) return model;
  }
  // Paravirtual disks carry no model: the name of their PCI function.
  if (const auto device = m.fs().Resolve(dir + "/device")) return m.DeviceNames(*device).device;
  return std::nullopt;
}

// The transport a disk is reached by, as its device path shows it.
std::optional<std::string> Interface(const Machine& m, const std::string& name) {
  if (name.starts_with("nvme")) return "NVMe";
  if (name.starts_with("mmcblk")) return "MMC";
  const std::string path = m.fs().Resolve("/sys/block/" + name + "/device").value_or("");
  if (path.empty()) return std::nullopt;
  if (path.find("/usb") != std::string::npos) return "USB";
  if (name.starts_with("vd") || path.find("/virtio") != std::string::npos) return "virtio";
  if (path.find("/ata") != std::string::npos) return "SATA";
  if (path.find("/end_device-") != std::string::npos) return "SAS";
  if (path.find("/session") != std::string::npos) return "iSCSI";
  if (path.find("/rport-") != std::string::npos) return "FC";
  if (name.starts_with("sd")) return "SCSI";
  return std::nullopt;
}

}  // namespace

ClassAnswer DiskDrives(const Machine& m) {
  ClassAnswer answer;
  for (const std::string& name : WholeDisks(m)) {
    Instance instance;
    instance.Set("DeviceID", "/dev/" + name);
    instance.Set("Model", TextOrNull(Model(m, name)));
    // The size file counts 512-byte sectors whatever the device's block size.
    const auto sectors = m.fs().ReadInt("/sys/block/" + name + "/size");
    instance.Set("Size", sectors && *sectors > 0 && *sectors < (int64_t{1} << 54)
                             ? ByteCount(static_cast<uint64_t>(*sectors) * 512)
                             : Variant(Null{}));
    // Details: solid state or spinning (as the kernel's queue tells it), the
    // transport, and the spindle's speed where the drive states it.
    const auto rotational = m.fs().ReadLine("/sys/block/" + name + "/queue/rotational");
    instance.Set("MediaType", rotational == "0"   ? Variant("SSD")
                              : rotational == "1" ? Variant("HDD")
                                                  : Variant(Null{}));
    instance.Set("InterfaceType", TextOrNull(Interface(m, name)));
    std::optional<int32_t> rpm;
    if (const auto id = UdevBlockId(m, name)) {
      const auto n = ParseInteger<int32_t>(m.UdevProperty(*id, "ID_ATA_ROTATION_RATE_RPM").value_or(""));
      if (n && *n >= 0 && *n < 100000) rpm = *n;
    }
    instance.Set("SpindleSpeed", rpm ? Variant(*rpm) : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer DiskDriveDetails(const Machine& m) {
  ClassAnswer answer;
  for (const std::string& name : WholeDisks(m)) {
    Instance instance;
    instance.Set("SerialNO", TextOrNull(Serial(m, name)));
    instance.Set("FirmwareRevision", TextOrNull(Firmware(m, name)));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer CdromDrives(const Machine& m) {
  ClassAnswer answer;
  for (const std::string& name : OpticalDrives(m)) {
    const std::string dir = "/sys/block/" + name + "/device";
    std::optional<std::string> id = Joined(m.Text(dir + "/vendor"), m.Text(dir + "/model"));
    if (!id) {
      if (const auto udev = UdevBlockId(m, name)) id = m.UdevProperty(*udev, "ID_MODEL");
    }
    Instance instance;
    instance.Set("DeviceID", TextOrNull(id));
    instance.Set("SerialNO", TextOrNull(Serial(m, name)));
    instance.Set("FirmwareRevision", TextOrNull(Firmware(m, name)));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

}  // namespace brv::live
