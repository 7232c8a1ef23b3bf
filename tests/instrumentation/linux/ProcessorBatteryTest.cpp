// Processors and batteries of the live source: the kernel's view wins, the
// firmware table fills in only what the kernel does not say, and what a person
// who knows the machine reads is the same with and without root.
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

// Each processor's Manufacturer, Name, Version and MaxClockSpeed.
Rows Cpus(const std::string& root) {
  return Columns(*LiveSource(root).Query("CIM_Processor"), {"Manufacturer", "Name", "Version", "MaxClockSpeed"});
}
enum { kMaker, kName, kVersion, kMaxClock };

Rows Batteries(const std::string& root) {
  return Columns(*LiveSource(root).Query("DMTF_PortableBattery"),
                 {"PortableBatterySerialNumber", "PortableBatteryDesignCapacity"});
}

std::string Table(const std::string& dumpFile) {
  return SmbiosTableFromDump(test::ReadTestFile("real/smbios/" + dumpFile)).value();
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
