// Comparing two inventories as the control draws them: pairs of captured trees
// and snapshots, each drawn through a control, then matched part by part.
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/Category.h"
#include "containers/common/InventoryJson.h"
#include "containers/common/PartDiff.h"
#include "containers/common/Session.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using Json = nlohmann::ordered_json;

// The inventory the control draws from a source.
Json Draw(std::shared_ptr<const ClassSource> source) {
  test::ResetModule();
  UseClassSource(std::move(source));
  Session session;
  return *InventoryDocument(session);
}

std::shared_ptr<const ClassSource> Tree(const std::string& name) {
  return std::make_shared<LiveSource>(test::TestDataPath("sysroot/" + name));
}

// "tree:NAME" the captured tree, "capture:NAME" its expected snapshot, else the
// sample laptop's snapshot with the classes given replaced.
std::shared_ptr<const ClassSource> Source(const std::string& what) {
  if (what.starts_with("tree:")) return Tree(what.substr(5));
  if (what.starts_with("capture:")) {
    return std::make_shared<SnapshotSource>(
        ReadSnapshotFile(test::TestDataPath("sysroot/" + what.substr(8) + ".json")));
  }
  std::ifstream in(std::string(BRV_SOURCE_DIR) + "/samples/laptop.json");
  Json snapshot = Json::parse(in);
  const Json classes = Json::parse(what.empty() ? "{}" : what);
  for (const auto& [name, value] : classes.items()) snapshot["classes"][name] = value;
  return std::make_shared<SnapshotSource>(ParseSnapshot(snapshot.dump(), "laptop"));
}

// The changes in short, a line each: "-HDD 1", "+HDD 1", "~Memory 2: Capacity",
// "~HDD 1>2: ...", "!Bluetooth new", in category order, removed, added, changed.
std::string Summary(const InventoryChanges& changes) {
  std::string out;
  for (const CategoryChanges& c : changes.categories) {
    if (c.failedOld || c.failedNew) {
      out += "!" + c.category + (c.failedOld && c.failedNew ? " both\n" : c.failedOld ? " old\n" : " new\n");
    }
    for (const Part& p : c.removed) out += "-" + c.category + " " + std::to_string(p.index) + "\n";
    for (const Part& p : c.added) out += "+" + c.category + " " + std::to_string(p.index) + "\n";
    for (const ChangedPart& p : c.changed) {
      out += "~" + c.category + " " + std::to_string(p.oldIndex);
      if (p.newIndex != p.oldIndex) out += ">" + std::to_string(p.newIndex);
      out += ":";
      for (const auto& [caption, change] : p.facts.items()) out += " " + caption;
      out += "\n";
    }
  }
  return out;
}

// Each "$ [--all] OLD => NEW" line of tests/data/expected/partdiff.txt: the
// changes in short.
TEST(PartDiff, PairsOfInventories) {
  const test::ProviderScope english(test::ProviderMode::Missing);
  test::ExpectAnswers("expected/partdiff.txt", [](std::string line) {
    const bool all = line.starts_with("--all ");
    if (all) line.erase(0, 6);
    const size_t arrow = line.find(" => ");
    const Json before = Draw(Source(line.substr(0, arrow))), after = Draw(Source(line.substr(arrow + 4)));
    return Summary(CompareInventories(before, after, all));
  });
}

TEST(PartDiff, ABatteryReplacedInACapturedTree) {
  const test::TempTree tree(test::TestDataPath("sysroot/laptop"));
  const std::string battery =
      "/sys/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0A08:00/device:00/PNP0C09:00/PNP0C0A:00/power_supply/BAT0/";
  std::string uevent = test::ReadTestFile("sysroot/laptop" + battery + "uevent");
  uevent.replace(uevent.find("SERIAL_NUMBER=38109"), 19, "SERIAL_NUMBER=51234");
  tree.Write(battery + "uevent", uevent);
  tree.Write(battery + "serial_number", "51234\n");
  const test::ProviderScope english(test::ProviderMode::Missing);
  const InventoryChanges changes =
      CompareInventories(Draw(Tree("laptop")), Draw(std::make_shared<LiveSource>(tree.root())), false);
  EXPECT_EQ(Summary(changes), "-Battery Pack 1\n+Battery Pack 1\n");
  const Json json = ChangesJson(changes);
  EXPECT_EQ(json["Battery Pack"]["removed"][0]["identity"], Json({{"Serial No", "38109"}}));
  EXPECT_EQ(json["Battery Pack"]["added"][0]["identity"], Json({{"Serial No", "51234"}}));
  EXPECT_EQ(json["Battery Pack"]["added"][0]["facts"]["Capacity"], "47520");
}

TEST(PartDiff, ChangesAsJsonNameEveryCategoryAndBothSidesOfAFact) {
  const test::ProviderScope english(test::ProviderMode::Missing);
  const Json before = Draw(Source(""));
  const Json after =
      Draw(Source(R"({"DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}, {"Index": 1, "Size": null}],
                                      "Brovik_Bluetooth": {"$error": "0x80041010"}})"));
  const Json json = ChangesJson(CompareInventories(before, after, false));
  ASSERT_EQ(json.size(), kCategoryCount);
  EXPECT_EQ(json["Memory"]["changed"][0],
            Json({{"index", {{"before", 2}, {"after", 2}}},
                  {"identity", {{"SLOTs", "1"}}},
                  {"facts", {{"Capacity", {{"before", "17179869184"}, {"after", nullptr}}}}}}));
  EXPECT_EQ(json["Bluetooth"]["failed"], Json({"new"}));
  EXPECT_EQ(json["Bluetooth"]["removed"], Json::array());
  EXPECT_EQ(json["CPU"], Json({{"failed", Json::array()},
                               {"removed", Json::array()},
                               {"added", Json::array()},
                               {"changed", Json::array()}}));
}

TEST(PartDiff, RefusesWhatIsNotAnInventory) {
  const Json good = {{"categories", {{"CPU", Json::array()}}}};
  for (const char* text :
       {R"([])", R"({"categories": []})", R"({"categories": {"CPU": 3}})", R"({"categories": {"CPU": [3]}})"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(CompareInventories(Json::parse(text), good, false), std::invalid_argument);
    EXPECT_THROW(CompareInventories(good, Json::parse(text), false), std::invalid_argument);
  }
}

}  // namespace
}  // namespace brv
