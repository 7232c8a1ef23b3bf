// Every collector on snapshot fixtures: the rows it returns, the count it keeps,
// and the failure boxes it shows. The shared query frame (the null rule, failed
// reads and fetches, when the box appears) through the processor collector.
#include <gtest/gtest.h>

#include "common/Trap.h"
#include "control/BRVPartsCtl.h"
#include "inventory/Collectors.h"
#include "module/ModuleState.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

const Variant E("<Empty>");
const Variant None;  // an empty cell

struct Case {
  const char* name;
  ValueTable (*collect)();
  std::optional<Category> counted;  // the category whose count the collector keeps
  std::string classes;              // the snapshot's "classes" body ("!" + document for a whole one)
  int16_t count;
  size_t boxes;
  std::vector<std::vector<Variant>> rows;  // every row but the empty last one
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Collector : public test::WithControl<::testing::TestWithParam<Case>> {};

TEST_P(Collector, RowsCountAndBoxes) {
  const Case& c = GetParam();
  test::UseSnapshot(c.classes[0] == '!' ? c.classes.substr(1) : test::SnapshotWith(c.classes));
  Module().CategoryCount.fill(-1);
  const ValueTable table = c.collect();
  if (c.counted) {
    EXPECT_EQ(Module().CategoryCount[IndexOf(*c.counted)], c.count);
  }
  std::vector<std::vector<Variant>> rows(table.rows(), std::vector<Variant>(table.cols()));
  for (size_t r = 0; r < table.rows(); ++r) {
    for (size_t col = 0; col < table.cols(); ++col) rows[r][col] = table.at(r, col);
  }
  std::vector<std::vector<Variant>> expected = c.rows;
  expected.emplace_back(table.cols());  // the empty last row
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(boxes.boxes, std::vector<test::Box>(c.boxes, {"Failed to create object.", "Parts Information - Error", 0}));
}

const char* kUnreachable = R"(!{"format": "brvparts-snapshot/1", "unreachable": "0x800706BA", "classes": {}})";

std::string Adapter(const std::string& index, const std::string& mac, const std::string& maker,
                    const std::string& name) {
  return R"({"Index": )" + index + R"(, "MACAddress": )" + mac + R"(, "Manufacturer": )" + maker +
         R"(, "AdapterType": "Ethernet 802.3", "Description": "NIC", "Name": ")" + name + R"("})";
}

// A display with no panel and a video adapter of the given memory size, shown
// in whole mebibytes.
Case VideoRam(const char* name, const std::string& ram, size_t boxes, int32_t mebibytes) {
  return {name,
          GetDisplayInfo,
          std::nullopt,
          R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [{"AdapterChipType": "C", "AdapterRAM": )" + ram + "}]",
          0,
          boxes,
          {{int16_t{1}, E, E, "C", mebibytes}}};
}

std::vector<Variant> Kept(int16_t n, const char* mac, Variant maker, const char* name, Variant ip) {
  return {n, "Ethernet 802.3", "NIC", std::move(ip), mac, std::move(maker), name};
}

// Processor i as Row(i) shows it, unless its Version ("" for none) or
// Manufacturer member is given.
std::string CpuJson(int i, const std::string& version = R"("v")", const std::string& maker = R"("GenuineIntel")") {
  const std::string n = std::to_string(i);
  return R"({"Manufacturer": )" + maker + R"(, "Name": "Core )" + n +
         R"(", "MaxClockSpeed": 2600, "SocketDesignation": "CPU)" + n + "\"" +
         (version.empty() ? "" : R"(, "Version": )" + version) + "}";
}

std::string Cpus(const std::vector<std::string>& instances) {
  std::string list;
  for (const std::string& i : instances) list += (list.empty() ? "" : ",") + i;
  return R"("CIM_Processor": [)" + list + "]";
}

// n processors, each as Row(i) shows it.
std::string Cpu(int n) {
  std::vector<std::string> instances;
  for (int i = 0; i < n; ++i) instances.push_back(CpuJson(i));
  return Cpus(instances);
}

std::vector<Variant> Row(int i) {
  return {int16_t(i + 1), "GenuineIntel", "Core " + std::to_string(i), "v", int32_t{2600}, "CPU" + std::to_string(i)};
}

std::vector<Case> Cases() {
  const std::vector<Variant> skipped = {None, None, None, None, None, None, ""};
  const std::vector<Variant> noCpu = {int16_t{1}, E, E, E, E, E};
  return {
      // The shared frame: empty, missing, unreachable and refused classes,
      // failed reads (a box for each pending before the next instance) and
      // failed fetches (the enumeration ends) and nulls; the instance limit is the
      // control's test (tests/control).
      {"CpuNone", GetCPUInfo, Category::CPU, R"("CIM_Processor": [])", 0, 0, {}},
      {"CpuTwo", GetCPUInfo, Category::CPU, Cpu(2), 2, 0, {Row(0), Row(1)}},
      {"CpuNullVersionAndSpeed",
       GetCPUInfo,
       Category::CPU,
       R"("CIM_Processor": [{"Manufacturer": "AuthenticAMD", "Name": "Ryzen", "MaxClockSpeed": null,
          "SocketDesignation": "AM4", "Version": null}])",
       1,
       0,
       {{int16_t{1}, "AuthenticAMD", "Ryzen", E, E, "AM4"}}},
      {"CpuClassMissing", GetCPUInfo, Category::CPU, R"("Other": [])", 1, 1, {noCpu}},
      {"CpuUnreachable", GetCPUInfo, Category::CPU, kUnreachable, 1, 1, {noCpu}},
      {"CpuClassRefused", GetCPUInfo, Category::CPU, R"("CIM_Processor": {"$error": "0x80041001"})", 1, 1, {noCpu}},
      {"CpuReadFailsOnFirstOfThree",
       GetCPUInfo,
       Category::CPU,
       Cpus({CpuJson(0, R"("v")", R"({"$error": "0x80041001"})"), CpuJson(1), CpuJson(2)}),
       3,
       1,
       {{int16_t{1}, E, "Core 0", "v", int32_t{2600}, "CPU0"}, Row(1), Row(2)}},
      {"CpuReadFailsOnFirstTwo",
       GetCPUInfo,
       Category::CPU,
       Cpus({CpuJson(0, ""), CpuJson(1, ""), CpuJson(2)}),
       3,
       2,
       {{int16_t{1}, "GenuineIntel", "Core 0", E, int32_t{2600}, "CPU0"},
        {int16_t{2}, "GenuineIntel", "Core 1", E, int32_t{2600}, "CPU1"},
        Row(2)}},
      {"CpuReadFailsOnLast",
       GetCPUInfo,
       Category::CPU,
       Cpus({CpuJson(0), CpuJson(1, R"(["a"])")}),
       2,
       0,
       {Row(0), {int16_t{2}, "GenuineIntel", "Core 1", "", int32_t{2600}, "CPU1"}}},
      {"CpuFetchFailsMidway",
       GetCPUInfo,
       Category::CPU,
       Cpus({CpuJson(0), R"({"$error": "0x80041001"})", CpuJson(2)}),
       1,
       0,
       {Row(0)}},
      {"CpuFetchFailsFirst",
       GetCPUInfo,
       Category::CPU,
       R"("CIM_Processor": [{"$error": "0x80041001"}])",
       1,
       1,
       {noCpu}},

      // The collectors that only name their class and columns through the
      // same frame: one case each checks the columns.
      {"MemoryTwo",
       GetMemoryInfo,
       Category::Memory,
       R"("DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}, {"Index": 1, "Size": null}])",
       2,
       0,
       {{int16_t{1}, int32_t{0}, "8589934592"}, {int16_t{2}, int32_t{1}, E}}},
      {"OpticalNullModel",
       GetCDDVDInfo,
       Category::CDDVD,
       R"("Brovik_CDROMDrive": [{"DeviceID": null, "SerialNO": "K1", "FirmwareRevision": 102}])",
       1,
       0,
       {{int16_t{1}, E, "K1", "102"}}},
      {"Modem",
       GetModemInfo,
       Category::Modem,
       R"("Win32_POTSModem": [{"AttachedTo": null, "Caption": "C", "Description": "D", "DeviceID": "I", "DeviceType": "T"}])",
       1,
       0,
       {{int16_t{1}, E, "C", "D", "I", "T"}}},
      {"Bluetooth",
       GetBluetoothInfo,
       Category::Bluetooth,
       R"("Brovik_Bluetooth": [{"Description": "D", "MACAddress": null, "Manufacturer": "M", "Name": "hci0"}])",
       1,
       0,
       {{int16_t{1}, "D", E, "M", "hci0"}}},
      {"Battery",
       GetBatteryInfo,
       Category::BatteryPack,
       R"("DMTF_PortableBattery": [{"PortableBatterySerialNumber": null, "PortableBatteryDesignCapacity": 4400}])",
       1,
       0,
       {{int16_t{1}, E, "4400"}}},
      {"DockingNumericStatus",
       GetDockingInfo,
       Category::DockingStation,
       R"("Brovik_DockingStation": [{"SerialNO": "S", "status": 3}, {"SerialNO": null, "status": null}])",
       2,
       0,
       {{int16_t{1}, "S", "3"}, {int16_t{2}, E, E}}},
      {"MonitorsInOrder",
       GetExternalMonitorInfo,
       Category::ExternalMonitor,
       R"("Brovik_ExternalMonitor": [{"Manufacturer": "A", "Model": null, "SerialNO": 1234}, {"Manufacturer": "B", "Model": "M", "SerialNO": "S"}])",
       2,
       0,
       {{int16_t{1}, "A", E, "1234"}, {int16_t{2}, "B", "M", "S"}}},

      // The display: one row from two classes.
      {"Display",
       GetDisplayInfo,
       std::nullopt,
       R"("Brovik_LCDPanel": [{"HorizontalResolution": 1024, "VerticalResolution": 768}, {"HorizontalResolution": 1, "VerticalResolution": 1}],
          "Win32_VideoConfiguration": [{"AdapterChipType": "Chip", "AdapterRAM": 16777216}])",
       0,
       0,
       {{int16_t{1}, int32_t{1024}, int32_t{768}, "Chip", int32_t{16}}}},
      VideoRam("DisplayRoundsHalfToEven", "3670016", 0, 4),
      VideoRam("DisplayRoundsDown", "2621440", 0, 2),
      VideoRam("DisplayJustUnderOneMebibyte", "1048575", 0, 1),
      VideoRam("DisplayEightyGibibytes", "85899345920", 0, 81920),
      VideoRam("DisplayRamNotANumber", R"("lots")", 1, 0),
      {"DisplayBothEmpty",
       GetDisplayInfo,
       std::nullopt,
       R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [])",
       0,
       0,
       {{"", "", "", "", ""}}},
      {"DisplayPanelClassMissing",
       GetDisplayInfo,
       std::nullopt,
       R"("Win32_VideoConfiguration": [{"AdapterChipType": "C", "AdapterRAM": null}])",
       0,
       1,
       {{int16_t{1}, E, E, "C", E}}},
      {"DisplayUnreachable", GetDisplayInfo, std::nullopt, kUnreachable, 0, 2, {{int16_t{1}, E, E, E, E}}},

      // The hard disk join.
      {"DiskOneEach",
       GetHDDInfo,
       Category::HDD,
       R"("Win32_DiskDrive": [{"Model": "M", "Size": 512110190592}],
          "Brovik_DiskDrive": [{"SerialNO": "S", "FirmwareRevision": "F"}])",
       1,
       0,
       {{int16_t{1}, "M", int64_t{512110190592}, "S", "F"}}},
      {"DiskTwoDisksOneRecord",
       GetHDDInfo,
       Category::HDD,
       R"("Win32_DiskDrive": [{"Model": "A", "Size": 1}, {"Model": "B", "Size": 2}],
          "Brovik_DiskDrive": [{"SerialNO": "S", "FirmwareRevision": "F"}])",
       2,
       0,
       {{int16_t{1}, "A", int32_t{1}, "S", "F"}, {int16_t{2}, "B", int32_t{2}, None, ""}}},
      {"DiskOneDiskTwoRecords",
       GetHDDInfo,
       Category::HDD,
       R"("Win32_DiskDrive": [{"Model": "A", "Size": 1}],
          "Brovik_DiskDrive": [{"SerialNO": "S", "FirmwareRevision": "F"}, {"SerialNO": "T", "FirmwareRevision": "G"}])",
       1,
       0,
       {{int16_t{1}, "A", int32_t{1}, "S", "F"}}},
      {"DiskMakerGenericFailureShowsNoBox",
       GetHDDInfo,
       Category::HDD,
       R"("Win32_DiskDrive": [{"Model": "A", "Size": 1}], "Brovik_DiskDrive": {"$error": "0x80041001"})",
       1,
       0,
       {{int16_t{1}, "A", int32_t{1}, E, E}}},
      {"DiskMakerClassMissingShowsBox",
       GetHDDInfo,
       Category::HDD,
       R"("Win32_DiskDrive": [{"Model": "A", "Size": 1}])",
       1,
       1,
       {{int16_t{1}, "A", int32_t{1}, E, E}}},
      {"DiskNone", GetHDDInfo, Category::HDD, R"("Win32_DiskDrive": [], "Brovik_DiskDrive": [])", 0, 0, {}},
      {"DiskUnreachable", GetHDDInfo, Category::HDD, kUnreachable, 1, 2, {{int16_t{1}, E, E, E, E}}},

      // The network filters, the split counters and the address lookup.
      {"NetworkFilters",
       GetNetworkInfo,
       Category::NetworkAdapter,
       R"("Win32_NetworkAdapter": [)" + Adapter("1", R"("00:00:00:00:00:01")", R"("Microsoft")", "a") + "," +
           Adapter("2", R"("00:00:00:00:00:02")", R"("Intel")", "b") + "," + Adapter("3", "null", R"("Intel")", "c") +
           "," + Adapter("4", R"("00:00:00:00:00:04")", R"("MICROSOFT Corp.")", "d") + "," +
           Adapter("5", R"("00:00:00:00:00:05")", R"("The microsoft")", "e") + "," +
           Adapter("6", R"("00:00:00:00:00:06")", "null", "f") + "," +
           Adapter("7", R"("00:00:00:00:00:07")", R"("Micro soft")", "g") + R"(],
          "Win32_NetworkAdapterConfiguration": [{"Index": 2, "IPAddress": ["10.0.0.2", "10.0.0.3"]},
            {"Index": 6, "IPAddress": null}, {"Index": 7, "IPAddress": []}])",
       3,
       0,
       {Kept(1, "00:00:00:00:00:02", "Intel", "b", "10.0.0.2"), Kept(2, "00:00:00:00:00:06", E, "f", E),
        Kept(3, "00:00:00:00:00:07", "Micro soft", "g", ""), skipped, skipped, skipped, skipped}},
      {"NetworkLargeAndZeroIndexes",
       GetNetworkInfo,
       Category::NetworkAdapter,
       R"("Win32_NetworkAdapter": [)" + Adapter("0", R"("00:00:00:00:00:01")", "null", "z") + "," +
           Adapter("40000", R"("00:00:00:00:00:02")", "null", "big") + R"(],
          "Win32_NetworkAdapterConfiguration": [{"Index": 0, "IPAddress": ["10.0.0.1"]}, {"Index": 40000, "IPAddress": ["fe80::1"]}])",
       2,
       0,
       {Kept(1, "00:00:00:00:00:01", E, "z", "10.0.0.1"), Kept(2, "00:00:00:00:00:02", E, "big", "fe80::1")}},
      {"NetworkConfigurationMissing",
       GetNetworkInfo,
       Category::NetworkAdapter,
       R"("Win32_NetworkAdapter": [)" + Adapter("9", R"("00:00:00:00:00:09")", R"("Intel")", "n") + R"(],
          "Win32_NetworkAdapterConfiguration": [])",
       1,
       1,
       {Kept(1, "00:00:00:00:00:09", "Intel", "n", E)}},
      {"NetworkUnreachable", GetNetworkInfo, Category::NetworkAdapter, kUnreachable, 0, 1, {skipped}},
      {"NetworkNone", GetNetworkInfo, Category::NetworkAdapter, R"("Win32_NetworkAdapter": [])", 0, 0, {}},
  };
}

INSTANTIATE_TEST_SUITE_P(Snapshots, Collector, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

// A failed read pending before a run is not shown by it, and the last pass's
// failed reads are never shown and not left pending after it.
TEST(ProcessorFrame, EveryRunStartsAndEndsWithNoPendingError) {
  test::ResetModule();
  test::ProviderScope provider(test::ProviderMode::Missing);
  test::BoxRecorder boxes;
  BRVPartsCtl control;
  test::UseSnapshot(test::SnapshotWith(R"("CIM_Processor": [{"Name": "x"}, {"Name": "y"}])"));
  for (int run = 0; run < 2; ++run) {
    ThreadError().Set(err::kWbemInvalidClass, "left by a call before");
    GetCPUInfo();
    EXPECT_EQ(boxes.boxes.size(), run + 1u) << "one box, for the first instance's failed reads";
    EXPECT_FALSE(ThreadError().pending()) << run;
  }
}

// The failure box speaks one language, and nothing the provider raises while
// wording it leaves the collector.
TEST(FailureBox, OneLanguageAndNoErrorPassesOn) {
  // Answers message N with "#N" from the catalogue `language`, except
  // `englishGap` (filled from English) and `failing` (raises 5).
  struct BoxProvider : AutomationObject {
    int32_t englishGap = 0, failing = 0;
    bool tellsLanguage = true;
    Variant Call(std::string_view method, std::vector<Variant>& args) override {
      const int32_t n = ToInt32(args.at(0));
      if (n == failing) Raise(err::kInvalidCall, "no message numbered " + std::to_string(n));
      if (method == "GetResourceString") return n == englishGap ? "en#" + std::to_string(n) : "#" + std::to_string(n);
      if (method == "GetResourceLanguage" && tellsLanguage) return n == englishGap ? "en" : "de";
      Raise(err::kNoSuchMember, std::string(method));
    }
  };
  const struct {
    const char* name;
    int32_t englishGap, failing;
    bool tellsLanguage;
    test::Box box;
  } cases[] = {
      {"both localized", 0, 0, true, {"#102", "#103", 0}},
      {"a provider that cannot tell languages", 0, 0, false, {"#102", "#103", 0}},
      {"title from the English gap", 103, 0, true, {"Failed to create object.", "Parts Information - Error", 0}},
      {"prompt from the English gap", 102, 0, true, {"Failed to create object.", "Parts Information - Error", 0}},
      {"the title's lookup fails", 0, 103, true, {"Failed to create object.", "Parts Information - Error", 0}},
      {"the prompt's lookup fails", 0, 102, false, {"Failed to create object.", "Parts Information - Error", 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ResetModule();
    test::ProviderScope provider(test::ProviderMode::Missing);
    BRVPartsCtl control;
    RegisterClass(kResourcesProgId, [&c] {
      auto p = std::make_shared<BoxProvider>();
      p->englishGap = c.englishGap;
      p->failing = c.failing;
      p->tellsLanguage = c.tellsLanguage;
      return p;
    });
    test::BoxRecorder boxes;
    test::UseSnapshot(test::SnapshotWith(R"("Win32_POTSModem": {"$error": "0x80041010"})"));
    EXPECT_NO_THROW(GetModemInfo());
    EXPECT_EQ(boxes.boxes, std::vector<test::Box>{c.box});
  }
}

}  // namespace
}  // namespace brv
