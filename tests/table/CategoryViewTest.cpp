// The view and SetSelectItem, driven by name the way a script does.
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

TEST_F(View, ShowsTheCategoryPaddedShadedWithTheCursorOnTheFirstRow) {
  const json a = Select("CPU", 1);
  EXPECT_EQ(a["result"], 2);
  EXPECT_TRUE(a["error"].is_null());
  EXPECT_TRUE(a["messages"].empty());
  const json& g = a["grid"];
  EXPECT_EQ(g["rows"], 11);
  EXPECT_EQ(g["text"], json::parse(R"([["Item","Value"],["Index","1"],["Manufacturer","GenuineIntel"],
      ["Name","Xeon A"],["Version","A0"],["MAX Clock Speed","2600"],["Socket Designation","CPU1"],
      [" ",""],[" ",""],[" ",""],[" ",""]])"));
  EXPECT_EQ(g["scrollBars"], 1);
  EXPECT_EQ(g["row"], 1);
  EXPECT_EQ(g["col"], 0);
  for (int r = 1; r < 11; ++r) {
    EXPECT_EQ(g["fill"][r][0], r % 2 ? 0xFEF5F2 : 0xE6D4CD) << r;
    EXPECT_EQ(g["rowHeight"][r], 400) << r;
  }
}

TEST_F(View, InstanceNumbers) {
  const struct {
    json index;
    json result;
    std::string name;  // the Name row, "" for the empty last row
    int error;         // 0 when the call succeeds
  } cases[] = {
      {2, 2, "Xeon B", 0}, {"2", 2, "Xeon B", 0}, {" 2 ", 2, "Xeon B", 0},
      {1.5, 2, "Xeon A", 0},  // 0.5 rounds half to even: the first instance
      {3, 2, "", 0},          // one past the count: the empty last row
      {0, nullptr, "", 9}, {4, nullptr, "", 9}, {"two", nullptr, "", 13}, {nullptr, nullptr, "", 94},
      {true, nullptr, "", 9},  // True - 1 is -2
      {70000, nullptr, "", 6}, {json::array({1}), nullptr, "", 13},
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

TEST_F(View, BadRequestsAreAnsweredAndTheSessionGoesOn) {
  const char* requests[] = {
      "not json", "[1,2]", R"({"args": []})", R"({"method": "Explode", "args": []})",
      R"({"method": "SetSelectItem", "args": ["CPU"]})", R"({"method": "SetSelectItem", "args": [7, 1]})",
      R"({"method": "SetSelectItem", "args": ["CPU", {"a": 1}]})", R"({"method": "SetSelectItem", "args": "CPU"})",
      R"({"method": "GetInterfaceSafetyOptions", "args": ["{bad}", 0]})",
  };
  for (const char* r : requests) {
    const json a = session->Handle(r);
    EXPECT_TRUE(a["result"].is_null()) << r;
    EXPECT_TRUE(a["error"]["number"].is_number()) << r;
    EXPECT_EQ(a["grid"]["rows"], 11) << r;
  }
  EXPECT_TRUE(session->failed());
  EXPECT_EQ(Select("CPU", 1)["result"], 2);
}

TEST_F(View, FailureBoxesAreReportedWithTheCall) {
  test::UseSnapshot(test::SnapshotWith(R"("Other": [])"));
  const json a = Select("CPU", 1);
  EXPECT_EQ(a["result"], 1);
  EXPECT_EQ(a["messages"], json::parse(R"([{"prompt": "Failed to create object.", "title": "Parts Information - Error"}])"));
  EXPECT_EQ(Values(a)[2], "<Empty>");
}

}  // namespace
}  // namespace brv
