// Comparing two inventories: matching the parts of two documents of growing
// size, and the whole of `brvparts diff` short of printing (both inventories
// drawn through the control from snapshots, then compared).
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "containers/common/InventoryJson.h"
#include "containers/common/PartDiff.h"
#include "containers/common/Session.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Hex(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "02:00:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF, (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                i & 0xFF);
  return text;
}

// An inventory document of n parts, a quarter each of disks, memory, adapters
// and monitors. `later` lists them in reverse order, with every hundredth part
// changed in a fact and every hundredth (another) replaced.
Json Inventory(int n, bool later) {
  Json disks = Json::array(), memory = Json::array(), adapters = Json::array(), monitors = Json::array();
  const int quarter = n / 4;
  for (int k = 0; k < quarter; ++k) {
    const int i = later ? quarter - 1 - k : k;
    const bool changed = later && i % 100 == 0, replaced = later && i % 100 == 50;
    const std::string serial = (replaced ? "R" : "S") + std::to_string(i);
    disks.push_back({{"Index", std::to_string(k + 1)},
                     {"Model", "ST2000DM008"},
                     {"Size", "2000398934016"},
                     {"Serial No", serial},
                     {"Firmware Revision", changed ? "0002" : "0001"}});
    memory.push_back({{"Index", std::to_string(k + 1)},
                      {"SLOTs", std::to_string(i)},
                      {"Capacity", changed ? "34359738368" : "17179869184"}});
    adapters.push_back({{"Index", std::to_string(k + 1)},
                        {"Adapter Type", "Ethernet 802.3"},
                        {"Description", "Ethernet Controller"},
                        {"IP Address", later ? "10.0.0.2" : "10.0.0.1"},
                        {"MAC Address", Hex(replaced ? i + n : i)},
                        {"Manufacturer", "Intel Corporation"},
                        {"Name", "eth" + std::to_string(i)}});
    monitors.push_back({{"Index", std::to_string(k + 1)},
                        {"Manufacturer", "Dell Inc."},
                        {"Model", "DELL U2415"},
                        {"Serial No", serial}});
  }
  return Json{{"categories",
               {{"HDD", disks}, {"Memory", memory}, {"Network Adapter", adapters}, {"External Monitor", monitors}}},
              {"messages", Json::array()},
              {"errors", Json::array()}};
}

void Compare(benchmark::State& state) {
  const Json before = Inventory(static_cast<int>(state.range(0)), false);
  const Json after = Inventory(static_cast<int>(state.range(0)), true);
  for (auto _ : state) benchmark::DoNotOptimize(brv::CompareInventories(before, after, false));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(Compare)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

// A snapshot of n disks, in reverse order when `later`.
std::shared_ptr<const brv::ClassSource> Disks(int n, bool later) {
  brv::Snapshot s;
  brv::ClassAnswer standard, maker;
  for (int k = 0; k < n; ++k) {
    const int i = later ? n - 1 - k : k;
    brv::Instance disk, record;
    disk.Set("DeviceID", "sd" + std::to_string(i)).Set("Model", "ST2000DM008").Set("Size", int64_t{2000398934016});
    record.Set("SerialNO", "S" + std::to_string(i)).Set("FirmwareRevision", later && i % 100 == 0 ? "0002" : "0001");
    standard.instances.push_back(std::move(disk));
    maker.instances.push_back(std::move(record));
  }
  s.classes.emplace_back("Win32_DiskDrive", std::move(standard));
  s.classes.emplace_back("Brovik_DiskDrive", std::move(maker));
  return std::make_shared<brv::SnapshotSource>(std::move(s));
}

Json Draw(std::shared_ptr<const brv::ClassSource> source) {
  brv::UseClassSource(std::move(source));
  brv::Session session;
  return *brv::InventoryDocument(session);
}

void DrawAndCompare(benchmark::State& state) {
  const auto before = Disks(static_cast<int>(state.range(0)), false);
  const auto after = Disks(static_cast<int>(state.range(0)), true);
  for (auto _ : state) benchmark::DoNotOptimize(brv::CompareInventories(Draw(before), Draw(after), false));
}
BENCHMARK(DrawAndCompare)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
