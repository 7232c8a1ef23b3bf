// Reading JSON from outside: what is refused, where, and in what time (the
// excerpts its messages show: TextTest).
#include <string>

#include <gtest/gtest.h>

#include "common/JsonInput.h"
#include "common/Text.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// "$ TEXT" lines of tests/data/expected/json-input.txt: read, or refused where
// and why.
TEST(JsonInput, RefusesWhatCouldRecurseHideOrMerge) {
  std::string deep;  // a member twice, 61 levels down
  for (int i = 0; i < 60; ++i) deep += "{\"" + std::string(30, 'k') + std::to_string(i) + "\":";
  deep += R"({"dup": 1, "dup": 2})" + std::string(60, '}');
  test::ExpectAnswers("expected/json-input.txt", [&](const std::string& line) {
    try {
      ParseJsonInput(line == "DUPLICATE 61 LEVELS DOWN" ? deep : test::Unescape(line));
      return std::string("read");
    } catch (const JsonInputError& e) {
      return "refused at " + (e.where.empty() ? std::to_string(e.offset) : e.where) + ": " + e.what();
    }
  });
}

TEST(JsonInput, MembersKeepTheirOrderAndLargeObjectsReadInLinearTime) {
  const auto doc = ParseJsonInput(R"({"b": 1, "a": [true, null, "x"], "c": {"z": 1.5, "y": 18446744073709551615}})");
  EXPECT_EQ(doc.dump(), R"({"b":1,"a":[true,null,"x"],"c":{"z":1.5,"y":18446744073709551615}})");

  // 100,000 members: member by member insertion into the ordered object takes
  // minutes; appending, a fraction of a second.
  std::string text = "{";
  for (int i = 0; i < 100000; ++i) text += (i ? ",\"P" : "\"P") + std::to_string(i) + "\":" + std::to_string(i);
  text += "}";
  const long start = test::CpuMs();
  EXPECT_EQ(ParseJsonInput(text).size(), 100000u);
  EXPECT_LT(test::CpuMs() - start, 5000);
}

}  // namespace
}  // namespace brv
