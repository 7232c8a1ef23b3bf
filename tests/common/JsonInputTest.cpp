// Reading JSON from outside: what is refused, where, and in what time; and text
// from outside shown in messages.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "common/JsonInput.h"
#include "common/Text.h"

namespace brv {
namespace {

std::string Nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(JsonInput, RefusesWhatCouldRecurseHideOrMerge) {
  const struct {
    std::string text;
    std::string reason;  // the start of what(); "" when the text is read
    std::string where;   // the member named, or "" when the offset tells where
    size_t offset;
  } cases[] = {
      {Nested(kMaxJsonDepth), "", "", 0},
      {Nested(kMaxJsonDepth + 1), "arrays and objects nested deeper than 64 levels", "", 64},
      // The request that overflowed the stack: 32,700 arrays inside a request.
      {"{\"args\":" + Nested(32700) + "}", "arrays and objects nested deeper", "", 71},
      {"{\"a\":" + std::string(kMaxJsonDepth, '{') + "}", "arrays and objects nested deeper", "", 68},
      // Brackets inside strings are text, escaped quotes included.
      {"[\"" + std::string(100, '[') + "\\\"" + std::string(100, '{') + "\"]", "", "", 0},
      {std::string("[1]\0[2]", 7), "a NUL byte", "", 3},
      {std::string("[\"a\0b\"]", 7), "a NUL byte", "", 3},
      {R"({"Name": "first", "Name": "second"})", "given twice", "Name", 0},
      {R"({"method": "A", "args": [], "method": "B"})", "given twice", "method", 0},
      {R"({"classes": {"A": [{}, {"x": 1, "x": 2}]}})", "given twice", "classes.A[1].x", 0},
      {R"([{"a": 1}, {"a": 1}, [[{"b": {"c": 1, "c": 1}}]]])", "given twice", "[2][0][0].b.c", 0},
      {R"({"Name": 1, "name": 2})", "", "", 0},  // letter case tells them apart here
      {"nott", "not valid JSON: syntax error while parsing value - invalid literal", "", 1},
      {"[1e999]", "not valid JSON: number overflow parsing '1e999'", "", 5},
      {"", "not valid JSON: syntax error", "", 0},
      {"[1] [2]", "not valid JSON: syntax error while parsing value - unexpected '['", "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    try {
      ParseJsonInput(c.text);
      EXPECT_EQ(c.reason, "") << "read";
    } catch (const JsonInputError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.reason, 0), 0u) << e.what();
      EXPECT_NE(c.reason, "") << e.what();
      EXPECT_EQ(e.where, c.where);
      if (c.where.empty()) {
        EXPECT_EQ(e.offset, c.offset) << e.what();
      }
    }
  }
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

TEST(JsonInput, ErrorsShowAShortEscapedExcerptOfTheInput) {
  // An unterminated string runs to the end of the input, all of it "read".
  for (const std::string& text :
       {"[\"" + std::string(70000, 'a'), "[\"\x1b]0;title\x07 and more\n" + std::string(500, 'b'),
        "[" + std::string(70000, '1') + "e999]"}) {
    try {
      ParseJsonInput(text);
      ADD_FAILURE() << "read";
    } catch (const JsonInputError& e) {
      const std::string what = e.what();
      EXPECT_LT(what.size(), 300u) << what;
      for (char ch : what) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << what;
    }
  }
}

TEST(JsonInput, APathThroughManyLevelsIsCutAtItsStart) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "{\"" + std::string(30, 'k') + std::to_string(i) + "\":";
  text += R"({"dup": 1, "dup": 2})" + std::string(60, '}');
  try {
    ParseJsonInput(text);
    ADD_FAILURE() << "read";
  } catch (const JsonInputError& e) {
    EXPECT_LE(e.where.size(), 160u);
    EXPECT_EQ(e.where.rfind("..."), 0u) << e.where;
    EXPECT_EQ(e.where.substr(e.where.size() - 7), "k59.dup") << e.where;
  }
}

TEST(Excerpt, EscapesControlsAndCutsBetweenCharacters) {
  const struct {
    std::string text;
    size_t limit;
    std::string shown;
  } cases[] = {
      {"plain text", 48, "plain text"},
      {"\x1b]0;evil\x07", 48, "\\x1B]0;evil\\x07"},
      {"a\nb\tc\rd\x7f", 48, "a\\nb\\tc\\rd\\x7F"},
      {"\xc2\x9b"
       "2J",
       48, "\\u009B2J"},                                                                    // C1 CSI as UTF-8
      {"eth0\xe2\x80\xaegpj\xe2\x80\x8b\xef\xbb\xbf", 48, "eth0\\u202Egpj\\u200B\\uFEFF"},  // bidi, zero-width
      {"\x9b"
       "2J \xff\xc3",
       48, "\\x9B2J \\xFF\\xC3"},                                   // stray bytes
      {"\xed\xa0\x80 \xc0\xaf", 48, "\\xED\\xA0\\x80 \\xC0\\xAF"},  // surrogate, overlong
      {"caf\xc3\xa9 \xe6\x97\xa5", 48, "caf\xc3\xa9 \xe6\x97\xa5"},
      {"abcdef", 6, "abcdef"},
      {"abcdefg", 6, "abcdef..."},
      {"abcde\xc3\xa9", 6, "abcde..."},  // never half a character
  };
  for (const auto& c : cases) EXPECT_EQ(Excerpt(c.text, c.limit), c.shown) << c.text;
  // In a JSON document the same characters are kept, as the format's escapes.
  EXPECT_EQ(EscapeFormatCharacters("{\"a\":\"x\xE2\x80\xAEy\xF3\xA0\x80\x81\xC3\xA9\"}"),
            "{\"a\":\"x\\u202ey\\udb40\\udc01\xC3\xA9\"}");
}

}  // namespace
}  // namespace brv
