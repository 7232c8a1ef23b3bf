// Every class of the live source against the captured machine trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/Error.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/instrumentation/linux/TestFiles.h"

namespace brv {
namespace {

struct Expected {
  const char* cls;
  const char* instances;  // as a snapshot lists them: numbers that fit 32 bits are 32-bit
};

struct Machine {
  const char* tree;
  std::vector<Expected> classes;
};

// What each tree must answer, class by class, written from the trees' sources:
// the dmidecode text of the T480, the EDID index, the captured attributes. A
// class left out must answer no instances.
const std::vector<Machine>& Machines() {
  static const std::vector<Machine> kMachines = {
      {"laptop",
       {
         {"CIM_Processor", R"([{"DeviceID": "CPU0", "Manufacturer": "GenuineIntel", "Name": "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz", "Version": "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz", "MaxClockSpeed": 2100, "SocketDesignation": "U3E1"}])"},
         {"DMTF_MemoryDevice", R"([{"Index": 0, "Size": 8589934592}, {"Index": 1, "Size": 17179869184}])"},
         {"Win32_DiskDrive", R"([{"DeviceID": "/dev/nvme0n1", "Model": "SAMSUNG MZVLB512HAJQ-000L7", "Size": 512110190592}])"},
         {"Brovik_DiskDrive", R"([{"SerialNO": "S3TNNX0K716392", "FirmwareRevision": "4L2QEXA7"}])"},
         {"Brovik_CDROMDrive", R"([{"DeviceID": "HL-DT-ST DVDRAM GP57EB40", "SerialNO": "KZKE6J94215", "FirmwareRevision": "PF00"}])"},
         {"Win32_POTSModem", R"([{"AttachedTo": "/dev/ttyACM0", "Caption": "Fibocom L850 LTE Module", "Description": "L850 LTE Module", "DeviceID": "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-6/1-6:1.2", "DeviceType": "Internal Modem"}])"},
         {"Brovik_Bluetooth", R"([{"Description": "Bluetooth wireless interface", "MACAddress": "F8:94:C2:3A:51:11", "Manufacturer": "Intel Corp.", "Name": "hci0"}])"},
         {"DMTF_PortableBattery", R"([{"PortableBatterySerialNumber": "070B", "PortableBatteryDesignCapacity": 57000}])"},
         {"Brovik_DockingStation", R"([{"SerialNO": "1", "status": "Undocked"}, {"SerialNO": "c7030000-0080-7f18-a3c9-4b0f0e1e5a21", "status": "Connected"}])"},
         {"Win32_NetworkAdapter", R"([{"AdapterType": null, "Description": null, "DeviceID": "1", "Index": 1, "MACAddress": null, "Manufacturer": null, "Name": "lo"}, {"AdapterType": "Ethernet 802.3", "Description": "Ethernet Connection (4) I219-LM", "DeviceID": "2", "Index": 2, "MACAddress": "8C:16:45:5A:2B:7C", "Manufacturer": "Intel Corporation", "Name": "enp0s31f6"}, {"AdapterType": "Wireless", "Description": "Wireless 8265 / 8275", "DeviceID": "3", "Index": 3, "MACAddress": "F8:94:C2:3A:51:0D", "Manufacturer": "Intel Corporation", "Name": "wlp3s0"}])"},
         {"Win32_NetworkAdapterConfiguration", R"([{"Index": 1, "IPAddress": ["127.0.0.1", "::1"]}, {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": ["192.0.2.15", "2001:db8:1::15", "fe80::fa94:c2ff:fe3a:510d"]}])"},
         {"Brovik_LCDPanel", R"([{"HorizontalResolution": 1920, "VerticalResolution": 1080}])"},
         {"Win32_VideoConfiguration", R"([{"AdapterChipType": "UHD Graphics 620", "AdapterRAM": null, "Name": "Intel Corporation UHD Graphics 620"}])"},
         {"Brovik_ExternalMonitor", R"([{"Manufacturer": "Dell Inc.", "Model": "DELL U2415", "SerialNO": "CFV9N68B1FRL"}, {"Manufacturer": "Hewlett Packard", "Model": "HP 27er", "SerialNO": "3CM7260M2L"}])"},
       }},
      {"desktop",
       {
         {"CIM_Processor", R"([{"DeviceID": "CPU0", "Manufacturer": "AuthenticAMD", "Name": "AMD Ryzen 5 1600 Six-Core Processor", "Version": "Family 23, Model 1, Stepping 1", "MaxClockSpeed": 3200, "SocketDesignation": null}])"},
         {"DMTF_MemoryDevice", R"([{"Index": 1, "Size": 8589934592}, {"Index": 3, "Size": 8589934592}])"},
         {"Win32_DiskDrive", R"([{"DeviceID": "/dev/sda", "Model": "Samsung SSD 850 EVO 250GB", "Size": 256060514304}, {"DeviceID": "/dev/sdb", "Model": "WDC WD10EZEX-08WN4A0", "Size": 1000204886016}, {"DeviceID": "/dev/sdc", "Model": "ST500DM002-1BD142", "Size": 500107862016}])"},
         {"Brovik_DiskDrive", R"([{"SerialNO": "S21PNXAG441016B", "FirmwareRevision": "EMT02B6Q"}, {"SerialNO": "WD-WCC6Y0RL2KLX", "FirmwareRevision": "01.01A01"}, {"SerialNO": "Z3T2FD5Q", "FirmwareRevision": "KC45"}])"},
         {"Win32_NetworkAdapter", R"([{"AdapterType": null, "Description": null, "DeviceID": "1", "Index": 1, "MACAddress": null, "Manufacturer": null, "Name": "lo"}, {"AdapterType": "Ethernet 802.3", "Description": "RTL8111/8168/8411 PCI Express Gigabit Ethernet Controller", "DeviceID": "2", "Index": 2, "MACAddress": "70:85:C2:4E:19:A3", "Manufacturer": "Realtek Semiconductor Co., Ltd.", "Name": "enp3s0"}, {"AdapterType": "Ethernet 802.3", "Description": "I350 Gigabit Network Connection", "DeviceID": "3", "Index": 3, "MACAddress": "A0:36:9F:12:7C:E0", "Manufacturer": "Intel Corporation", "Name": "enp6s0f0"}, {"AdapterType": "Ethernet 802.3", "Description": "I350 Gigabit Network Connection", "DeviceID": "4", "Index": 4, "MACAddress": "A0:36:9F:12:7C:E1", "Manufacturer": "Intel Corporation", "Name": "enp6s0f1"}, {"AdapterType": "Ethernet 802.3", "Description": "RTL8111/8168/8411 PCI Express Gigabit Ethernet Controller", "DeviceID": "5", "Index": 5, "MACAddress": "70:85:C2:4E:19:A5", "Manufacturer": "Realtek Semiconductor Co., Ltd.", "Name": "enp8s0"}])"},
         {"Win32_NetworkAdapterConfiguration", R"([{"Index": 1, "IPAddress": ["127.0.0.1", "::1"]}, {"Index": 2, "IPAddress": ["198.51.100.23", "fe80::7285:c2ff:fe4e:19a3"]}, {"Index": 3, "IPAddress": ["10.0.4.7"]}, {"Index": 4, "IPAddress": null}, {"Index": 5, "IPAddress": null}])"},
         {"Win32_VideoConfiguration", R"([{"AdapterChipType": "Vega 10 XL/XT [Radeon RX Vega 56/64]", "AdapterRAM": 8573157376, "Name": "Advanced Micro Devices, Inc. [AMD/ATI] Vega 10 XL/XT [Radeon RX Vega 56/64]"}])"},
         {"Brovik_ExternalMonitor", R"([{"Manufacturer": "LG Electronics", "Model": "LG FHD", "SerialNO": "203NTXR28370"}, {"Manufacturer": "MST", "Model": "MStar Demo", "SerialNO": "1"}, {"Manufacturer": "Acer Technologies", "Model": "SB220Q", "SerialNO": "2485133387"}])"},
       }},
      {"server",
       {
         {"CIM_Processor", R"([{"DeviceID": "CPU0", "Manufacturer": "GenuineIntel", "Name": "Intel(R) Xeon(R) CPU E5-2680 0 @ 2.70GHz", "Version": "Family 6, Model 45, Stepping 7", "MaxClockSpeed": 2701, "SocketDesignation": null}, {"DeviceID": "CPU1", "Manufacturer": "GenuineIntel", "Name": "Intel(R) Xeon(R) CPU E5-2680 0 @ 2.70GHz", "Version": "Family 6, Model 45, Stepping 7", "MaxClockSpeed": 2701, "SocketDesignation": null}])"},
         {"DMTF_MemoryDevice", R"([{"Index": 0, "Size": 4294967296}, {"Index": 1, "Size": 4294967296}, {"Index": 2, "Size": 4294967296}, {"Index": 3, "Size": 4294967296}, {"Index": 12, "Size": 4294967296}, {"Index": 13, "Size": 4294967296}, {"Index": 14, "Size": 4294967296}, {"Index": 15, "Size": 4294967296}])"},
         {"Win32_DiskDrive", R"([{"DeviceID": "/dev/sda", "Model": "ST9250610NS", "Size": 250059350016}])"},
         {"Brovik_DiskDrive", R"([{"SerialNO": "9XE0AB1C", "FirmwareRevision": null}])"},
         {"Win32_NetworkAdapter", R"([{"AdapterType": null, "Description": null, "DeviceID": "1", "Index": 1, "MACAddress": null, "Manufacturer": null, "Name": "lo"}, {"AdapterType": "Ethernet 802.3", "Description": "I350 Gigabit Network Connection", "DeviceID": "2", "Index": 2, "MACAddress": "84:8F:69:FE:CC:40", "Manufacturer": "Intel Corporation", "Name": "eth0"}, {"AdapterType": "Ethernet 802.3", "Description": "I350 Gigabit Network Connection", "DeviceID": "3", "Index": 3, "MACAddress": "84:8F:69:FE:CC:41", "Manufacturer": "Intel Corporation", "Name": "eth1"}, {"AdapterType": "Ethernet 802.3", "Description": null, "DeviceID": "4", "Index": 4, "MACAddress": "4C:79:BA:5C:01:6F", "Manufacturer": null, "Name": "mic0"}, {"AdapterType": null, "Description": "MT27500 Family [ConnectX-3]", "DeviceID": "5", "Index": 5, "MACAddress": null, "Manufacturer": "Mellanox Technologies", "Name": "ib0"}, {"AdapterType": "Ethernet 802.3", "Description": null, "DeviceID": "6", "Index": 6, "MACAddress": "84:8F:69:FE:CC:40", "Manufacturer": null, "Name": "br0"}, {"AdapterType": "Ethernet 802.3", "Description": null, "DeviceID": "7", "Index": 7, "MACAddress": "84:8F:69:FE:CC:40", "Manufacturer": null, "Name": "eth0.1015"}])"},
         {"Win32_NetworkAdapterConfiguration", R"([{"Index": 1, "IPAddress": ["127.0.0.1", "::1"]}, {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": null}, {"Index": 4, "IPAddress": ["172.31.1.254"]}, {"Index": 5, "IPAddress": ["198.18.5.10"]}, {"Index": 6, "IPAddress": ["203.0.113.10", "2001:db8:a::10", "fe80::868f:69ff:fefe:cc40"]}, {"Index": 7, "IPAddress": ["10.15.0.10", "fe80::868f:69ff:fefe:cc40"]}])"},
       }},
      {"vm",
       {
         {"CIM_Processor", R"([{"DeviceID": "CPU0", "Manufacturer": "AuthenticAMD", "Name": "AMD EPYC", "Version": "Family 25, Model 1, Stepping 1", "MaxClockSpeed": null, "SocketDesignation": null}])"},
         {"Win32_DiskDrive", R"([{"DeviceID": "/dev/vda", "Model": "Virtio 1.0 block device", "Size": 274877906944}])"},
         {"Brovik_DiskDrive", R"([{"SerialNO": "overlayblk", "FirmwareRevision": null}])"},
         {"Win32_NetworkAdapter", R"([{"AdapterType": null, "Description": null, "DeviceID": "1", "Index": 1, "MACAddress": null, "Manufacturer": null, "Name": "lo"}, {"AdapterType": "Ethernet 802.3", "Description": null, "DeviceID": "2", "Index": 2, "MACAddress": "32:1C:13:6D:BD:51", "Manufacturer": null, "Name": "ifb0"}, {"AdapterType": "Ethernet 802.3", "Description": null, "DeviceID": "3", "Index": 3, "MACAddress": "52:D9:B6:40:13:C3", "Manufacturer": null, "Name": "ifb1"}, {"AdapterType": "Ethernet 802.3", "Description": "Virtio 1.0 network device", "DeviceID": "4", "Index": 4, "MACAddress": "02:FC:00:00:00:01", "Manufacturer": "Red Hat, Inc.", "Name": "eth0"}])"},
         {"Win32_NetworkAdapterConfiguration", R"([{"Index": 1, "IPAddress": ["127.0.0.1", "::1"]}, {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": null}, {"Index": 4, "IPAddress": ["192.0.2.2", "fe80::fc:ff:fe00:1", "fd00::2"]}])"},
       }},
  };
  return kMachines;
}

ClassAnswer ParseExpected(const std::string& cls, const std::string& instances) {
  const Snapshot s = ParseSnapshot(R"({"format": "brvparts-snapshot/1", "classes": {")" + cls + "\": " + instances + "}}",
                                   "expected " + cls);
  return s.classes.at(0).second;
}

void ExpectSameAnswer(const ClassAnswer& actual, const ClassAnswer& expected) {
  EXPECT_EQ(actual.error, expected.error);
  ASSERT_EQ(actual.instances.size(), expected.instances.size());
  for (size_t i = 0; i < expected.instances.size(); ++i) {
    SCOPED_TRACE("instance " + std::to_string(i));
    const Instance& a = actual.instances[i];
    const Instance& e = expected.instances[i];
    EXPECT_EQ(a.properties.size(), e.properties.size());
    for (const Property& p : e.properties) {
      const Property* got = a.Find(p.name);
      ASSERT_TRUE(got) << p.name;
      EXPECT_EQ(got->value, p.value) << p.name << ": " << KindName(got->value.kind()) << " vs "
                                     << KindName(p.value.kind());
      EXPECT_FALSE(got->error) << p.name;
    }
  }
}

TEST(SysRootTrees, EveryClassOfEveryMachine) {
  for (const Machine& m : Machines()) {
    const LiveSource source(test::TestDataPath("sysroot/") + m.tree);
    size_t listed = 0;
    for (const std::string& cls : LiveClassNames()) {
      SCOPED_TRACE(std::string(m.tree) + " " + cls);
      const auto e = std::find_if(m.classes.begin(), m.classes.end(), [&](const Expected& x) { return x.cls == cls; });
      listed += e != m.classes.end();
      ExpectSameAnswer(*source.Query(cls), ParseExpected(cls, e == m.classes.end() ? "[]" : e->instances));
    }
    EXPECT_EQ(listed, m.classes.size()) << m.tree << ": a listed class is not a live class";
  }
}

// Capturing a tree and replaying it is ProgramTest's (ACaptureShowsWhatTheMachineShowed).

TEST(SysRootTrees, UnknownClassesAndNames) {
  const LiveSource source(test::TestDataPath("sysroot/vm"));
  for (const char* cls : {"Win32_BIOS", "", "CIM_Processor2", "Win32_DiskDrive "}) {
    EXPECT_EQ(source.Query(cls)->error, err::kWbemInvalidClass) << cls;
  }
  // Class names compare without regard to case, as the service compares them.
  EXPECT_FALSE(source.Query("cim_processor")->error);
  EXPECT_EQ(source.Query("CIM_PROCESSOR")->instances.size(), 1u);
  // A root that does not exist is a machine that tells nothing.
  const LiveSource nowhere(test::TestDataPath("sysroot/no-such-machine"));
  for (const std::string& cls : LiveClassNames()) {
    EXPECT_FALSE(nowhere.Query(cls)->error) << cls;
    EXPECT_TRUE(nowhere.Query(cls)->instances.empty()) << cls;
  }
}

}  // namespace
}  // namespace brv
