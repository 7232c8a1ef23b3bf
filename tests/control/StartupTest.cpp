// Creating the control: the grid it lays out, the texts it chooses, the state it
// leaves for the thread.
#include <thread>

#include <gtest/gtest.h>

#include "control/BRVPartsCtl.h"
#include "module/Module1.h"
#include "module/ModuleState.h"
#include "platform/grid/MemoryGrid.h"
#include "platform/strings/Resources.h"
#include "table/CategoryLabels.h"
#include "table/Layout.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

using test::ProviderMode;

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { test::ResetModule(); }
  test::BoxRecorder boxes;
};

// The grid laid out at start-up is compared whole through the script mode
// (ProgramTest's transcript).
TEST_F(Startup, DesignedRowsEndUpBelowTheBlankRows) {
  test::ProviderScope provider(ProviderMode::Missing);
  auto designed = std::make_unique<MemoryGrid>(3);
  designed->SetCellText(4, "designed");
  BRVPartsCtl control(std::move(designed));
  const GridState g = control.MSHFlexGrid1().State();
  ASSERT_EQ(g.rows, 13);
  EXPECT_EQ(g.text[12][0], "designed");
  EXPECT_EQ(g.rowHeight[12], MemoryGrid::kDefaultRowHeight);
  EXPECT_EQ(g.fill[12][1], 0xE6D4CD);
  EXPECT_EQ(Module().ComputerName, ".");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Startup, ProviderErrorEndsStartupAndReachesTheContainer) {
  struct Failing : AutomationObject {
    Variant Call(std::string_view, std::vector<Variant>&) override { Raise(err::kInvalidCall, "broken catalogue"); }
  };
  test::ProviderScope restore(ProviderMode::Installed);
  RegisterClass(kResourcesProgId, [] { return std::make_shared<Failing>(); });
  BRVPartsCtl control;
  ASSERT_TRUE(control.startupError());
  EXPECT_EQ(control.startupError()->number(), err::kInvalidCall);
  // Start-up ended at the first text: the grid keeps its designed look.
  EXPECT_EQ(control.MSHFlexGrid1().State().rows, 1);
}

TEST_F(Startup, SecondControlKeepsTheLastTable) {
  test::ProviderScope provider(ProviderMode::Missing);
  BRVPartsCtl first;
  Module().CurrentLabels = CaptionList{"Index"};
  Module().CurrentValues = ValueTable(2, 1);
  Module().CategoryCount[0] = 3;
  BRVPartsCtl second;
  EXPECT_EQ(Module().CurrentLabels, CaptionList{"Index"});
  EXPECT_EQ(Module().CurrentValues.rows(), 2u);
  EXPECT_EQ(Module().CategoryCount[0], 3);
}

TEST_F(Startup, ThreadsKeepSeparateState) {
  test::ProviderScope provider(ProviderMode::Missing);
  BRVPartsCtl here;
  Module().CategoryCount[0] = 5;
  std::string otherEmpty;
  int16_t otherCount = -1;
  bool otherHadLabels = true;
  std::thread([&] {
    otherHadLabels = Module().CategoryLabels[0].has_value();
    otherCount = Module().CategoryCount[0];
    test::ProviderScope fake(ProviderMode::Fake);
    BRVPartsCtl there;
    otherEmpty = Module().EmptyText;
  }).join();
  EXPECT_FALSE(otherHadLabels);
  EXPECT_EQ(otherCount, 0);
  EXPECT_EQ(otherEmpty, "#211");
  EXPECT_EQ(Module().EmptyText, "<Empty>");
  EXPECT_EQ(Module().CategoryCount[0], 5);
}

}  // namespace
}  // namespace brv
