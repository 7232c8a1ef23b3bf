// Every collector on snapshot fixtures: the rows it returns, the count it keeps
// and the failure boxes it shows, compared whole with the transcript
// tests/data/expected/collectors.txt. The shared query frame (the null rule,
// failed reads and fetches, when the box appears) through the processor collector.
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/Trap.h"
#include "control/BRVPartsCtl.h"
#include "inventory/Collectors.h"
#include "module/ModuleState.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// Each "$ COLLECTOR CLASSES" line of tests/data/expected/collectors.txt: the
// count the collector keeps, the boxes it shows and its rows.
TEST(Collectors, RowsCountAndBoxesOnSnapshots) {
  const std::map<std::string, std::pair<ValueTable (*)(), std::optional<Category>>> collectors = {
      {"GetCPUInfo", {GetCPUInfo, Category::CPU}},
      {"GetMemoryInfo", {GetMemoryInfo, Category::Memory}},
      {"GetDisplayInfo", {GetDisplayInfo, std::nullopt}},
      {"GetHDDInfo", {GetHDDInfo, Category::HDD}},
      {"GetCDDVDInfo", {GetCDDVDInfo, Category::CDDVD}},
      {"GetModemInfo", {GetModemInfo, Category::Modem}},
      {"GetBluetoothInfo", {GetBluetoothInfo, Category::Bluetooth}},
      {"GetBatteryInfo", {GetBatteryInfo, Category::BatteryPack}},
      {"GetDockingInfo", {GetDockingInfo, Category::DockingStation}},
      {"GetNetworkInfo", {GetNetworkInfo, Category::NetworkAdapter}},
      {"GetExternalMonitorInfo", {GetExternalMonitorInfo, Category::ExternalMonitor}}};
  test::ExpectAnswers("expected/collectors.txt", [&](const std::string& line) {
    const size_t space = line.find(' ');
    const auto [collect, counted] = collectors.at(line.substr(0, space));
    const std::string classes = line.substr(space + 1);
    test::ResetModule();
    const test::ProviderScope provider(test::ProviderMode::Missing);
    test::BoxRecorder boxes;
    const BRVPartsCtl control;
    test::UseSnapshot(classes.starts_with("{") ? classes : test::SnapshotWith(classes));
    Module().CategoryCount.fill(-1);
    const ValueTable table = collect();
    std::ostringstream out;
    out << "count " << (counted ? Module().CategoryCount[IndexOf(*counted)] : -1) << "\n";
    for (const test::Box& box : boxes.boxes)
      out << "box " << box.style << " " << box.title << ": " << box.prompt << "\n";
    for (size_t r = 0; r < table.rows(); ++r) {
      for (size_t col = 0; col < table.cols(); ++col) {
        const Variant& v = table.at(r, col);
        out << (col ? " | " : "") << KindName(v.kind());
        if (!v.IsNull() && !v.IsEmpty()) out << " " << (v.IsText() ? nlohmann::json(TextOf(v)).dump() : TextOf(v));
      }
      out << "\n";
    }
    return out.str();
  });
}

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
  // Message N is "#N" from the catalogue "de", except `englishGap` (filled from
  // English) and `failing` (raises 5).
  struct Case {
    const char* name;
    int32_t englishGap, failing;
    bool tellsLanguage, localized;
  };
  struct BoxProvider : AutomationObject, Case {
    Variant Call(std::string_view method, std::vector<Variant>& args) override {
      const int32_t n = ToInt32(args.at(0));
      if (n == failing) Raise(err::kInvalidCall, "no message numbered " + std::to_string(n));
      if (method == "GetResourceString") return n == englishGap ? "en#" + std::to_string(n) : "#" + std::to_string(n);
      if (method == "GetResourceLanguage" && tellsLanguage) return n == englishGap ? "en" : "de";
      Raise(err::kNoSuchMember, std::string(method));
    }
  };
  for (const Case& c : std::initializer_list<Case>{{"both localized", 0, 0, true, true},
                                                   {"a provider that cannot tell languages", 0, 0, false, true},
                                                   {"title from the English gap", 103, 0, true, false},
                                                   {"prompt from the English gap", 102, 0, true, false},
                                                   {"the title's lookup fails", 0, 103, true, false},
                                                   {"the prompt's lookup fails", 0, 102, false, false}}) {
    SCOPED_TRACE(c.name);
    test::ResetModule();
    test::ProviderScope provider(test::ProviderMode::Missing);
    BRVPartsCtl control;
    RegisterClass(kResourcesProgId, [&c] {
      auto p = std::make_shared<BoxProvider>();
      static_cast<Case&>(*p) = c;
      return p;
    });
    test::BoxRecorder boxes;
    test::UseSnapshot(test::SnapshotWith(R"("Win32_POTSModem": {"$error": "0x80041010"})"));
    EXPECT_NO_THROW(GetModemInfo());
    const test::Box english{"Failed to create object.", "Parts Information - Error", 0}, localized{"#102", "#103", 0};
    EXPECT_EQ(boxes.boxes, std::vector<test::Box>{c.localized ? localized : english});
  }
}

}  // namespace
}  // namespace brv
