// The query frame, through the processor collector: rows, counts, the null rule
// and when the failure box appears.
#include <gtest/gtest.h>

#include "control/BRVPartsCtl.h"
#include "control/ModuleState.h"
#include "inventory/Collectors.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

const Variant E("<Empty>");

struct Case {
  const char* name;
  std::string snapshot;
  int16_t count;
  size_t boxes;
  std::vector<std::vector<Variant>> rows;  // the filled rows; the last row must be empty
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

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
  return test::SnapshotWith(R"("CIM_Processor": [)" + list + "]");
}

std::string Cpu(int n) {
  std::vector<std::string> instances;
  for (int i = 0; i < n; ++i) instances.push_back(CpuJson(i));
  return Cpus(instances);
}

std::vector<Variant> Row(int i) {
  return {int16_t(i + 1), "GenuineIntel", "Core " + std::to_string(i), "v", int32_t{2600}, "CPU" + std::to_string(i)};
}

class Processor : public test::WithControl<::testing::TestWithParam<Case>> {};

TEST_P(Processor, TableCountAndBoxes) {
  const Case& c = GetParam();
  test::UseSnapshot(c.snapshot);
  const ValueTable table = GetCPUInfo();
  EXPECT_EQ(Module().CategoryCount[IndexOf(Category::CPU)], c.count);
  ASSERT_EQ(table.rows(), c.rows.size() + 1);
  ASSERT_EQ(table.cols(), 6u);
  for (size_t r = 0; r < c.rows.size(); ++r) {
    for (size_t col = 0; col < 6; ++col) EXPECT_EQ(table.at(r, col), c.rows[r][col]) << "row " << r << " col " << col;
  }
  for (size_t col = 0; col < 6; ++col) EXPECT_TRUE(table.at(c.rows.size(), col).IsEmpty());
  EXPECT_EQ(boxes.boxes.size(), c.boxes);
  for (const test::Box& b : boxes.boxes) {
    EXPECT_EQ(b, (test::Box{"Failed to create object.", "Parts Information - Error", 0}));
  }
}

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"None", test::SnapshotWith(R"("CIM_Processor": [])"), 0, 0, {}},
      {"One", Cpu(1), 1, 0, {Row(0)}},
      {"Two", Cpu(2), 2, 0, {Row(0), Row(1)}},
      {"NullVersionAndSpeed",
       test::SnapshotWith(R"("CIM_Processor": [{"Manufacturer": "AuthenticAMD", "Name": "Ryzen",
          "MaxClockSpeed": null, "SocketDesignation": "AM4", "Version": null}])"),
       1, 0, {{int16_t{1}, "AuthenticAMD", "Ryzen", E, E, "AM4"}}},
      {"ClassMissing", test::SnapshotWith(R"("Other": [])"), 1, 1, {{int16_t{1}, E, E, E, E, E}}},
      {"Unreachable", R"({"format": "brvparts-snapshot/1", "unreachable": "0x800706BA", "classes": {}})", 1, 1,
       {{int16_t{1}, E, E, E, E, E}}},
      {"ClassRefused", test::SnapshotWith(R"("CIM_Processor": {"$error": "0x80041001"})"), 1, 1,
       {{int16_t{1}, E, E, E, E, E}}},
      {"ReadFailsOnFirstOfThree", Cpus({CpuJson(0, R"("v")", R"({"$error": "0x80041001"})"), CpuJson(1), CpuJson(2)}),
       3, 1, {{int16_t{1}, E, "Core 0", "v", int32_t{2600}, "CPU0"}, Row(1), Row(2)}},
      {"ReadFailsOnFirstTwo", Cpus({CpuJson(0, ""), CpuJson(1, ""), CpuJson(2)}), 3, 2,
       {{int16_t{1}, "GenuineIntel", "Core 0", E, int32_t{2600}, "CPU0"},
        {int16_t{2}, "GenuineIntel", "Core 1", E, int32_t{2600}, "CPU1"}, Row(2)}},
      {"ReadFailsOnLast", Cpus({CpuJson(0), CpuJson(1, R"(["a"])")}), 2, 0,
       {Row(0), {int16_t{2}, "GenuineIntel", "Core 1", "", int32_t{2600}, "CPU1"}}},
      {"FetchFailsMidway", Cpus({CpuJson(0), R"({"$error": "0x80041001"})", CpuJson(2)}), 1, 0, {Row(0)}},
      {"FetchFailsFirst", test::SnapshotWith(R"("CIM_Processor": [{"$error": "0x80041001"}])"), 1, 1,
       {{int16_t{1}, E, E, E, E, E}}},
  };
  // Every instance gets its row, however many there are.
  for (int n : {7, 8, 40}) {
    Case c{n == 7 ? "Seven" : n == 8 ? "Eight" : "Forty", Cpu(n), static_cast<int16_t>(n), 0, {}};
    for (int i = 0; i < n; ++i) c.rows.push_back(Row(i));
    cases.push_back(c);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Frame, Processor, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ProcessorFrame, EveryRunStartsAndEndsWithNoPendingError) {
  test::ResetModule();
  test::ProviderScope provider(test::ProviderMode::Missing);
  test::BoxRecorder boxes;
  BRVPartsCtl control;
  test::UseSnapshot(test::SnapshotWith(R"("CIM_Processor": [{"Name": "x"}, {"Name": "y"}])"));
  GetCPUInfo();  // the last pass's failed reads are never shown...
  EXPECT_TRUE(boxes.boxes.size() == 1u);
  GetCPUInfo();  // ...and do not leak into the next run
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

}  // namespace
}  // namespace brv
