// The control driven by name, as a script or the page drives it: the view, the
// instance numbers as JSON gives them, requests that are not calls, and the
// selection a session reports.
#include <gtest/gtest.h>

#include "containers/common/ScriptSession.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

using json = nlohmann::ordered_json;

class View : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetModule();
    test::UseSnapshot(test::SnapshotWith(R"("CIM_Processor": [
      {"Manufacturer": "GenuineIntel", "Name": "Xeon A", "MaxClockSpeed": 2600, "SocketDesignation": "CPU1", "Version": "A0"},
      {"Manufacturer": "GenuineIntel", "Name": "Xeon B", "MaxClockSpeed": 3100, "SocketDesignation": "CPU2", "Version": "B1"}])"));
    session = std::make_unique<ScriptSession>();
  }
  test::ProviderScope provider{test::ProviderMode::Missing};
  std::unique_ptr<ScriptSession> session;
};

// The whole grid an answer carries is compared in ProgramTest's transcript.
TEST_F(View, AnswersAndSelectionsInOrder) {
  test::ExpectAnswers("expected/script-session.txt", [&](const std::string& request) {
    const int queries = test::QueriesAnswered();
    const json a = session->Handle(request);
    std::string out = a["error"].is_null() ? "result " + a["result"].dump()
                                           : "error " + a["error"]["number"].dump() + ": " +
                                                 a["error"]["description"].get<std::string>();
    out += "\n" + a["grid"]["rows"].dump() + " rows, Name " + a["grid"]["text"][3][1].dump();
    for (const json& box : a["messages"]) out += "\nbox " + box.dump();
    const std::optional<Selection> s = session->selection();
    out += s ? "\nselected " + s->category + " " + std::to_string(s->index) + " of " + std::to_string(s->count)
             : "\nnothing selected";
    return out + " (" + std::to_string(test::QueriesAnswered() - queries) + " queries)\n";
  });
  EXPECT_TRUE(session->failed());
}

// Requests past the bounds: each answered with its error and a short reason.
TEST_F(View, RequestsPastTheBoundsGetAShortReason) {
  const std::string select = R"({"method": "SetSelectItem", "args": ["CPU", 1]})";
  // Requests go through the bounded JSON reader (its refusals are JsonInputTest's).
  const struct {
    std::string request;
    int error;           // 0 when the call succeeds
    std::string reason;  // a part of the error's description
  } cases[] = {
      {R"({"method": "SetSelectItem", "args": [)" + std::string(32700, '[') + std::string(32700, ']') + "]}", 5,
       "column 100: arrays and objects nested deeper than 64 levels"},
      // The line bound, taken by the web page's body too.
      {select + std::string(kMaxRequestBytes - select.size(), ' '), 0, ""},
      {select + std::string(kMaxRequestBytes - select.size() + 1, ' '), 5, "longer than 65536 bytes"},
      {"[\"" + std::string(60000, 'x'), 5, "not valid JSON"},
      {R"({"method": "\u001b]0;retitled\u0007\n)" + std::string(60000, 'm') + "\"}", 438,
       R"(unknown method "\x1B]0;retitled\x07\nmmm)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 80));
    const json a = session->Handle(c.request);
    EXPECT_EQ(a["error"].is_null() ? 0 : a["error"]["number"].get<int>(), c.error);
    if (!c.error) continue;
    const std::string reason = a["error"]["description"];
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_LT(reason.size(), 300u) << reason;
  }
}

}  // namespace
}  // namespace brv
