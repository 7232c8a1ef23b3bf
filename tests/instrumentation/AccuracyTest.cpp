// The facts read of real machines against what the reference tools said of
// the same samples, recorded beside them by scripts/renew-references.py:
// memory modules, slots and batteries of firmware tables; processors, cores
// and caches of captured trees. (Monitors: EdidDecode.EverySampleMatchesTheIndex.)
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "instrumentation/decoders/Smbios.h"
#include "instrumentation/linux/LiveSource.h"
#include "tests/support/SmbiosDump.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The tab-separated rows of a reference file, comments left out.
Rows References(const std::string& file) {
  Rows rows;
  std::istringstream lines(test::ReadTestFile(file));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    auto& row = rows.emplace_back();
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
  }
  return rows;
}

std::string Or(const std::optional<std::string>& text) { return text.value_or("-"); }
std::string Or(const std::optional<std::string_view>& text) { return text ? std::string(*text) : "-"; }
template <class N>
std::string Or(const std::optional<N>& n) {
  return n ? std::to_string(*n) : "-";
}

TEST(Accuracy, MemoryModulesSlotsAndBatteriesOfEveryFirmwareTable) {
  std::map<std::string, std::vector<std::string>> expected;
  for (const auto& row : References("real/smbios/references.tsv")) {
    std::string value = row.at(2);
    // The chemistry as the tool names it, in the standard's code.
    if (const size_t bar = value.find(" | "); row[1] == "battery" && bar != std::string::npos) {
      value = value.substr(0, bar + 3) + Or(BatteryChemistryCode(value.substr(bar + 3)));
    }
    expected[row[0]].push_back(row[1] + ": " + value);
  }
  ASSERT_GE(expected.size(), 14u);
  for (auto& [file, facts] : expected) {
    SCOPED_TRACE(file);
    const auto table = SmbiosTableFromDump(test::ReadTestFile("real/smbios/" + file));
    ASSERT_TRUE(table);
    const auto structures = SplitSmbiosTable(*table);
    std::vector<std::string> got;
    for (const SmbiosMemoryDevice& d : DecodeSmbiosMemoryDevices(structures)) {
      if (!d.installed) continue;
      got.push_back(fmt::format("module: {} | {} | {} | {} | {} | {} | {} | {} | {}", *d.sizeBytes,
                                Or(SmbiosMemoryTypeName(d.memoryType)), Or(SmbiosFormFactorName(d.formFactor)),
                                Or(d.speedMTs), Or(d.configuredSpeedMTs), Or(d.manufacturer), Or(d.partNumber),
                                Or(d.deviceLocator), Or(d.bankLocator)));
    }
    for (const SmbiosBattery& b : DecodeSmbiosBatteries(structures)) {
      got.push_back(fmt::format("battery: {} | {}", Or(b.designCapacityMWh), Or(b.chemistry)));
    }
    int slots = 0;
    for (const SmbiosMemoryArray& a : DecodeSmbiosMemoryArrays(structures)) slots += a.slots;
    got.push_back(fmt::format("slots: {}", slots));
    std::sort(facts.begin(), facts.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, facts);
  }
}

// Every captured tree's processors as the reference counts them: sockets
// (where the kernel numbers its packages), cores per socket, threads within
// what the cores allow (hybrid parts have cores of one and of two threads),
// and the level 2 and 3 caches, each counted once.
TEST(Accuracy, ProcessorsCoresAndCachesOfEveryCapturedTree) {
  size_t checked = 0;
  for (const auto& row : References("real/sysfs/references.tsv")) {
    ASSERT_EQ(row.size(), 6u);
    SCOPED_TRACE(row[0]);
    const test::TempTree t;
    // Only the files the processors are read from: the trees are large.
    std::string command = fmt::format("tar -xf '{}' -C '{}' --wildcards '*proc/cpuinfo'",
                                      test::TestDataPath("real/sysfs/" + row[0]), t.root());
    for (const char* file : {"topology/physical_package_id", "topology/thread_siblings_list", "topology/core_id",
                             "cache/index*/level", "cache/index*/size", "cache/index*/shared_cpu_map"}) {
      command += fmt::format(" '*/devices/system/cpu/cpu[0-9]*/{}'", file);
    }
    command += " 2>/dev/null";  // a pattern a tree has no file for fails the command, not the test
    const int status = std::system(command.c_str());
    std::string root = t.root();
    for (const auto& e : std::filesystem::directory_iterator(t.root())) {
      if (e.is_directory() && std::filesystem::exists(e.path() / "proc")) root = e.path().string();
    }
    ASSERT_TRUE(std::filesystem::exists(root + "/proc/cpuinfo")) << command << ": " << status;
    const auto answer = LiveSource(root).Query("CIM_Processor");
    ASSERT_FALSE(answer->instances.empty());
    const auto number = [](const Instance& i, const char* name) {
      const Property* p = i.Find(name);
      return p && !p->value.IsNull() ? std::stoll(TextOf(p->value)) : 0;
    };
    if (row[1] != "-") {
      EXPECT_EQ(std::to_string(answer->instances.size()), row[1]);
    }
    long long l2 = 0, l3 = 0;
    for (const Instance& i : answer->instances) {
      const long long cores = number(i, "NumberOfCores"), threads = number(i, "NumberOfLogicalProcessors");
      EXPECT_EQ(std::to_string(cores), row[2]);
      EXPECT_GE(threads, cores);
      EXPECT_LE(threads, cores * std::stoll(row[3]));
      l2 += number(i, "L2CacheSize");
      l3 += number(i, "L3CacheSize");
    }
    EXPECT_EQ(l2 ? std::to_string(l2) : "-", row[4]);
    EXPECT_EQ(l3 ? std::to_string(l3) : "-", row[5]);
    ++checked;
  }
  EXPECT_GE(checked, 11u);
}

}  // namespace
}  // namespace brv
