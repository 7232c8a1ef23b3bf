// A session reading the inventory whole: a list the control cut at its 16-bit
// count is said to be cut, never passed off as complete, and a message repeated
// for every instance is told once with how often.
#include <sstream>

#include <gtest/gtest.h>

#include "containers/common/InventoryJson.h"
#include "containers/common/Session.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(Session, ACutListIsNoListAndRepeatedMessagesAreCounted) {
  test::ResetModule();
  test::ProviderScope provider{test::ProviderMode::Missing};
  Snapshot snapshot;
  ClassAnswer& memory = snapshot.classes.emplace_back("DMTF_MemoryDevice", ClassAnswer{}).second;
  for (int i = 0; i < 32770; ++i) memory.instances.emplace_back().Set("Index", std::to_string(i));  // no Size
  UseClassSource(std::make_shared<SnapshotSource>(std::move(snapshot)));
  std::ostringstream told;
  std::optional<nlohmann::ordered_json> document;
  {
    Session session(&told);
    document = InventoryDocument(session, Category::Memory);
  }
  ASSERT_TRUE(document);
  EXPECT_TRUE((*document)["categories"]["Memory"].is_null()) << "never a list cut at 32,767";
  EXPECT_EQ((*document)["errors"][0]["description"],
            "Memory has 32,770 instances, more than the 32,767 the control numbers: none are listed");
  // One line per kind of message, however many instances showed it.
  const std::string lines = told.str();
  EXPECT_LE(std::count(lines.begin(), lines.end(), '\n'), 3) << lines.substr(0, 500);
  EXPECT_NE(lines.find(" more like it)\n"), std::string::npos) << lines.substr(0, 500);
}

}  // namespace
}  // namespace brv
