// Which of the kernel's devices the live source counts as the machine's parts:
// network adapters among its interfaces, docking stations among its dock
// connectors and Thunderbolt devices. Each case is a tree made for it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrumentation/linux/LiveSource.h"
#include "tests/support/Columns.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using test::Columns;
using test::Rows;
using test::TempTree;

struct Interface {
  const char* name;
  int index;
  int type;             // ARPHRD_*
  const char* address;  // as the kernel writes it; "" for none
  const char* device;   // the device behind it, "" for the kernel's own interfaces
};

// Interfaces laid out as sysfs lays them out: the class link to the interface's
// folder, below its device or below /sys/devices/virtual/net.
void AddInterface(const TempTree& t, const Interface& i) {
  const std::string parent = *i.device ? std::string(i.device) : "/sys/devices/virtual";
  const std::string dir = parent + "/net/" + i.name;
  const std::string address = i.address;
  t.Write(dir + "/ifindex", std::to_string(i.index) + "\n");
  t.Write(dir + "/type", std::to_string(i.type) + "\n");
  t.Write(dir + "/addr_len", std::to_string(address.empty() ? 0 : (address.size() + 1) / 3) + "\n");
  t.Write(dir + "/address", address + "\n");
  if (*i.device) t.Link(dir + "/device", i.device);
  t.Link(std::string("/sys/class/net/") + i.name, dir);
}

// A machine with one adapter on each bus and the kernel's virtual interfaces
// between them, listed out of index order.
const std::vector<Interface>& MixedInterfaces() {
  static const std::vector<Interface> kList = {
      {"wlan0", 9, 1, "b8:27:eb:10:20:30",
       "/sys/devices/platform/soc/fe300000.mmcnr/mmc_host/mmc1/mmc1:0001/mmc1:0001:1"},
      {"lo", 1, 772, "00:00:00:00:00:00", ""},
      {"eth0", 2, 1, "8c:16:45:5a:2b:7c", "/sys/devices/pci0000:00/0000:00:1f.6"},
      {"ifb0", 3, 1, "32:1c:13:6d:bd:51", ""},
      {"br0", 4, 1, "8c:16:45:5a:2b:7c", ""},
      {"eth0.10", 5, 1, "8c:16:45:5a:2b:7c", ""},
      {"veth1a2b", 6, 1, "6e:2f:11:00:aa:01", ""},
      {"tun0", 7, 65534, "", ""},
      {"tap0", 8, 1, "4a:10:22:33:44:55", ""},
      {"dummy0", 14, 1, "a2:b1:c0:00:00:07", ""},
      {"bond0", 15, 1, "8c:16:45:5a:2b:7c", ""},
      {"macvlan0", 16, 1, "02:42:ac:11:00:02", ""},
      {"wg0", 17, 65534, "", ""},
      {"usb0", 10, 1, "00:e0:4c:68:01:02", "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0"},
      {"end0", 11, 1, "02:81:3c:4d:5e:6f", "/sys/devices/platform/soc/ff540000.ethernet"},
      {"ens3", 12, 1, "52:54:00:12:34:56", "/sys/devices/pci0000:00/0000:00:03.0/virtio0"},
      {"ib0", 13, 32, "80:00:00:48:fe:80:00:00:00:00:00:00:00:02:c9:03:00:f9:bf:a1",
       "/sys/devices/pci0000:80/0000:80:02.2/0000:82:00.0"},
  };
  return kList;
}

// A virtual interface is no adapter, but an address on it (a bridge's) is
// still found by its index among the configurations.
TEST(LiveNetworkAdapters, AVirtualInterfaceIsNoAdapter) {
  TempTree t;
  for (const Interface& i : MixedInterfaces()) AddInterface(t, i);
  t.Write("/proc/net/if_inet6", "20010db8000a00000000000000000010 04 40 00 80     br0\n");
  const LiveSource source(t.root());
  EXPECT_EQ(Columns(*source.Query("Win32_NetworkAdapter"), {"Index", "Name", "AdapterType"}),
            (Rows{{2, "eth0", "Ethernet 802.3"},
                  {9, "wlan0", "Ethernet 802.3"},
                  {10, "usb0", "Ethernet 802.3"},
                  {11, "end0", "Ethernet 802.3"},
                  {12, "ens3", "Ethernet 802.3"},
                  {13, "ib0", Null{}}}));
  const auto configurations = source.Query("Win32_NetworkAdapterConfiguration");
  EXPECT_EQ(configurations->instances.size(), MixedInterfaces().size());
  Rows bridge;
  for (const auto& row : Columns(*configurations, {"Index", "IPAddress"})) {
    if (row[0] == Variant(4)) bridge.push_back(row);
  }
  EXPECT_EQ(bridge, (Rows{{4, Variant(Variant::Array{"2001:db8:a::10"})}}));
}

// The port GUID, the last 8 of InfiniBand's 20 address bytes, is the number
// the adapter is known by; six-byte addresses show as they are.
TEST(LiveNetworkAdapters, AnInfinibandAdapterShowsItsPortGuid) {
  struct Case {
    Interface interface;
    Variant mac;
  };
  const Case cases[] = {
      {MixedInterfaces().back(), "00:02:C9:03:00:F9:BF:A1"},
      {{"eth0", 2, 1, "8c:16:45:5a:2b:7c", "/sys/devices/pci0000:00/0000:00:1f.6"}, "8C:16:45:5A:2B:7C"},
      {{"fw0", 2, 24, "00:11:06:00:00:00:12:34:0a:02:ff:ff:f0:00:00:00", "/sys/devices/pci0000:00/0000:00:1e.0/fw1"},
       "00:11:06:00:00:00:12:34:0A:02:FF:FF:F0:00:00:00"},
      {{"ib1", 2, 32, "80:00:00:48:fe:80:00:00:00:00:00:00:00:00:00:00:00:00:00:00", "/sys/devices/pci0000:80/x"},
       Null{}},
      {{"eth1", 2, 1, "8c:16:45:5a:2b", "/sys/devices/pci0000:00/0000:00:1f.6"}, Null{}},  // shorter than its length
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interface.address);
    TempTree t;
    AddInterface(t, c.interface);
    if (std::string(c.interface.name) == "eth1")
      t.Write("/sys/devices/pci0000:00/0000:00:1f.6/net/eth1/addr_len", "6\n");
    EXPECT_EQ(Columns(*LiveSource(t.root()).Query("Win32_NetworkAdapter"), {"MACAddress"}), (Rows{{c.mac}}));
  }
}

// Thunderbolt routers below a host router, laid out as sysfs lays them out: a
// chained router's folder is inside the one it hangs from.
struct Router {
  const char* path;  // below the domain, "0-1" or "0-1/0-301"
  const char* deviceName;
  const char* vendorName;
  const char* uniqueId;
  int usb4Ports;
  const char* authorized;
};

void AddRouter(const TempTree& t, const Router& r) {
  const std::string path = r.path;
  const std::string dir = "/sys/devices/pci0000:00/0000:00:0d.2/domain0/0-0/" + path;
  t.Write(dir + "/device_name", std::string(r.deviceName) + "\n");
  t.Write(dir + "/vendor_name", std::string(r.vendorName) + "\n");
  t.Write(dir + "/unique_id", std::string(r.uniqueId) + "\n");
  t.Write(dir + "/authorized", std::string(r.authorized) + "\n");
  for (int p = 1; p <= r.usb4Ports; ++p) t.Write(dir + "/usb4_port" + std::to_string(p * 2 - 1) + "/link", "usb4\n");
  t.Link("/sys/bus/thunderbolt/devices/" + path.substr(path.rfind('/') + 1), dir);
}

TEST(LiveDockingStations, AThunderboltDriveOrDisplayIsNoDock) {
  struct Case {
    const char* expectation;
    std::vector<Router> routers;
    Rows docks;  // SerialNO, status
  };
  const Case cases[] = {
      {"a dock by its name",
       {{"0-1", "ThinkPad Thunderbolt 3 Dock", "Lenovo", "c7030000-0080-7f18-a3c9-4b0f0e1e5a21", 0, "1"}},
       {{"c7030000-0080-7f18-a3c9-4b0f0e1e5a21", "Connected"}}},
      {"a hub by its name",
       {{"0-1", "Thunderbolt 4 Hub", "Plugable", "d1000000-aaaa", 0, "1"}},
       {{"d1000000-aaaa", "Connected"}}},
      {"a drive", {{"0-1", "X5", "Samsung Electronics", "e3000000-0001", 0, "1"}}, {}},
      {"a display", {{"0-3", "Pro Display XDR", "Apple Inc.", "e3000000-0002", 0, "1"}}, {}},
      {"a drive beside a dock",
       {{"0-1", "X5", "Samsung Electronics", "e3000000-0001", 0, "1"},
        {"0-3", "WD19TB Thunderbolt Dock", "Dell", "b5000000-0003", 0, "0"}},
       {{"b5000000-0003", "Not authorized"}}},
      {"a router with a display chained below it",
       {{"0-1", "TS3 Plus", "CalDigit, Inc.", "a1000000-0001", 0, "1"},
        {"0-1/0-301", "Pro Display XDR", "Apple Inc.", "e3000000-0002", 0, "1"}},
       {{"a1000000-0001", "Connected"}}},
      {"a USB4 router with a downstream port",
       {{"0-1", "Station", "Acme", "f0000000-0001", 2, "1"}},
       {{"f0000000-0001", "Connected"}}},
      {"a USB4 drive with its one port", {{"0-1", "Portable", "Acme", "f0000000-0002", 1, "1"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectation);
    TempTree t;
    t.Link("/sys/bus/thunderbolt/devices/0-0", "/sys/devices/pci0000:00/0000:00:0d.2/domain0/0-0");
    t.Link("/sys/bus/thunderbolt/devices/domain0", "/sys/devices/pci0000:00/0000:00:0d.2/domain0");
    t.Write("/sys/devices/pci0000:00/0000:00:0d.2/domain0/0-0/device_name", "Dock\n");  // the host's own router
    for (const Router& r : c.routers) AddRouter(t, r);
    EXPECT_EQ(Columns(*LiveSource(t.root()).Query("Brovik_DockingStation"), {"SerialNO", "status"}), c.docks);
  }
}

TEST(LiveDockingStations, ADockOnUsbAloneIsCountedOnceWithItsSerial) {
  struct UsbDevice {
    const char* name;  // "3-1", "3-1.4"
    const char* product;
    const char* serial;  // "" for none
  };
  struct Case {
    const char* expectation;
    std::vector<UsbDevice> devices;
    bool thunderboltDock;
    Rows docks;
  };
  const Case cases[] = {
      {"a dock whose functions bear its name, on both buses",
       {{"3-1", "USB-C Dock", "DK0123456"},
        {"3-1.1", "USB-C Dock Audio", ""},
        {"3-1.4", "USB2.0 Hub", ""},
        {"3-1.4.2", "USB-C Dock Ethernet", "000001"},
        {"4-1", "USB-C Dock", "DK0123456"}},
       false,
       {{"DK0123456", "Connected"}}},
      {"a dock without a serial number", {{"1-2", "Docking Station", ""}}, false, {{Null{}, "Connected"}}},
      {"a flash drive and a hub", {{"1-3", "Ultra USB 3.0", "4C530001"}, {"1-4", "USB2.0 Hub", ""}}, false, {}},
      {"the USB functions of a Thunderbolt dock",
       {{"3-2", "ThinkPad Thunderbolt 3 Dock USB Audio", ""}},
       true,
       {{"c7030000-0080-7f18-a3c9-4b0f0e1e5a21", "Connected"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectation);
    TempTree t;
    for (const UsbDevice& d : c.devices) {
      const std::string dir = std::string("/sys/devices/pci0000:00/0000:00:14.0/usb/") + d.name;
      t.Write(dir + "/product", std::string(d.product) + "\n");
      if (*d.serial) t.Write(dir + "/serial", std::string(d.serial) + "\n");
      t.Link(std::string("/sys/bus/usb/devices/") + d.name, dir);
      t.Link(std::string("/sys/bus/usb/devices/") + d.name + ":1.0", dir);  // an interface
    }
    t.Write("/sys/bus/usb/devices/usb3/product", "xHCI Host Controller Dock\n");
    if (c.thunderboltDock) {
      AddRouter(t, {"0-1", "ThinkPad Thunderbolt 3 Dock", "Lenovo", "c7030000-0080-7f18-a3c9-4b0f0e1e5a21", 0, "1"});
    }
    EXPECT_EQ(Columns(*LiveSource(t.root()).Query("Brovik_DockingStation"), {"SerialNO", "status"}), c.docks);
  }
}

TEST(LiveDockingStations, ADockIsCountedOnlyWhileDocked) {
  struct Case {
    const char* type;
    const char* docked;
    size_t docks;
  };
  const Case cases[] = {
      {"dock_station\n", "1\n", 1},
      {"dock_station\n", "0\n", 0},
      {"ata_bay\n", "1\n", 0},
      {"battery_bay\n", "1\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + c.docked);
    TempTree t;
    t.Write("/sys/devices/platform/dock.0/type", c.type);
    t.Write("/sys/devices/platform/dock.0/docked", c.docked);
    t.Write("/sys/devices/platform/dock.0/uid", "1\n");
    const auto docks = LiveSource(t.root()).Query("Brovik_DockingStation");
    EXPECT_EQ(Columns(*docks, {"SerialNO", "status"}), c.docks ? (Rows{{Null{}, "Docked"}}) : Rows{});
  }
}

// The same rules on whole machines are held by the captured trees' expected
// answers: vm-containers (only the virtio NIC), laptop-docked (the Thunderbolt
// dock, not the SSD), server (its ports, not its bridge or VLAN).

}  // namespace
}  // namespace brv
