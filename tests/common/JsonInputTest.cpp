// Reading JSON from outside: what is refused, where, and in what time (the
// excerpts its messages show: TextTest).
#include <chrono>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "common/JsonInput.h"
#include "common/Text.h"
#include "tests/common/Notation.h"
#include "tests/support/Golden.h"

namespace brv {
namespace {

// "$ TEXT" lines of tests/data/expected/json-input.txt: read, or refused where
// and why; the texts too long for a line are made here.
TEST(JsonInput, RefusesWhatCouldRecurseHideOrMerge) {
  const auto nested = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  std::string deep;  // a member twice, 61 levels down
  for (int i = 0; i < 60; ++i) deep += "{\"" + std::string(30, 'k') + std::to_string(i) + "\":";
  deep += R"({"dup": 1, "dup": 2})" + std::string(60, '}');
  const std::map<std::string, std::string> made = {
      {"NESTED 64", nested(kMaxJsonDepth)},
      {"NESTED 65", nested(kMaxJsonDepth + 1)},
      // The request that overflowed the stack: 32,700 arrays inside a request.
      {"REQUEST NESTED 32700", "{\"args\":" + nested(32700) + "}"},
      {"MEMBER NESTED 64", "{\"a\":" + std::string(kMaxJsonDepth, '{') + "}"},
      // Brackets inside strings are text, escaped quotes included.
      {"BRACKETS IN A STRING", "[\"" + std::string(100, '[') + "\\\"" + std::string(100, '{') + "\"]"},
      {"DUPLICATE 61 LEVELS DOWN", deep},
      // An unterminated string runs to the end of the input, all of it "read".
      {"UNTERMINATED STRING", "[\"" + std::string(70000, 'a')},
      {"UNTERMINATED STRING WITH CONTROLS", "[\"\x1b]0;title\x07 and more\n" + std::string(500, 'b')},
      {"LONG NUMBER", "[" + std::string(70000, '1') + "e999]"},
  };
  test::ExpectAnswers("expected/json-input.txt", [&](const std::string& line) {
    try {
      ParseJsonInput(made.contains(line) ? made.at(line) : test::Unescape(line));
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
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseJsonInput(text).size(), 100000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace brv
