// The whole inventory with and without the details under each part, in one
// run, so that their ratio is measured on one machine at one moment: the
// details are read by queries of their own, and should cost the inventory
// little (at most 1.3 times the inventory without them).
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "containers/common/InventoryJson.h"
#include "containers/common/Session.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace {

void Whole(benchmark::State& state, std::shared_ptr<const brv::ClassSource> source, bool details) {
  brv::UseClassSource(std::move(source));
  for (auto _ : state) {
    brv::Session session;
    benchmark::DoNotOptimize(
        brv::InventoryDocument(session, std::nullopt, std::nullopt, nullptr, nullptr, nullptr, details));
  }
}

std::shared_ptr<const brv::ClassSource> Live() {
  static auto source = std::make_shared<brv::LiveSource>("/");
  return source;
}

std::shared_ptr<const brv::ClassSource> Laptop() {
  static auto source = brv::SnapshotSource::FromFile(std::string(BRV_SOURCE_DIR) + "/samples/laptop.json");
  return source;
}

BENCHMARK_CAPTURE(Whole, live_plain, Live(), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Whole, live_details, Live(), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Whole, laptop_plain, Laptop(), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Whole, laptop_details, Laptop(), true)->Unit(benchmark::kMillisecond);

}  // namespace
