// Comparing two inventories as the control draws them: pairs of captured trees
// and snapshots, each drawn through a control, then matched part by part.
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

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

// The inventory the control draws from a source; with the parts' details as diff reads them.
Json Draw(std::shared_ptr<const ClassSource> source, bool details = false) {
  test::ResetModule();
  UseClassSource(std::move(source));
  Session session;
  return *InventoryDocument(session, std::nullopt, std::nullopt, nullptr, nullptr, nullptr, details);
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

// Each "$ [--all] [--details] [--json] OLD => NEW" line of
// tests/data/expected/partdiff.txt: the changes in short, or as JSON.
TEST(PartDiff, PairsOfInventories) {
  const test::ProviderScope english(test::ProviderMode::Missing);
  test::ExpectAnswers("expected/partdiff.txt", [](std::string line) {
    const auto option = [&line](std::string_view name) {
      if (!line.starts_with(name)) return false;
      line.erase(0, name.size());
      return true;
    };
    const bool all = option("--all "), details = option("--details "), json = option("--json ");
    const size_t arrow = line.find(" => ");
    const Json before = Draw(Source(line.substr(0, arrow)), details);
    const Json after = Draw(Source(line.substr(arrow + 4)), details);
    const InventoryChanges changes = CompareInventories(before, after, all);
    return json ? ChangesJson(changes).dump(1) + "\n" : Summary(changes);
  });
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
