// How many instances a container draws: the count a category keeps, and for
// the display, which keeps none, one unless neither of its classes answered.
// The terminal and --json read the same answer.
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "control/BRVPartsCtl.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(Instances, TheDisplayIsNoneOnlyWhenNothingAnswered) {
  const struct {
    const char* name;
    std::string classes;
    int32_t instances;
    const char* terminal;  // the heading line, or "Display: none"
    const char* json;      // the Display member of --json display
  } cases[] = {
      {"neither class answers", R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [])", 0, "Display: none", "[]"},
      {"an adapter only", R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [{"AdapterChipType": "C"}])", 1,
       "Display",
       R"([{"Index":"1","Horizontal Resolution":null,"Vertical Resolution":null,"Chip Type":"C","RAM Size":null,)"
       R"("details":{"AdapterRAM":null,"DriverVersion":null,"CurrentRefreshRate":null,"VideoProcessor":null}}])"},
      {"neither class exists", R"("Other": [])", 1, "Display", nullptr},
  };
  const test::TempDir folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ResetModule();
    test::ProviderScope provider(test::ProviderMode::Missing);
    test::BoxRecorder boxes;
    BRVPartsCtl control;
    const std::string snapshot = test::SnapshotWith(c.classes);
    test::UseSnapshot(snapshot);
    std::string name = "Display";
    Variant first = 1;
    EXPECT_EQ(control.SetSelectItem(name, first), 0) << "the display keeps no count";
    EXPECT_EQ(control.Instances(Category::Display), c.instances);

    const std::string file = folder.path() + "/s.json";
    std::ofstream(file) << snapshot;
    const test::Outcome text = test::RunProgram("--snapshot " + file + " display");
    EXPECT_EQ(text.out.substr(0, text.out.find('\n')), c.terminal);
    if (!c.json) continue;
    const test::Outcome json = test::RunProgram("--snapshot " + file + " --json display");
    EXPECT_EQ(nlohmann::ordered_json::parse(json.out)["categories"]["Display"].dump(), c.json);
  }
}

}  // namespace
}  // namespace brv
