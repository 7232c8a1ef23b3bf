// Modems, Bluetooth controllers and docking stations.
#include <algorithm>
#include <unordered_map>

#include <fmt/format.h>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

// A modem built in (PCI, or a USB port the firmware marks as fixed) or plugged in.
std::string ModemType(const Machine& m, const std::string& busPath) {
  if (busPath.empty()) return "Unknown";
  if (!m.fs().Exists(JoinPath(busPath, "idVendor"))) return "Internal Modem";
  const auto removable = m.fs().ReadLine(JoinPath(busPath, "removable"));
  return removable == "fixed" ? "Internal Modem" : "External Modem";
}

Instance ModemInstance(const Machine& m, const std::string& device, const std::optional<std::string>& attachedTo) {
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
    if (!tty.starts_with("ttyACM")) continue;
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
    if (p.starts_with("wwan") && at != std::string::npos) atPort.emplace(std::string_view(p).substr(0, at), p);
  }
  for (const std::string& wwan : wwans) {
    if (!wwan.starts_with("wwan") || !AllDigits(std::string_view(wwan).substr(4))) continue;
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
    if (!hci.starts_with("hci") || !AllDigits(std::string_view(hci).substr(3))) continue;
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

namespace {

bool IsHexDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A Thunderbolt/USB4 router below the host's: "0-1", "0-301", "1-3" (domain,
// then the route string in hex). "0-0" is a host router, "domain0" the domain,
// "0-0:1.1" a retimer and "0-1.0" an XDomain service.
bool IsDeviceRouter(std::string_view name) {
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos) return false;
  const std::string_view route = name.substr(dash + 1);
  return AllDigits(name.substr(0, dash)) && IsHexDigits(route) &&
         route.find_first_not_of('0') != std::string_view::npos;
}

// A Thunderbolt/USB4 router is a dock when its name says so ("Dock",
// "Docking Station", a "Hub"), or when it has ports for further devices: a
// router chained below it (its folder holds the next router's), or, on USB4,
// more than the one port that leads to the host (a usb4_portN folder for each).
// A drive, a display or an enclosure at the end of the cable is none of these.
bool IsDock(const Machine& m, const std::string& dir) {
  const RootFs& fs = m.fs();
  for (const char* attribute : {"/device_name", "/vendor_name"}) {
    if (const auto name = m.Text(dir + attribute)) {
      if (ContainsNoCase(*name, "dock") || ContainsNoCase(*name, "hub")) return true;
    }
  }
  const auto real = fs.Resolve(dir);
  if (!real) return false;
  int usb4Ports = 0;
  for (const std::string& entry : fs.List(*real)) {
    if (IsDeviceRouter(entry)) return true;
    if (entry.starts_with("usb4_port") && AllDigits(std::string_view(entry).substr(9))) ++usb4Ports;
  }
  return usb4Ports > 1;
}

bool IsUsbDock(const Machine& m, const std::string& name) {
  const auto product = m.Text("/sys/bus/usb/devices/" + name + "/product");
  return product && ContainsNoCase(*product, "dock");
}

// Docks on USB alone (USB-C and USB 3 docks): the outermost USB device whose
// product name says "Dock"; the hubs, audio and Ethernet functions inside it
// often carry the dock's name too and are not counted again, nor is the same
// dock seen on both the USB 2 and USB 3 buses (one serial number). Its
// reference number is its USB serial number.
void UsbDocks(const Machine& m, ClassAnswer& answer) {
  std::vector<std::string> seen;
  for (const std::string& name : m.fs().List("/sys/bus/usb/devices")) {
    // Devices are "1-2", "1-2.4", ...; "usb1" is a root hub, "1-2:1.0" an interface.
    if (name.find(':') != std::string::npos || name.starts_with("usb") || !IsUsbDock(m, name)) continue;
    bool inner = false;
    for (size_t dot = name.find('.'); dot != std::string::npos && !inner; dot = name.find('.', dot + 1)) {
      inner = IsUsbDock(m, name.substr(0, dot));
    }
    if (inner) continue;
    const auto serial = m.Text("/sys/bus/usb/devices/" + name + "/serial");
    const std::string key = serial ? *serial : name;
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    Instance instance;
    instance.Set("SerialNO", TextOrNull(serial));
    instance.Set("status", "Connected");
    answer.instances.push_back(std::move(instance));
  }
}

}  // namespace

// Docking stations while they hold the machine:
// - an ACPI dock connector (/sys/devices/platform/dock.N of type
//   "dock_station") counts only while its "docked" attribute says 1. The
//   connector's ACPI uid numbers the connector, not the dock in it, so such a
//   dock has no reference number.
// - a Thunderbolt/USB4 device counts only when it is a dock (IsDock); its
//   reference number is its unique_id, the identity it carries in its own
//   ROM. Its status tells whether the user has let it in yet.
// - without a Thunderbolt dock, a dock on USB alone (UsbDocks), with its USB
//   serial number. A Thunderbolt dock's own USB functions bear its name too.
ClassAnswer DockingStations(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const std::string& name : fs.List("/sys/devices/platform")) {
    if (!name.starts_with("dock.")) continue;
    const std::string dir = "/sys/devices/platform/" + name;
    // Bays and batteries share the driver: only the dock station itself.
    if (const auto type = fs.ReadLine(dir + "/type"); type && *type != "dock_station") continue;
    if (fs.ReadLine(dir + "/docked") != "1") continue;
    Instance instance;
    instance.Set("SerialNO", Null{});
    instance.Set("status", "Docked");
    answer.instances.push_back(std::move(instance));
  }
  int thunderboltDocks = 0;
  for (const std::string& name : fs.List("/sys/bus/thunderbolt/devices")) {
    if (!IsDeviceRouter(name)) continue;
    const std::string dir = "/sys/bus/thunderbolt/devices/" + name;
    if (!IsDock(m, dir)) continue;
    const auto authorized = fs.ReadLine(dir + "/authorized");
    Instance instance;
    instance.Set("SerialNO", TextOrNull(m.Text(dir + "/unique_id")));
    instance.Set("status", authorized == "0" ? "Not authorized" : "Connected");
    answer.instances.push_back(std::move(instance));
    ++thunderboltDocks;
  }
  if (thunderboltDocks == 0) UsbDocks(m, answer);
  return answer;
}

}  // namespace brv::live
