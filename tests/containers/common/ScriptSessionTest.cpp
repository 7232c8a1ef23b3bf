// The selection a script session reports: what the grid shows after the last
// SetSelectItem call that succeeded, the instance counted as the view counts it.
#include <optional>

#include <gtest/gtest.h>

#include "containers/common/ScriptSession.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

using json = nlohmann::ordered_json;

TEST(ScriptSession, ReportsTheLastSelectionThatSucceeded) {
  test::ResetModule();
  test::UseSnapshot(test::SnapshotWith(R"("CIM_Processor": [
      {"Manufacturer": "GenuineIntel", "Name": "Xeon A"}, {"Manufacturer": "GenuineIntel", "Name": "Xeon B"}])"));
  test::ProviderScope provider{test::ProviderMode::Missing};
  ScriptSession session;
  EXPECT_FALSE(session.selection());

  // Calls one after another, each with the selection it leaves (nullopt: none).
  const struct {
    json name, index;
    std::optional<Selection> after;
  } calls[] = {
      {"CPU", 0, std::nullopt},  // fails: nothing shown yet
      {"CPU", 2, Selection{"CPU", 2, 2}},
      {"CPU", 1.5, Selection{"CPU", 1, 2}},  // 0.5 rounds half to even
      {"CPU", "2", Selection{"CPU", 2, 2}},
      {"Nothing", 1, Selection{"CPU", 1, 2}},  // no collector runs: the CPU grid at index 1
      {"cpu", 2, Selection{"CPU", 2, 2}},      // names are exact
      {"CPU", 300, Selection{"CPU", 2, 2}},    // fails: the last good one stays
      {42, 1, Selection{"CPU", 2, 2}},         // fails before the grid is touched
      {"Display", 1, Selection{"Display", 1, 0}},
  };
  for (const auto& c : calls) {
    const std::string what = c.name.dump() + ", " + c.index.dump();
    session.Handle(json{{"method", "SetSelectItem"}, {"args", {c.name, c.index}}}.dump());
    ASSERT_EQ(session.selection().has_value(), c.after.has_value()) << what;
    if (!c.after) continue;
    EXPECT_EQ(session.selection()->category, c.after->category) << what;
    EXPECT_EQ(session.selection()->index, c.after->index) << what;
    EXPECT_EQ(session.selection()->count, c.after->count) << what;
  }
}

}  // namespace
}  // namespace brv
