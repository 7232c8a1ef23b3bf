// The control as its container drives it: the count at the instance limit,
// and what it tells a script host about its safety.
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

TEST_F(Control, AnswersSafetyByInterfaceAndOption) {
  const unsigned char dispatch[16] = {0x00, 0x04, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const unsigned char stream[16] = {0x09, 0x01, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const unsigned char storage[16] = {0x0A, 0x01, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const unsigned char bag[16] = {0x60, 0x4F, 0xD8, 0x37, 0xCB, 0x42, 0xCE, 0x11,
                                 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
  const unsigned char unknown[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // IUnknown
  constexpr int32_t ok = 0, noInterface = static_cast<int32_t>(0x80004002), fail = static_cast<int32_t>(0x80004005);
  const struct {
    const void* iid;
    int32_t getResult;
    uint32_t enabledAfterGet;
    uint32_t mask, enabled;
    int32_t setResult;
  } cases[] = {
      {dispatch, ok, 1, 1, 1, ok},
      {dispatch, ok, 1, 3, 1, ok},
      {dispatch, ok, 1, 3, 3, fail},
      {dispatch, ok, 1, 1, 0, fail},
      {dispatch, ok, 1, 2, 2, fail},
      {stream, ok, 2, 2, 2, ok},
      {stream, ok, 2, 1, 1, fail},
      {storage, ok, 2, 3, 2, ok},
      {bag, ok, 2, 2, 2, ok},
      {bag, ok, 2, 3, 3, fail},
      {unknown, noInterface, 77, 1, 1, noInterface},
      {nullptr, noInterface, 77, 2, 2, noInterface},
  };
  for (const auto& c : cases) {
    uint32_t supported = 0, enabled = 77;
    EXPECT_EQ(control->IObjectSafety_GetInterfaceSafetyOptions(c.iid, supported, enabled), c.getResult);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, c.enabledAfterGet);
    EXPECT_EQ(control->IObjectSafety_SetInterfaceSafetyOptions(c.iid, c.mask, c.enabled), c.setResult)
        << c.mask << "/" << c.enabled;
  }
}

}  // namespace
}  // namespace brv
