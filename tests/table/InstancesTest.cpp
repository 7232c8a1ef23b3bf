// How many instances a container draws: the count a category keeps, and for
// the display, which keeps none, one unless neither of its classes answered
// (what the terminal and --json show of it is ProgramTest's transcript).
#include <gtest/gtest.h>

#include "control/BRVPartsCtl.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(Instances, TheDisplayIsNoneOnlyWhenNothingAnswered) {
  const struct {
    const char* name;
    std::string classes;
    int32_t instances;
  } cases[] = {
      {"neither class answers", R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [])", 0},
      {"an adapter only", R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [{"AdapterChipType": "C"}])", 1},
      {"neither class exists", R"("Other": [])", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ResetModule();
    test::ProviderScope provider(test::ProviderMode::Missing);
    test::BoxRecorder boxes;
    BRVPartsCtl control;
    test::UseSnapshot(test::SnapshotWith(c.classes));
    std::string name = "Display";
    Variant first = 1;
    EXPECT_EQ(control.SetSelectItem(name, first), 0) << "the display keeps no count";
    EXPECT_EQ(control.Instances(Category::Display), c.instances);
  }
}

}  // namespace
}  // namespace brv
