// The control as its container drives it: the count at the instance limit
// (what it tells a script host about its safety is ScriptSessionTest's).
#include <gtest/gtest.h>

#include "control/BRVPartsCtl.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

class Control : public test::WithControl<> {};

// The count is a 16-bit number: past 32,767 instances the control counts
// 32,767, shows them, and tells by a box that there were more.
TEST_F(Control, CountsAtMost32767InstancesAndSaysThereWereMore) {
  Snapshot snapshot;
  ClassAnswer& cpus = snapshot.classes.emplace_back("CIM_Processor", ClassAnswer{}).second;
  for (int i = 0; i < 32768; ++i) {
    Instance& cpu = cpus.instances.emplace_back();
    for (const char* property : {"Manufacturer", "Version", "MaxClockSpeed", "SocketDesignation"})
      cpu.Set(property, "");
    cpu.Set("Name", "Core " + std::to_string(i));
  }
  UseClassSource(std::make_shared<SnapshotSource>(std::move(snapshot)));
  std::string cpu = "CPU";
  for (const int32_t instance : {1, 32767}) {
    Variant index(instance);
    EXPECT_EQ(control->SetSelectItem(cpu, index), 32767);
    EXPECT_EQ(control->MSHFlexGrid1().State().text[3][1], "Core " + std::to_string(instance - 1));
  }
  EXPECT_EQ(boxes.boxes, std::vector<test::Box>(2, {"Failed to create object.", "Parts Information - Error", 0}));
}

}  // namespace
}  // namespace brv
