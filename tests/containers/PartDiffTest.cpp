// Comparing two inventories as the control draws them: pairs of captured trees
// and snapshots, each drawn through a control, then matched part by part.
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Category.h"
#include "containers/common/InventoryJson.h"
#include "containers/common/PartDiff.h"
#include "containers/common/Session.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Support.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using Json = nlohmann::ordered_json;

// The inventory the control draws from a source; with its details as diff reads them.
Json Draw(std::shared_ptr<const ClassSource> source, bool details = false) {
  test::ResetModule();
  UseClassSource(std::move(source));
  Session session;
  return *InventoryDocument(session, std::nullopt, std::nullopt, nullptr, nullptr, nullptr, details);
}

std::shared_ptr<const ClassSource> Tree(const std::string& name) {
  return std::make_shared<LiveSource>(test::TestDataPath("sysroot/" + name));
}

// The sample laptop's snapshot with some classes replaced.
std::shared_ptr<const ClassSource> Laptop(const std::string& replaced = "{}") {
  std::ifstream in(std::string(BRV_SOURCE_DIR) + "/samples/laptop.json");
  Json snapshot = Json::parse(in);
  const Json classes = Json::parse(replaced);
  for (const auto& [name, value] : classes.items()) snapshot["classes"][name] = value;
  return std::make_shared<SnapshotSource>(ParseSnapshot(snapshot.dump(), "laptop"));
}

// The changes in short: "-HDD 1", "+HDD 1", "~Memory 2: Capacity", "~HDD 1>2: ...",
// "!Bluetooth new", in category order, removed, added, changed.
std::vector<std::string> Summary(const InventoryChanges& changes) {
  std::vector<std::string> out;
  for (const CategoryChanges& c : changes.categories) {
    if (c.failedOld || c.failedNew) {
      out.push_back("!" + c.category + (c.failedOld && c.failedNew ? " both" : c.failedOld ? " old" : " new"));
    }
    for (const Part& p : c.removed) out.push_back("-" + c.category + " " + std::to_string(p.index));
    for (const Part& p : c.added) out.push_back("+" + c.category + " " + std::to_string(p.index));
    for (const ChangedPart& p : c.changed) {
      std::string line = "~" + c.category + " " + std::to_string(p.oldIndex);
      if (p.newIndex != p.oldIndex) line += ">" + std::to_string(p.newIndex);
      line += ":";
      for (const auto& [caption, change] : p.facts.items()) line += " " + caption;
      out.push_back(line);
    }
  }
  return out;
}

// Processors of these names, in no socket the firmware names.
std::string Processors(std::initializer_list<const char*> names) {
  Json list = Json::array();
  for (const char* name : names) {
    list.push_back({{"DeviceID", "CPU" + std::to_string(list.size())},
                    {"Manufacturer", "GenuineIntel"},
                    {"Name", name},
                    {"Version", nullptr},
                    {"MaxClockSpeed", 2600},
                    {"SocketDesignation", nullptr}});
  }
  return Json{{"CIM_Processor", list}}.dump();
}

constexpr const char* kTwoDisks = R"({
  "Win32_DiskDrive": [{"DeviceID": "sda", "Model": "WDC WD10EZEX", "Size": 1000204886016},
                      {"DeviceID": "sdb", "Model": "ST2000DM008", "Size": 2000398934016}],
  "Brovik_DiskDrive": [{"SerialNO": "WD-WCC6Y1", "FirmwareRevision": "01.01A01"},
                       {"SerialNO": "ZFL1ABCD", "FirmwareRevision": "0001"}]})";

// The sample laptop's modules, the second one faster.
constexpr const char* kFasterModule =
    R"({"Win32_PhysicalMemory": [{"Capacity": 8589934592, "Manufacturer": "SK Hynix", "PartNumber": "HMAA51S6AMR6N-UH", "SerialNumber": null, "Speed": 2400, "ConfiguredClockSpeed": 2400, "SMBIOSMemoryType": 26, "FormFactor": 12, "DeviceLocator": "ChannelA-DIMM0", "BankLabel": "BANK 0"}, {"Capacity": 17179869184, "Manufacturer": "Samsung", "PartNumber": "M471A2K43CB1-CRC", "SerialNumber": "417B9BB7", "Speed": 3200, "ConfiguredClockSpeed": 2400, "SMBIOSMemoryType": 26, "FormFactor": 12, "DeviceLocator": "ChannelB-DIMM0", "BankLabel": "BANK 2"}]})";
constexpr const char* kClock800 =
    R"({"CIM_Processor": [{"DeviceID": "CPU0", "Name": "i7-8650U", "CurrentClockSpeed": 800}]})";
constexpr const char* kClock2100 =
    R"({"CIM_Processor": [{"DeviceID": "CPU0", "Name": "i7-8650U", "CurrentClockSpeed": 2100}]})";

TEST(PartDiff, PairsOfInventories) {
  const struct {
    const char* name;
    std::function<std::shared_ptr<const ClassSource>()> before, after;
    bool all;
    std::vector<std::string> expected;
  } cases[] = {
      {"a snapshot against itself", [] { return Laptop(); }, [] { return Laptop(); }, true, {}},
      {"a disk swapped: its serial differs",
       [] { return Laptop(); },
       [] {
         return Laptop(R"({"Brovik_DiskDrive": [{"SerialNO": "S4EWNX0R123456", "FirmwareRevision": "4L7QCXB7"}]})");
       },
       false,
       {"-HDD 1", "+HDD 1"}},
      {"the same disks in another order",
       [] { return Laptop(kTwoDisks); },
       [] {
         return Laptop(R"({
           "Win32_DiskDrive": [{"DeviceID": "sda", "Model": "ST2000DM008", "Size": 2000398934016},
                               {"DeviceID": "sdb", "Model": "WDC WD10EZEX", "Size": 1000204886016}],
           "Brovik_DiskDrive": [{"SerialNO": "ZFL1ABCD", "FirmwareRevision": "0001"},
                                {"SerialNO": "WD-WCC6Y1", "FirmwareRevision": "01.01A01"}]})");
       },
       true,
       {}},
      {"a disk's firmware updated",
       [] { return Laptop(kTwoDisks); },
       [] {
         return Laptop(R"({
           "Win32_DiskDrive": [{"DeviceID": "sda", "Model": "WDC WD10EZEX", "Size": 1000204886016},
                               {"DeviceID": "sdb", "Model": "ST2000DM008", "Size": 2000398934016}],
           "Brovik_DiskDrive": [{"SerialNO": "WD-WCC6Y1", "FirmwareRevision": "01.01A02"},
                                {"SerialNO": "ZFL1ABCD", "FirmwareRevision": "0001"}]})");
       },
       false,
       {"~HDD 1: Firmware Revision"}},
      // Two disks of one model and size with serials that differ are two disks,
      // whatever their model says; a disk whose serial cannot be read now is
      // still known by its model and size.
      {"a disk exchanged for one of the same model",
       [] { return Laptop(); },
       [] {
         return Laptop(R"({"Brovik_DiskDrive": [{"SerialNO": "S3TNNX0K999999", "FirmwareRevision": "4L7QCXB7"}]})");
       },
       false,
       {"-HDD 1", "+HDD 1"}},
      {"a disk's serial no longer read",
       [] { return Laptop(); },
       [] { return Laptop(R"({"Brovik_DiskDrive": [{"SerialNO": null, "FirmwareRevision": "4L7QCXB7"}]})"); },
       false,
       {"~HDD 1: Serial No"}},
      {"a battery replaced",
       [] { return Laptop(); },
       [] {
         return Laptop(
             R"({"DMTF_PortableBattery": [{"PortableBatterySerialNumber": "51234", "PortableBatteryDesignCapacity": 47520}]})");
       },
       false,
       {"-Battery Pack 1", "+Battery Pack 1"}},
      {"a memory module moved to another slot",
       [] { return Laptop(); },
       [] {
         return Laptop(
             R"({"DMTF_MemoryDevice": [{"Index": 1, "Size": 17179869184}, {"Index": 2, "Size": 8589934592}]})");
       },
       false,
       {"-Memory 1", "+Memory 2"}},
      {"a memory module of another size in the same slot",
       [] { return Laptop(); },
       [] {
         return Laptop(
             R"({"DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}, {"Index": 1, "Size": 8589934592}]})");
       },
       false,
       {"~Memory 2: Capacity"}},
      {"an adapter's IP address changed",
       [] { return Laptop(); },
       [] {
         return Laptop(R"({"Win32_NetworkAdapterConfiguration": [{"Index": 1, "IPAddress": ["127.0.0.1"]},
            {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": ["10.1.2.3"]}]})");
       },
       false,
       {}},
      {"an adapter's IP address changed, with --all",
       [] { return Laptop(); },
       [] {
         return Laptop(R"({"Win32_NetworkAdapterConfiguration": [{"Index": 1, "IPAddress": ["127.0.0.1"]},
            {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": ["10.1.2.3"]}]})");
       },
       true,
       {"~Network Adapter 2: IP Address"}},
      {"the dock undocked and docked again",
       [] { return Laptop(); },
       [] {
         return Laptop(R"({"Brovik_DockingStation": [{"SerialNO": "40AY0090EU-1H3KF2", "status": "Connected"}]})");
       },
       false,
       {}},
      {"a monitor exchanged for the same model with another serial",
       [] { return Laptop(); },
       [] {
         return Laptop(
             R"({"Brovik_ExternalMonitor": [{"Manufacturer": "Dell Inc.", "Model": "DELL U2415", "SerialNO": "7MT0186Q0XYL"}]})");
       },
       false,
       {"-External Monitor 1", "+External Monitor 1"}},
      {"a second monitor plugged in before the first",
       [] { return Laptop(); },
       [] {
         return Laptop(
             R"({"Brovik_ExternalMonitor": [{"Manufacturer": "HP", "Model": "HP 27er", "SerialNO": "3CM7260M2L"},
            {"Manufacturer": "Dell Inc.", "Model": "DELL U2415", "SerialNO": "CFV9N68B1FRL"}]})");
       },
       false,
       {"+External Monitor 1"}},
      // Parts without identity are matched by their order among such parts.
      {"processors without sockets",
       [] {
         return Laptop(Processors({"A", "B"}));
       },
       [] {
         return Laptop(Processors({"A", "C", "D"}));
       },
       false,
       {"+CPU 3", "~CPU 2: Name"}},
      {"the display's resolution",
       [] { return Laptop(); },
       [] { return Laptop(R"({"Brovik_LCDPanel": [{"HorizontalResolution": 2560, "VerticalResolution": 1440}]})"); },
       false,
       {"~Display 1: Horizontal Resolution Vertical Resolution"}},
      // A category that cannot be read on one side is reported, not compared.
      {"Bluetooth failing in the new inventory",
       [] { return Laptop(); },
       [] { return Laptop(R"({"Brovik_Bluetooth": {"$error": "0x80041010"}})"); },
       false,
       {"!Bluetooth new"}},
      {"disks failing in the old inventory",
       [] { return Laptop(R"({"Win32_DiskDrive": {"$error": "0x80041001"}})"); },
       [] { return Laptop(); },
       false,
       {"!HDD old"}},
      // Captured trees.
      {"a tree against the snapshot captured from it",
       [] { return Tree("laptop"); },
       [] { return std::make_shared<SnapshotSource>(ReadSnapshotFile(test::TestDataPath("sysroot/laptop.json"))); },
       true,
       {}},
      {"a machine and the same machine as a container host",
       [] { return Tree("vm"); },
       [] { return Tree("vm-containers"); },
       false,
       {}},
      {"one machine against another",
       [] { return Tree("laptop"); },
       [] { return Tree("desktop"); },
       false,
       {"-CPU 1",
        "+CPU 1",
        "-Memory 1",
        "+Memory 2",
        "~Memory 2>1: Capacity",
        "~Display 1: Horizontal Resolution Vertical Resolution Chip Type RAM Size",
        "-HDD 1",
        "+HDD 1",
        "+HDD 2",
        "+HDD 3",
        "-CD,DVD 1",
        "-Modem 1",
        "-Bluetooth 1",
        "-Battery Pack 1",
        "-Docking Station 1",
        "-Network Adapter 1",
        "-Network Adapter 2",
        "+Network Adapter 1",
        "+Network Adapter 2",
        "+Network Adapter 3",
        "+Network Adapter 4",
        "-External Monitor 1",
        "-External Monitor 2",
        "+External Monitor 1",
        "+External Monitor 2",
        "+External Monitor 3"}},
  };
  const test::ProviderScope english(test::ProviderMode::Missing);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Json before = Draw(c.before());
    const Json after = Draw(c.after());
    EXPECT_EQ(Summary(CompareInventories(before, after, c.all)), c.expected);
  }
}

// A detail is a fact of the part; one that moves by itself counts only with --all.
TEST(PartDiff, DetailsAreFactsUnlessTheyMoveByThemselves) {
  const struct {
    const char* before;
    const char* after;
    bool all;
    std::vector<std::string> expected;
  } cases[] = {
      {"{}", kFasterModule, false, {"~Memory 2: Speed"}},
      {kClock800, kClock2100, false, {}},
      {kClock800, kClock2100, true, {"~CPU 1: CurrentClockSpeed"}},
  };
  const test::ProviderScope english(test::ProviderMode::Missing);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    EXPECT_EQ(Summary(CompareInventories(Draw(Laptop(c.before), true), Draw(Laptop(c.after), true), c.all)),
              c.expected);
  }
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
  EXPECT_EQ(Summary(changes), (std::vector<std::string>{"-Battery Pack 1", "+Battery Pack 1"}));
  const Json json = ChangesJson(changes);
  EXPECT_EQ(json["Battery Pack"]["removed"][0]["identity"], Json({{"Serial No", "38109"}}));
  EXPECT_EQ(json["Battery Pack"]["added"][0]["identity"], Json({{"Serial No", "51234"}}));
  EXPECT_EQ(json["Battery Pack"]["added"][0]["facts"]["Capacity"], "47520");
}

TEST(PartDiff, ChangesAsJsonNameEveryCategoryAndBothSidesOfAFact) {
  const test::ProviderScope english(test::ProviderMode::Missing);
  const Json before = Draw(Laptop());
  const Json after =
      Draw(Laptop(R"({"DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}, {"Index": 1, "Size": null}],
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
