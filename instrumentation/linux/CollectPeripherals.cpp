// Modems, Bluetooth controllers and docking stations.
#include <fmt/format.h>

#include <unordered_map>

#include "instrumentation/linux/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A modem built in (PCI, or a USB port the firmware marks as fixed) or plugged in.
std::string ModemType(const Machine& m, const std::string& busPath) {
  if (busPath.empty()) return "Unknown";
  if (!m.fs().Exists(JoinPath(busPath, "idVendor"))) return "Internal Modem";
  const auto removable = m.fs().ReadLine(JoinPath(busPath, "removable"));
  return removable == "fixed" ? "Internal Modem" : "External Modem";
}

Instance ModemInstance(const Machine& m, const std::string& device, std::optional<std::string> attachedTo) {
  std::string busPath;
  const IdNames names = m.DeviceNames(device, &busPath);
  std::optional<std::string> caption = names.device;
  if (caption && names.vendor) caption = *names.vendor + " " + *caption;
  Instance instance;
  instance.Set("AttachedTo", TextOrNull(attachedTo));
  instance.Set("Caption", TextOrNull(caption));
  instance.Set("Description", TextOrNull(names.device));
  instance.Set("DeviceID", device);
  instance.Set("DeviceType", ModemType(m, busPath));
  return instance;
}

}  // namespace

// Modems as sysfs shows them, without opening any port: USB modems of the
// communications class (the cdc_acm driver's ttyACM devices) and the kernel's
// WWAN devices (with their AT command port where there is one).
ClassAnswer Modems(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const std::string& tty : fs.List("/sys/class/tty")) {
    if (!StartsWith(tty, "ttyACM")) continue;
    const auto device = fs.Resolve("/sys/class/tty/" + tty + "/device");
    if (!device) continue;
    // The interface's class: 02 communications, subclass 02 abstract control
    // model (the modem model; other CDC functions are not modems).
    const auto cls = fs.ReadLine(JoinPath(*device, "bInterfaceClass"));
    const auto sub = fs.ReadLine(JoinPath(*device, "bInterfaceSubClass"));
    if ((cls && *cls != "02") || (sub && *sub != "02")) continue;
    answer.instances.push_back(ModemInstance(m, *device, "/dev/" + tty));
  }
  // "wwan0" is a device; "wwan0at0", "wwan0mbim0", ... are its ports. The
  // first AT command port of each device, found in one pass.
  const std::vector<std::string> wwans = fs.List("/sys/class/wwan");
  std::unordered_map<std::string_view, std::string_view> atPort;
  for (const std::string& p : wwans) {
    const size_t at = p.find("at", 4);
    if (StartsWith(p, "wwan") && at != std::string::npos) atPort.emplace(std::string_view(p).substr(0, at), p);
  }
  for (const std::string& wwan : wwans) {
    if (!StartsWith(wwan, "wwan") || !AllDigits(std::string_view(wwan).substr(4))) continue;
    const auto device = fs.Resolve("/sys/class/wwan/" + wwan + "/device");
    if (!device) continue;
    std::optional<std::string> port;
    if (const auto it = atPort.find(wwan); it != atPort.end()) port = "/dev/" + std::string(it->second);
    answer.instances.push_back(ModemInstance(m, *device, port));
  }
  return answer;
}

ClassAnswer Bluetooth(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const std::string& hci : fs.List("/sys/class/bluetooth")) {
    // Connections show up as "hci0:256"; only controllers count.
    if (!StartsWith(hci, "hci") || !AllDigits(std::string_view(hci).substr(3))) continue;
    const std::string dir = "/sys/class/bluetooth/" + hci;
    // The address: the controller's own attribute (older kernels), else the
    // identity the kernel shows in debugfs (root only).
    std::optional<std::string> address = m.Text(dir + "/address");
    if (!address) {
      if (auto identity = m.Text("/sys/kernel/debug/bluetooth/" + hci + "/identity")) address = identity->substr(0, 17);
    }
    IdNames names;
    if (const auto device = fs.Resolve(dir + "/device")) names = m.DeviceNames(*device);
    Instance instance;
    instance.Set("Description", TextOrNull(names.device));
    instance.Set("MACAddress", TextOrNull(address ? MacAddress(*address) : std::nullopt));
    instance.Set("Manufacturer", TextOrNull(names.vendor));
    instance.Set("Name", TextOrNull(m.Text(dir + "/name").value_or(hci)));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

// ACPI docks (/sys/devices/platform/dock.N, "docked" 1 or 0) and Thunderbolt
// devices other than the host's own router (a dock or a display attached
// through the port), which carry a unique id.
ClassAnswer DockingStations(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const std::string& name : fs.List("/sys/devices/platform")) {
    if (!StartsWith(name, "dock.")) continue;
    const std::string dir = "/sys/devices/platform/" + name;
    // Bays share the driver: only the dock station itself.
    if (const auto type = fs.ReadLine(dir + "/type"); type && *type != "dock_station") continue;
    const auto docked = fs.ReadLine(dir + "/docked");
    Instance instance;
    instance.Set("SerialNO", TextOrNull(m.Text(dir + "/uid")));
    instance.Set("status", docked == "1" ? Variant("Docked") : docked == "0" ? Variant("Undocked") : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  }
  for (const std::string& name : fs.List("/sys/bus/thunderbolt/devices")) {
    // "0-0" is the host router, "domain0" the domain; devices are "0-1", "0-301", ...
    const size_t dash = name.find('-');
    if (dash == std::string::npos || !AllDigits(std::string_view(name).substr(0, dash)) ||
        !AllDigits(std::string_view(name).substr(dash + 1)) || std::string_view(name).substr(dash + 1) == "0") {
      continue;
    }
    const std::string dir = "/sys/bus/thunderbolt/devices/" + name;
    if (!fs.Exists(dir + "/unique_id") && !fs.Exists(dir + "/device_name")) continue;
    const auto authorized = fs.ReadLine(dir + "/authorized");
    Instance instance;
    instance.Set("SerialNO", TextOrNull(m.Text(dir + "/unique_id")));
    instance.Set("status", authorized == "0" ? "Not authorized" : "Connected");
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

}  // namespace brv::live
