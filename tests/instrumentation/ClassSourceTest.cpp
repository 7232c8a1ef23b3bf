// Reading each class once for one moment of the machine.
#include <gtest/gtest.h>

#include "instrumentation/ClassSource.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// Within the scope a class is queried once however it is spelt and however
// often it is asked for; outside it, and when not enabled, every time.
TEST(ReadEachClassOnce, QueriesEachClassOnceWithinItsScope) {
  test::UseSnapshot(test::SnapshotWith(R"("Win32_Battery": [{"Name": "BAT0"}], "Win32_Fan": [])"));
  const auto queriesFor = [](bool enabled) {
    const int before = test::QueriesAnswered();
    const ReadEachClassOnce once(enabled);
    for (const auto& [name, count] :
         {std::pair{"Win32_Battery", 1u}, {"WIN32_BATTERY", 1u}, {"Win32_Fan", 0u}, {"win32_battery", 1u}}) {
      EXPECT_EQ(CurrentClassSource()->Query(name)->instances.size(), count) << name;
    }
    return test::QueriesAnswered() - before;
  };
  EXPECT_EQ(queriesFor(true), 2);
  EXPECT_EQ(queriesFor(false), 4);
  EXPECT_EQ(queriesFor(true), 2) << "the classes read in an earlier scope are read again";
}

}  // namespace
}  // namespace brv
