// The instrumentation service over a class source: monikers, queries and object
// paths as a script spells them.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "common/Error.h"
#include "instrumentation/Moniker.h"
#include "instrumentation/SourceService.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

class SourceService : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseSnapshot(test::SnapshotWith(R"(
      "Win32_NetworkAdapterConfiguration": [{"Index": 0, "IPAddress": ["10.0.0.2"]}, {"Index": 7, "IPAddress": null}],
      "Custom": [{"Tag": "a b", "V": 1}])"));
  }
};

TEST_F(SourceService, ObjectPathsMonikersAndQueries) {
  test::ExpectAnswers("expected/source-service.txt", [](const std::string& line) {
    const size_t bar = line.find(" | ");
    const int32_t error = test::ErrorNumberOf([&] {
      if (bar == std::string::npos) {
        wmi::BindSourceObject(line);
      } else {
        wmi::BindSourceServices(line.substr(0, bar))->ExecQuery(line.substr(bar + 3))->Enumerate()->Next();
      }
    });
    return fmt::format("{:#x}", static_cast<uint32_t>(error));
  });
  auto o = wmi::BindSourceObject("winmgmts://./root/cimv2:Win32_NetworkAdapterConfiguration='0'");
  EXPECT_EQ(o->Get("IPAddress"), Variant(Variant::Array{"10.0.0.2"}));
  EXPECT_EQ(test::ErrorNumberOf([&] { o->Get("Nope"); }), err::kWbemNotFound);
}

// Each of 20,000 adapters looking up its configuration: through an index, the
// same answers as sifting the class in order (the first of equal keys, a key
// spelled otherwise not found, a failed instance failing the look-up), in
// linear time. Sifting took minutes under the sanitizers.
TEST(SourceServiceIndex, ObjectPathsOfManyInstances) {
  std::string configurations = R"({"Index": 5, "IPAddress": ["first"]})";
  for (int i = 0; i < 20000; ++i) configurations += R"(, {"Index": )" + std::to_string(i) + R"(, "IPAddress": null})";
  test::UseSnapshot(test::SnapshotWith(R"("Win32_NetworkAdapterConfiguration": [)" + configurations + R"(],
      "Failing": [{"K": 1}, {"K": 2}, {"K": 3}, {"K": 4}, {"K": 5}, {"K": 6}, {"K": 7}, {"K": 8}, {"K": 9},
                  {"K": 10}, {"K": 11}, {"K": 12}, {"K": 13}, {"K": 14}, {"K": 15}, {"K": 16},
                  {"$error": "0x80041001"}, {"K": 18}])"));
  const long start = test::CpuMs();
  for (int i = 0; i < 20000; ++i) {
    auto o = wmi::BindSourceObject("winmgmts://./root/cimv2:Win32_NetworkAdapterConfiguration=" + std::to_string(i));
    ASSERT_EQ(o->Get("Index"), Variant(i));
  }
  EXPECT_LT(test::CpuMs() - start, 10000);
  const auto path = [](const std::string& p) { return "winmgmts://./root/cimv2:" + p; };
  EXPECT_EQ(wmi::BindSourceObject(path("Win32_NetworkAdapterConfiguration=5"))->Get("IPAddress"),
            Variant(Variant::Array{"first"}));
  EXPECT_EQ(test::ErrorNumberOf([&] { wmi::BindSourceObject(path("Win32_NetworkAdapterConfiguration='05'")); }),
            err::kWbemNotFound);
  EXPECT_EQ(test::ErrorNumberOf([&] { wmi::BindSourceObject(path("Failing.K=3")); }), 0);
  EXPECT_EQ(test::ErrorNumberOf([&] { wmi::BindSourceObject(path("Failing.K=18")); }),
            static_cast<int32_t>(0x80041001));
}

}  // namespace
}  // namespace brv
