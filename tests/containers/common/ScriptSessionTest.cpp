// The control driven by name, as a script or the page drives it: the view, the
// instance numbers as JSON gives them, requests that are not calls, and the
// selection a session reports.
#include <optional>

#include <gtest/gtest.h>

#include "containers/common/ScriptSession.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

using json = nlohmann::ordered_json;

const char* kTwoCpus = R"("CIM_Processor": [
  {"Manufacturer": "GenuineIntel", "Name": "Xeon A", "MaxClockSpeed": 2600, "SocketDesignation": "CPU1", "Version": "A0"},
  {"Manufacturer": "GenuineIntel", "Name": "Xeon B", "MaxClockSpeed": 3100, "SocketDesignation": "CPU2", "Version": "B1"}])";

class View : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetModule();
    test::UseSnapshot(test::SnapshotWith(kTwoCpus));
    session = std::make_unique<ScriptSession>();
  }
  json Select(const json& name, const json& index) {
    return session->Handle(json{{"method", "SetSelectItem"}, {"args", {name, index}}}.dump());
  }
  static std::vector<std::string> Values(const json& answer) {
    std::vector<std::string> out;
    for (const auto& row : answer["grid"]["text"]) out.push_back(row[1]);
    return out;
  }
  test::ProviderScope provider{test::ProviderMode::Missing};
  std::unique_ptr<ScriptSession> session;
};

// The whole grid an answer carries is compared in ProgramTest's transcript.
TEST_F(View, InstanceNumbers) {
  const struct {
    json index;
    json result;
    std::string name;  // the Name row, "" for the empty last row
    int error;         // 0 when the call succeeds
  } cases[] = {
      {2, 2, "Xeon B", 0},
      {"2", 2, "Xeon B", 0},
      {" 2 ", 2, "Xeon B", 0},
      {1.5, 2, "Xeon A", 0},  // 0.5 rounds half to even: the first instance
      {3, 2, "", 0},          // one past the count: the empty last row
      {0, nullptr, "", 9},
      {4, nullptr, "", 9},
      {"two", nullptr, "", 13},
      {nullptr, nullptr, "", 94},
      {true, nullptr, "", 9},  // True - 1 is -2
      {70000, nullptr, "", 6},
      {json::array({1}), nullptr, "", 13},
      // The largest unsigned numbers are too large, not -1 and friends.
      {18446744073709551615u, nullptr, "", 6},
      {18446744073709551614u, nullptr, "", 6},
  };
  for (const auto& c : cases) {
    const json a = Select("CPU", c.index);
    SCOPED_TRACE(c.index.dump());
    EXPECT_EQ(a["result"], c.result);
    if (c.error) {
      ASSERT_FALSE(a["error"].is_null());
      EXPECT_EQ(a["error"]["number"], c.error);
    } else {
      EXPECT_TRUE(a["error"].is_null());
      EXPECT_EQ(Values(a)[3], c.name);
    }
  }
}

TEST_F(View, NamesAreExactAndAnUnknownNameRedrawsWithoutQuerying) {
  // Nothing shown yet: an unknown name has no table to redraw.
  json a = Select("cpu", 1);
  EXPECT_EQ(a["error"]["number"], 9);
  EXPECT_EQ(a["grid"]["rows"], 11);
  EXPECT_EQ(test::QueriesAnswered(), 0);

  Select("CPU", 1);
  const int queries = test::QueriesAnswered();
  a = Select("cpu", 2);
  EXPECT_EQ(a["result"], 0);
  EXPECT_TRUE(a["error"].is_null());
  EXPECT_EQ(Values(a)[3], "Xeon B");
  EXPECT_EQ(test::QueriesAnswered(), queries);
}

// Requests that are no call, malformed or hostile: each answered with its
// error and a short escaped reason, the grid as it was, and the session goes on.
TEST_F(View, BadRequestsGetTheirErrorAndAShortEscapedReason) {
  const std::string select = R"({"method": "SetSelectItem", "args": ["CPU", 1]})";
  const std::string safety = R"({"method": "GetInterfaceSafetyOptions", "args": [null, )";
  const std::string setSafety = R"({"method": "SetInterfaceSafetyOptions", "args": [null, )";
  // Requests go through the bounded JSON reader (its refusals are JsonInputTest's).
  const struct {
    std::string request;
    int error;           // 0 when the call succeeds
    std::string reason;  // a part of the error's description
  } cases[] = {
      {"not json", 5, "not valid JSON"},
      {"[1,2]", 5, ""},
      {R"({"args": []})", 5, ""},
      {R"({"method": "Explode", "args": []})", 438, "unknown method"},
      {R"({"method": "SetSelectItem", "args": ["CPU"]})", 5, ""},
      {R"({"method": "SetSelectItem", "args": [7, 1]})", 13, ""},
      {R"({"method": "SetSelectItem", "args": ["CPU", {"a": 1}]})", 13, ""},
      {R"({"method": "SetSelectItem", "args": "CPU"})", 5, ""},
      {R"({"method": "GetInterfaceSafetyOptions", "args": ["{bad}", 0]})", 5, ""},
      {R"({"method": "SetSelectItem", "args": [)" + std::string(32700, '[') + std::string(32700, ']') + "]}", 5,
       "column 100: arrays and objects nested deeper than 64 levels"},
      {R"({"method": "SetSelectItem", "method": "Nope", "args": ["CPU", 1]})", 5, "method: given twice"},
      // The line bound, taken by the web page's body too.
      {select + std::string(kMaxRequestBytes - select.size(), ' '), 0, ""},
      {select + std::string(kMaxRequestBytes - select.size() + 1, ' '), 5, "longer than 65536 bytes"},
      {"[\"" + std::string(60000, 'x'), 5, "not valid JSON"},
      {R"({"method": "\u001b]0;retitled\u0007\n)" + std::string(60000, 'm') + "\"}", 438,
       R"(unknown method "\x1B]0;retitled\x07\nmmm)"},
      // Option sets: 32 bits signed or unsigned, never wrapped into range.
      {safety + "4294967295]}", 0, ""},
      {safety + "-2147483648]}", 0, ""},
      {safety + "4294967296]}", 13, "ENABLED must be a 32-bit whole number"},
      {safety + "18446744073709551615]}", 13, "ENABLED must be a 32-bit whole number"},
      {setSafety + "18446744073709551615, 0]}", 13, "MASK must be a 32-bit whole number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 80));
    const json a = session->Handle(c.request);
    EXPECT_EQ(a["grid"]["rows"], 11);
    if (!c.error) {
      EXPECT_TRUE(a["error"].is_null()) << a["error"].dump();
      continue;
    }
    if (a["error"].is_null()) {
      ADD_FAILURE() << "answered " << a["result"].dump();
      continue;
    }
    EXPECT_TRUE(a["result"].is_null());
    EXPECT_EQ(a["error"]["number"], c.error);
    const std::string reason = a["error"]["description"];
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_LT(reason.size(), 300u) << reason;
    for (const char ch : reason) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << reason;
  }
  EXPECT_TRUE(session->failed());
  EXPECT_EQ(Select("CPU", 1)["result"], 2);
}

TEST_F(View, FailureBoxesAreReportedWithTheCall) {
  test::UseSnapshot(test::SnapshotWith(R"("Other": [])"));
  const json a = Select("CPU", 1);
  EXPECT_EQ(a["result"], 1);
  EXPECT_EQ(a["messages"],
            json::parse(R"([{"prompt": "Failed to create object.", "title": "Parts Information - Error"}])"));
  EXPECT_EQ(Values(a)[2], "<Empty>");
}

TEST_F(View, ReportsTheLastSelectionThatSucceeded) {
  EXPECT_FALSE(session->selection());
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
    Select(c.name, c.index);
    ASSERT_EQ(session->selection().has_value(), c.after.has_value()) << what;
    if (!c.after) continue;
    EXPECT_EQ(session->selection()->category, c.after->category) << what;
    EXPECT_EQ(session->selection()->index, c.after->index) << what;
    EXPECT_EQ(session->selection()->count, c.after->count) << what;
  }
}

}  // namespace
}  // namespace brv
