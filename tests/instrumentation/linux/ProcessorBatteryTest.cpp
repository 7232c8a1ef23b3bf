// Processors and batteries of the live source: the kernel's view wins, the
// firmware table fills in only what the kernel does not say, and what a person
// who knows the machine reads is the same with and without root.
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "instrumentation/decoders/Smbios.h"
#include "instrumentation/linux/LiveSource.h"
#include "tests/support/Columns.h"
#include "tests/support/SmbiosDump.h"
#include "tests/support/Support.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using test::Columns;
using test::Rows;
using test::TempTree;

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

struct Socket {
  std::string name;
  uint8_t status = 0x41;  // populated, enabled
  unsigned maxMHz = 0, currentMHz = 0;
  std::string version = "Intel(R) Xeon(R) CPU E5-2650 v2 @ 2.60GHz";
  uint32_t signature = 0x306E4;  // family 6, model 62, stepping 4
};

// A firmware table of processor sockets (type 4, SMBIOS 2.5 layout), ended by
// the end-of-table structure.
std::string ProcessorTable(const std::vector<Socket>& sockets) {
  std::string table;
  unsigned handle = 0x400;
  for (const Socket& s : sockets) {
    std::string f;
    f += '\x04';
    f += '\x1a';
    f += Le16(handle++);
    f += '\x01';  // socket: string 1
    f += '\x03';  // central processor
    f += '\xb3';  // family: Xeon
    f += '\x02';  // manufacturer: string 2
    f += Le32(s.signature) + Le32(0xBFEBFBFF);
    f += '\x03';     // version: string 3
    f += '\x00';     // voltage
    f += Le16(100);  // external clock
    f += Le16(s.maxMHz) + Le16(s.currentMHz);
    f += static_cast<char>(s.status);
    f += '\x01';  // upgrade
    table += f + s.name + '\0' + "Intel" + '\0' + s.version + '\0' + '\0';
  }
  return table + std::string("\x7f\x04\xff\xfe\0\0", 6);
}

std::string CpuInfoText(int processors, const std::string& modelName, const std::string& mhz, int packages = 1) {
  std::string text;
  for (int n = 0; n < processors; ++n) {
    text += fmt::format(
        "processor\t: {}\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 62\nmodel name\t: {}\n"
        "stepping\t: 4\n{}physical id\t: {}\n\n",
        n, modelName, mhz.empty() ? "" : "cpu MHz\t\t: " + mhz + "\n", n % packages);
  }
  return text;
}

// Each processor's Manufacturer, Name, Version, MaxClockSpeed and SocketDesignation.
Rows Cpus(const std::string& root) {
  return Columns(*LiveSource(root).Query("CIM_Processor"),
                 {"Manufacturer", "Name", "Version", "MaxClockSpeed", "SocketDesignation"});
}
enum { kMaker, kName, kVersion, kMaxClock, kSocket };

Rows Batteries(const std::string& root) {
  return Columns(*LiveSource(root).Query("DMTF_PortableBattery"),
                 {"PortableBatterySerialNumber", "PortableBatteryDesignCapacity"});
}

std::string Table(const std::string& dumpFile) {
  return SmbiosTableFromDump(test::ReadTestFile("real/smbios/" + dumpFile)).value();
}

// The processor's maximum is the kernel's (cpufreq); without cpufreq, the speed
// its name states, else the kernel's clock, else the firmware's current speed;
// never the firmware's "maximum", which many boards fill with the socket's
// rating (4000 for a 1.9 GHz Xeon) or a placeholder (30000).
TEST(LiveProcessors, TheMaximumClockIsTheProcessorsNotTheSocketRating) {
  struct Case {
    const char* expectation;
    std::string cpuinfo;
    const char* cpufreqKHz;  // nullptr: no cpufreq
    Socket socket;
    Variant root, user;  // MaxClockSpeed with the firmware table, and without
  } cases[] = {
      {"the kernel's cpufreq maximum beats the socket rating",
       CpuInfoText(2, "Intel(R) Xeon(R) CPU E5-2650 v2 @ 2.60GHz", "1200.000"),
       "3400000",
       {"CPU1", 0x41, 4000, 2600},
       int32_t{3400},
       int32_t{3400}},
      {"without cpufreq, the speed the name states",
       CpuInfoText(2, "Intel(R) Xeon(R) CPU E5-2403 v2 @ 1.90GHz", "1895.999"),
       nullptr,
       {"CPU1", 0x41, 4000, 1800},
       int32_t{1900},
       int32_t{1900}},
      {"without cpufreq or a stated speed, the kernel's clock, not a virtual machine's 30000",
       CpuInfoText(1, "AMD EPYC 7763 64-Core Processor", "2445.406"),
       nullptr,
       {"CPU #000", 0x41, 30000, 2000},
       int32_t{2445},
       int32_t{2445}},
      {"the kernel says nothing of the speed: the firmware's current speed, and nothing without root",
       "processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xd0c\nCPU variant\t: 0x3\nCPU revision\t: 1\n",
       nullptr,
       {"CPU0", 0x41, 30000, 2600, "Neoverse-N1"},
       int32_t{2600},
       Null{}},
      {"nothing anywhere: no speed",
       CpuInfoText(1, "QEMU Virtual CPU version 2.5+", ""),
       nullptr,
       {"CPU0", 0x41, 4000, 0},
       Null{},
       Null{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectation);
    TempTree t;
    t.Write("/proc/cpuinfo", c.cpuinfo);
    if (c.cpufreqKHz) {
      for (int n = 0; n < 2; ++n) {
        t.Write(fmt::format("/sys/devices/system/cpu/cpu{}/cpufreq/cpuinfo_max_freq", n), c.cpufreqKHz);
      }
    }
    t.Write("/sys/firmware/dmi/tables/DMI", ProcessorTable({c.socket}));
    EXPECT_EQ(Cpus(t.root()).at(0).at(kMaxClock), c.root);
    t.Remove("/sys/firmware/dmi");
    EXPECT_EQ(Cpus(t.root()).at(0).at(kMaxClock), c.user);
  }
}

// Version is the processor's family, model and stepping whichever source says it:
// the kernel's words, or the same read from the firmware's processor id.
TEST(LiveProcessors, TheVersionMeansTheSameFromTheKernelAndTheFirmware) {
  TempTree t;
  t.Write("/sys/firmware/dmi/tables/DMI", ProcessorTable({{"CPU1"}}));
  const Variant firmwareOnly = Cpus(t.root()).at(0).at(kVersion);
  t.Write("/proc/cpuinfo", CpuInfoText(1, "Intel(R) Xeon(R) CPU E5-2650 v2 @ 2.60GHz", ""));
  const Variant both = Cpus(t.root()).at(0).at(kVersion);
  t.Remove("/sys/firmware/dmi");
  EXPECT_EQ(Cpus(t.root()).at(0).at(kVersion), Variant("Family 6, Model 62, Stepping 4"));
  EXPECT_EQ(both, Variant("Family 6, Model 62, Stepping 4"));
  EXPECT_EQ(firmwareOnly, Variant("Family 6, Model 62, Stepping 4"));
  // An extended family (AMD family 23 = 0xF + 8) reads as the kernel reads it.
  EXPECT_EQ(X86SignatureText(0x800F11), "Family 23, Model 1, Stepping 1");
  EXPECT_EQ(X86SignatureText(0x806EA), "Family 6, Model 142, Stepping 10");
  // Stepping 0 is a stepping, not a placeholder.
  t.Write("/proc/cpuinfo",
          "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 15\nmodel\t\t: 33\nstepping\t: 0\n");
  EXPECT_EQ(Cpus(t.root()).at(0).at(kVersion), Variant("Family 15, Model 33, Stepping 0"));
}

// A socket the firmware lists as "Populated, Disabled By BIOS" or "... By User"
// holds no working processor: a virtual machine's table lists 128 sockets, 126
// of them so.
TEST(LiveProcessors, ADisabledSocketIsNoProcessor) {
  std::vector<Socket> sockets;
  for (int n = 0; n < 128; ++n) {
    const auto status = static_cast<uint8_t>(n == 1 || n == 3 ? 0x41 : (n % 2 ? 0x42 : 0x43));
    sockets.push_back({fmt::format("CPU #{:03}", n), status, 30000, 2600});
  }
  TempTree t;
  t.Write("/sys/firmware/dmi/tables/DMI", ProcessorTable(sockets));
  // No topology and no cpuinfo: the enabled sockets are the processors; then two
  // packages from the kernel pair with the enabled sockets, in order.
  for (int pass = 0; pass < 2; ++pass) {
    if (pass) t.Write("/proc/cpuinfo", CpuInfoText(4, "Intel(R) Xeon(R) CPU E5-2650 v2 @ 2.60GHz", "", 2));
    const Rows cpus = Cpus(t.root());
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(cpus[0][kSocket], Variant("CPU #001"));
    EXPECT_EQ(cpus[1][kSocket], Variant("CPU #003"));
  }
}

// Every real capture's processor is named and made by whom lscpu says
// (lscpu's answers recorded in real/cpuinfo/lscpu.tsv). Where lscpu shows a
// model name, the Name is that name, up to the features POWER lists after a
// comma; where lscpu names no vendor (POWER), the maker is IBM.
TEST(LiveProcessors, EveryRealProcessorIsNamedAsLscpuNamesIt) {
  std::istringstream lines(test::ReadTestFile("real/cpuinfo/lscpu.tsv"));
  auto collapse = [](const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
      out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  };
  size_t checked = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    ASSERT_NE(tab2, std::string::npos) << line;
    const std::string file = line.substr(0, tab1);
    const std::string vendor = line.substr(tab1 + 1, tab2 - tab1 - 1);
    std::string model = line.substr(tab2 + 1);
    SCOPED_TRACE(file);
    TempTree t;
    t.Write("/proc/cpuinfo", test::ReadTestFile(file));
    const Rows cpus = Cpus(t.root());
    ASSERT_FALSE(cpus.empty());
    if (model == "-") {
      EXPECT_EQ(cpus[0][kName], Variant(Null{}));
    } else {
      if (model.compare(0, 5, "POWER") == 0 && model.find(", ") != std::string::npos) model.resize(model.find(", "));
      EXPECT_EQ(collapse(TextOf(cpus[0][kName])), collapse(model));
    }
    EXPECT_EQ(TextOf(cpus[0][kMaker]), vendor == "-" ? "IBM" : vendor);
    ++checked;
  }
  EXPECT_GE(checked, 14u);
}

// An ARM processor is named by its part (recent cores too); one whose part the
// list does not know by the firmware, else by the device tree; its id comes
// from sysfs where cpuinfo lacks it.
TEST(LiveProcessors, AnUnknownArmPartIsNamedByFirmwareThenDeviceTree) {
  TempTree t;
  t.Write("/proc/cpuinfo", "processor\t: 0\nBogoMIPS\t: 50.00\n\n");
  t.Write("/sys/devices/system/cpu/cpu0/topology/physical_package_id", "0\n");
  t.Write("/sys/devices/system/cpu/cpu0/regs/identification/midr_el1", "0x00000000481fd010\n");
  EXPECT_EQ(Cpus(t.root()).at(0), (std::vector<Variant>{"HiSilicon", "Kunpeng-920", "r1p0", Null{}, Null{}}));
  for (const auto& [midr, name] : {std::pair{"0x410fd850", "Cortex-X925"}, {"0x410fd870", "Cortex-A725"}}) {
    t.Write("/sys/devices/system/cpu/cpu0/regs/identification/midr_el1", midr);
    EXPECT_EQ(Cpus(t.root()).at(0).at(kName), Variant(name));
  }
  t.Write("/sys/devices/system/cpu/cpu0/regs/identification/midr_el1", "0x00000000410ffff0\n");  // unknown part
  t.Write("/sys/firmware/devicetree/base/model", std::string("Example Board Rev 2\0", 20));
  EXPECT_EQ(Cpus(t.root()).at(0).at(kName), Variant("Example Board Rev 2"));
  t.Write("/sys/firmware/dmi/tables/DMI", ProcessorTable({{"CPU0", 0x41, 0, 0, "Example SoC 8-core"}}));
  EXPECT_EQ(Cpus(t.root()).at(0).at(kName), Variant("Example SoC 8-core"));
}

// Batteries: the kernel's system batteries first; the firmware's only when the
// kernel has none, and never its stand-ins; a peripheral's battery never.
TEST(LiveBatteries, TheKernelsBatteryWinsAndPlaceholdersAreNoBattery) {
  const std::vector<Variant> kernel{"38109", int32_t{47520}}, t480{"070B", int32_t{57000}};
  struct Case {
    const char* expectation;
    bool kernelBattery;
    const char* firmware;  // a real table, or nullptr for none
    Rows expected;
  } cases[] = {
      {"TheKernelsBatteryHidesAFirmwarePlaceholder", true, "Toshiba-Satellite-Pro-L70-A.dumpbin.bin", {kernel}},
      {"TheKernelsBatteryWinsOverTheFirmwares", true, "Lenovo-ThinkPad-T480.dumpbin.bin", {kernel}},
      {"TheKernelsBatteryWithoutRoot", true, nullptr, {kernel}},
      {"TheFirmwareFillsInWhenTheKernelHasNone", false, "Lenovo-ThinkPad-T480.dumpbin.bin", {t480}},
      {"AFirmwarePlaceholderAloneIsNoBattery", false, "Toshiba-Satellite-Pro-L70-A.dumpbin.bin", {}},
      {"AMousesBatteryIsNotTheMachines", false, nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectation);
    const TempTree t(test::TestDataPath("sysroot/laptop"));  // its mouse battery stays in every case
    if (!c.kernelBattery) t.Remove("/sys/class/power_supply/BAT0");
    if (c.firmware) {
      t.Write("/sys/firmware/dmi/tables/DMI", Table(c.firmware));
    } else {
      t.Remove("/sys/firmware/dmi");
    }
    EXPECT_EQ(Batteries(t.root()), c.expected);
  }
}

// Every tree read as root and as an unprivileged user (without the firmware
// table), and with a foreign firmware table: what the kernel knows of the
// processor (its maker, name, version and maximum clock) and its battery, where
// it has one, stay the same; the firmware adds only what the kernel leaves
// unsaid (the socket's name, a speed the kernel does not know).
TEST(LiveProcessors, RootAndUserSeeTheSameProcessorAndBattery) {
  size_t trees = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::TestDataPath("sysroot"))) {
    if (!entry.is_directory()) continue;
    const std::string tree = entry.path().filename().string();
    SCOPED_TRACE(tree);
    ++trees;
    const TempTree t(entry.path().string());
    const Rows asCaptured = Cpus(t.root());
    const auto batteries = Batteries(t.root());
    const bool kernelBattery = std::filesystem::exists(t.root() + "/sys/class/power_supply/BAT0");
    t.Remove("/sys/firmware/dmi");
    const Rows user = Cpus(t.root());
    if (kernelBattery) {
      EXPECT_EQ(Batteries(t.root()), batteries) << "without the table";
    }
    t.Write("/sys/firmware/dmi/tables/DMI", Table("Lenovo-ThinkPad-W510.dumpbin.bin"));
    const Rows foreign = Cpus(t.root());
    if (kernelBattery) {
      EXPECT_EQ(Batteries(t.root()), batteries) << "with a foreign table";
    }
    for (const auto& [what, root] : {std::pair{"with its table", &asCaptured}, {"with a foreign table", &foreign}}) {
      SCOPED_TRACE(what);
      ASSERT_EQ(root->size(), user.size());
      for (size_t i = 0; i < user.size(); ++i) {
        for (const int field : {kMaker, kName, kVersion, kMaxClock}) {
          if (!user[i][field].IsNull()) {
            EXPECT_EQ((*root)[i][field], user[i][field]) << field;
          }
        }
      }
    }
  }
  EXPECT_GE(trees, 5u);
}

}  // namespace
}  // namespace brv
