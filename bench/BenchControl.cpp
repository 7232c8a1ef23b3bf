// What a user feels: every selection queries afresh, so the cost of one
// SetSelectItem is the cost of a click. Measured per category on the live
// machine and on the sample snapshot, per instance on snapshots of growing
// size, and for creating a control.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "common/Category.h"
#include "control/BRVPartsCtl.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/MessageBox.h"

namespace {

using brv::Variant;

void Quiet() {
  brv::SetMessageBoxHandler([](const std::string&, const std::string&, int32_t) {});
}

void Select(benchmark::State& state, std::shared_ptr<const brv::ClassSource> source, std::string category) {
  Quiet();
  brv::UseClassSource(std::move(source));
  brv::BRVPartsCtl control;
  for (auto _ : state) {
    std::string name = category;
    Variant index = int32_t{1};
    benchmark::DoNotOptimize(control.SetSelectItem(name, index));
  }
}

std::shared_ptr<const brv::ClassSource> Laptop() {
  static auto source = brv::SnapshotSource::FromFile(std::string(BRV_SOURCE_DIR) + "/samples/laptop.json");
  return source;
}

std::shared_ptr<const brv::ClassSource> Live() {
  static auto source = std::make_shared<brv::LiveSource>("/");
  return source;
}

// A snapshot whose processor class has n instances.
std::shared_ptr<const brv::ClassSource> Processors(int n) {
  brv::Snapshot s;
  brv::ClassAnswer answer;
  for (int i = 0; i < n; ++i) {
    brv::Instance instance;
    instance.Set("Manufacturer", "GenuineIntel")
        .Set("Name", "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz")
        .Set("MaxClockSpeed", int32_t{3300})
        .Set("SocketDesignation", "CPU" + std::to_string(i))
        .Set("Version", "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz");
    answer.instances.push_back(std::move(instance));
  }
  s.classes.emplace_back("CIM_Processor", std::move(answer));
  return std::make_shared<brv::SnapshotSource>(std::move(s));
}

void Instances(benchmark::State& state) {
  Select(state, Processors(static_cast<int>(state.range(0))), "CPU");
  state.SetComplexityN(state.range(0));
}
BENCHMARK(Instances)->Arg(1)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();

void Startup(benchmark::State& state) {
  Quiet();
  for (auto _ : state) {
    brv::BRVPartsCtl control;
    benchmark::DoNotOptimize(control.MSHFlexGrid1().Rows());
  }
}
BENCHMARK(Startup)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const bool kRegistered = [] {
  for (std::string_view name : brv::kCategoryNames) {
    const std::string category(name);
    benchmark::RegisterBenchmark(("Snapshot/" + category).c_str(), [category](benchmark::State& s) {
      Select(s, Laptop(), category);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Live/" + category).c_str(), [category](benchmark::State& s) {
      Select(s, Live(), category);
    })->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
