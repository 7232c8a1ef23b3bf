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

// The header centred (format 4) and never shaded; ten blank rows shaded in
// turn, left at the top (format 0); every row 400 twips high, each column half
// the site.
TEST_F(Startup, LaysOutTheDesignedGrid) {
  test::ProviderScope provider(ProviderMode::Missing);
  BRVPartsCtl control;
  ASSERT_FALSE(control.startupError());
  const GridState g = control.MSHFlexGrid1().State();
  ASSERT_EQ(g.rows, 11);
  EXPECT_EQ(g.text[0], (std::vector<std::string>{"Item", "Value"}));
  EXPECT_EQ(g.cellFormat[0], (std::vector<std::optional<int16_t>>{4, 4}));
  EXPECT_EQ(g.fill[0], (std::vector<std::optional<int32_t>>{std::nullopt, std::nullopt}));
  EXPECT_EQ(g.colFormat, (std::vector<std::optional<int16_t>>{0, 0}));
  EXPECT_EQ(g.colWidth, (std::vector<int32_t>{4725, 4725}));
  EXPECT_EQ(g.rowHeight, std::vector<int32_t>(11, 400));
  for (int r = 1; r <= 10; ++r) {
    const int32_t shade = r % 2 ? 0xFEF5F2 : 0xE6D4CD;
    EXPECT_EQ(g.text[r], (std::vector<std::string>{" ", ""})) << r;
    EXPECT_EQ(g.fill[r], (std::vector<std::optional<int32_t>>{shade, shade})) << r;
    EXPECT_FALSE(g.cellFormat[r][0]);
  }
  EXPECT_FALSE(g.scrollBars);
  EXPECT_EQ(Module().ComputerName, ".");
  EXPECT_TRUE(boxes.boxes.empty());
}

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
}

TEST_F(Startup, TextsWithAndWithoutProvider) {
  const struct {
    ProviderMode mode;
    std::string emptyText, header0, cpu0, hdd0, battery0;
  } cases[] = {
      {ProviderMode::Missing, "<Empty>", "Item", "Index", "Index", "Index"},
      {ProviderMode::Fake, "#211", "#201", "#212", "#451", "#751"},
  };
  for (const auto& c : cases) {
    test::ResetModule();
    test::ProviderScope provider(c.mode);
    BRVPartsCtl control;
    const ModuleState& m = Module();
    EXPECT_EQ(m.EmptyText, c.emptyText);
    EXPECT_EQ(control.MSHFlexGrid1().State().text[0][0], c.header0);
    EXPECT_EQ(m.CategoryLabels[IndexOf(Category::CPU)]->at(0), c.cpu0);
    EXPECT_EQ(m.CategoryLabels[IndexOf(Category::HDD)]->at(0), c.hdd0);
    EXPECT_EQ(m.CategoryLabels[IndexOf(Category::BatteryPack)]->at(0), c.battery0);
  }
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
